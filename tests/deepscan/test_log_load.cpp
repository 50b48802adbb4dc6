// Loading the record store from synthetic logs: which records are indexed, how records that run
// across pages are put together, and what a log that cannot serve gives.
#include <gtest/gtest.h>

#include <set>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogRecordStore.h"
#include "platform/File.h"

namespace qv {
namespace {

using test::LogBuilder;
using test::LogRecordSpec;
using Lsns = std::set<uint64_t>;
using Bytes = std::vector<uint8_t>;
constexpr uint32_t kPage = 4096;

// A record of exactly `total` bytes (header included) whose client data is filler.
LogRecordSpec Sized(uint32_t total) {
    return {.raw = Bytes(total - 48, 0x11)};
}

Lsns Indexed(const LogRecordStore& store) {
    Lsns out;
    for (const LsnRun& run : store.Runs())
        for (const LsnIndexEntry& e : run)
            out.insert(e.lsn);
    return out;
}

// Each record comes back whole, with its LSN, without the page headers that interrupted it.
void ExpectFetched(LogRecordStore& store, const std::vector<uint32_t>& sizes,
                   const std::vector<uint64_t>& lsns) {
    EXPECT_EQ(Indexed(store), Lsns(lsns.begin(), lsns.end()));
    uint64_t previous = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        Bytes expected = test::EncodeLogRecord(Sized(sizes[i]));
        test::Put64(expected, 0, lsns[i]);
        uint64_t position = UINT64_MAX;
        const auto r = store.Fetch(lsns[i], position);
        ASSERT_TRUE(r) << i;
        EXPECT_EQ(*r, expected) << i;
        EXPECT_TRUE(i == 0 || position > previous) << i;
        previous = position;
    }
}

TEST(LoadLog, BlankOrUnusableLogsCannotServeAndCostNoTemporaryFile) {
    // All 0xFF is what ntfs-3g and mkntfs leave.
    std::vector<Bytes> logs = {Bytes(65536, 0xFF), Bytes(65536, 0x00), {}, Bytes(20, 0xFF)};
    // Both restart pages with a page size, or sequence number bits, that cannot be.
    const std::pair<size_t, uint32_t> spoilt[] = {{0x14, 0xFFFFFFFF}, {0x14, 0},      {0x14, 3000},
                                                  {0x14, 256},        {0x14, 131072}, {0x40, 0},
                                                  {0x40, 2},          {0x40, 64},     {0x40, 200}};
    for (const auto& [field, value] : spoilt) {
        logs.push_back(LogBuilder(kPage, 16).Build());
        test::Put32(logs.back(), field, value);
        test::Put32(logs.back(), kPage + field, value);
    }
    for (size_t i = 0; i < logs.size(); ++i) {
        SCOPED_TRACE(i);
        LogRecordStore store;
        test::StepCounter progress;
        const Status loaded = test::LoadBytes(store, logs[i], &progress);
        ASSERT_FALSE(loaded);
        EXPECT_EQ(loaded.error().code, kLogCannotServe);
        EXPECT_EQ(store.RecordCount(), 0u);
        EXPECT_TRUE(store.StorePath().empty());
        // Both passes are reported all the same, so the bar stays where a scan expects it.
        EXPECT_EQ(progress.stepped, 2 * logs[i].size());
        uint64_t position = 12345;
        EXPECT_FALSE(store.Fetch(0, position));
        EXPECT_EQ(position, 12345u);  // a failed fetch leaves it
    }
}

TEST(LoadLog, RecordsCrossPagesAndTheNextOneFollowsTheirEnd) {
    LogBuilder log(kPage, 12);
    const uint64_t page2 = 2 * kPage;
    // A fills page 2 up to 200 bytes before its end; B (600 bytes) starts there: 200 bytes on
    // page 2, 400 from offset 64 of page 3, so the next starts at 464. D ends exactly at the end
    // of page 3; E leaves 40 bytes, no room for a header; G runs over three pages whole.
    const std::vector<std::pair<uint32_t, uint64_t>> steps = {
        {kPage - 200 - 64, 0},
        {600, page2 + kPage + 464},
        {kPage - 464, page2 + 2 * kPage + 64},
        {kPage - 64 - 40, page2 + 3 * kPage + 64},
        {3 * kPage, 0},
        {96, 0}};
    std::vector<uint32_t> sizes;
    std::vector<uint64_t> lsns;
    for (const auto& [size, next] : steps) {
        sizes.push_back(size);
        lsns.push_back(log.Add(Sized(size)));
        EXPECT_EQ(next ? log.Position() : 0, next) << size;  // 0: not checked
    }
    LogRecordStore store;
    ASSERT_TRUE(test::LoadBytes(store, log.Build()));
    EXPECT_EQ(store.Runs().size(), 1u);
    ExpectFetched(store, sizes, lsns);
}

// Loads a log and checks which of its records are indexed.
void ExpectIndexed(const Bytes& log, const Lsns& expected) {
    LogRecordStore store;
    ASSERT_TRUE(test::LoadBytes(store, log));
    EXPECT_EQ(Indexed(store), expected);
}

TEST(LoadLog, OnlyRecordsWhoseBytesAreWholeAndWhereTheirLsnSaysAreIndexed) {
    {
        SCOPED_TRACE("the restart page's copy serves when the first is damaged");
        LogBuilder log(kPage, 8);
        const uint64_t a = log.Add(Sized(200));
        Bytes bytes = log.Build();
        std::fill(bytes.begin(), bytes.begin() + kPage, 0xFF);
        ExpectIndexed(bytes, {a});
    }
    {
        SCOPED_TRACE("stretches of zeroes and of ones end a walk but not the log");
        LogBuilder log(kPage, 12);
        Lsns lsns = {log.Add(Sized(128)), log.Add(Sized(256))};
        // 1 KiB of zeroes, 512 bytes of 0xFF, page 3 all 0xFF: each time, records again.
        lsns.insert(log.MoveTo(log.Position() + 1024).Add(Sized(200)));
        const uint64_t ffAt = log.Position();
        lsns.insert(log.MoveTo(ffAt + 512).Add(Sized(120)));
        lsns.insert(log.MoveTo(4 * kPage + 64).Add(Sized(300)));
        std::fill(log.Bytes().begin() + ffAt, log.Bytes().begin() + ffAt + 512, 0xFF);
        std::fill(log.Bytes().begin() + 3 * kPage, log.Bytes().begin() + 4 * kPage, 0xFF);
        ExpectIndexed(log.Build(), lsns);
    }
    {
        SCOPED_TRACE("pages whose last LSN does not map into them are not walked");
        LogBuilder log(kPage, 12);
        const uint64_t a = log.Add(Sized(400));
        // Page 3: a copy of the log's tail, as Windows keeps near the start.
        log.MoveTo(3 * kPage + 64).Add(Sized(400));
        log.SetLastLsn(3, 0x4E000);
        log.MoveTo(4 * kPage + 64).Add(Sized(400));
        log.SetLastLsn(4, 0);
        const uint64_t b = log.MoveTo(5 * kPage + 64).Add(Sized(400));
        log.MoveTo(6 * kPage + 64).Add(Sized(400));
        log.SetLastLsn(6, b);  // the last LSN of a record on another page
        ExpectIndexed(log.Build(), {a, b});
    }
    {
        SCOPED_TRACE("records that run past the log or into a torn page");
        LogBuilder log(kPage, 8);
        const uint64_t a = log.Add(Sized(500));
        log.Add(Sized(kPage));                         // runs on into page 3
        log.MoveTo(3 * kPage + 1200).Add(Sized(300));  // on the torn page
        const uint64_t b = log.MoveTo(5 * kPage + 64).Add(Sized(300));
        log.MoveTo(7 * kPage + 3000).Add(Sized(2000));  // the log ends with page 7
        Bytes bytes = log.Build();
        bytes.resize(8 * kPage);
        bytes[3 * kPage + 1022] ^= 0x55;  // the second block of page 3 is another write's
        ExpectIndexed(bytes, {a, b});
    }
    {
        SCOPED_TRACE("junk whose LSN maps elsewhere or whose length passes the log");
        LogBuilder log(kPage, 8);
        const uint64_t a = log.Add(Sized(256));
        const uint64_t junkAt = log.Position(), hugeAt = junkAt + 128;
        const uint64_t b = log.MoveTo(hugeAt + 64).Add(Sized(256));
        Bytes bytes = log.Build();
        test::Put64(bytes, junkAt, log.Lsn(junkAt + 4096));
        test::Put32(bytes, junkAt + 0x18, 40);
        test::Put64(bytes, hugeAt, log.Lsn(hugeAt));
        test::Put32(bytes, hugeAt + 0x18, 0xFFFFFFF0);
        ExpectIndexed(bytes, {a, b});
    }
    // A page whose update sequence array is not where it belongs is not used.
    for (uint16_t usa : {uint16_t{0x0FF0}, uint16_t{0x08}, uint16_t{0x30}}) {
        SCOPED_TRACE(usa);
        LogBuilder log(kPage, 8);
        const uint64_t a = log.Add(Sized(256));
        log.MoveTo(3 * kPage + 64).Add(Sized(256));
        Bytes bytes = log.Build();
        test::Put16(bytes, 3 * kPage + 4, usa);
        ExpectIndexed(bytes, {a});
    }
}

TEST(LoadLog, AWrappedLogGivesTwoRunsAndNewRecordsDoNotRunIntoOlderPages) {
    LogBuilder log(kPage, 10);
    // The older pass over the log fills pages 5 to 9.
    log.SetSequence(3);
    log.MoveTo(5 * kPage + 64);
    std::vector<uint64_t> older;
    uint64_t page5Last = 0;
    while (log.Position() < 9 * kPage + 3000) {
        older.push_back(log.Add(Sized(520)));
        if (logfmt::LsnToOffset(older.back(), LogBuilder::kBits) / kPage == 5)
            page5Last = older.back();
    }
    const Bytes page5(log.Bytes().begin() + 5 * kPage, log.Bytes().begin() + 6 * kPage);
    // The newer pass fills pages 2 to 4; its last record would run on into page 5, whose copy
    // on disk is still the older one.
    log.SetSequence(4);
    log.MoveTo(2 * kPage + 64);
    std::vector<uint64_t> newer;
    while (log.Position() < 4 * kPage + 3000)
        newer.push_back(log.Add(Sized(520)));
    const uint64_t runsOn = log.Add(Sized(2000));
    std::copy(page5.begin(), page5.end(), log.Bytes().begin() + 5 * kPage);
    log.SetLastLsn(5, page5Last);

    LogRecordStore store;
    ASSERT_TRUE(test::LoadBytes(store, log.Build()));
    Lsns expected(newer.begin(), newer.end());
    expected.insert(older.begin(), older.end());
    EXPECT_EQ(Indexed(store), expected);
    EXPECT_FALSE(store.FindEntry(runsOn));
    ASSERT_EQ(store.Runs().size(), 2u);
    EXPECT_EQ(store.Runs()[0].front().lsn, newer.front());
    EXPECT_EQ(store.Runs()[1].front().lsn, older.front());
    for (uint64_t l : {newer.front(), newer.back(), older.front(), older.back()}) {
        EXPECT_TRUE(store.FindEntry(l)) << l;
        EXPECT_FALSE(store.FindEntry(l + 1)) << l;  // inside a record: no LSN of its own
    }
}

TEST(LoadLog, PageSizesFromFiveHundredTwelveToSixtyFourKilobytes) {
    for (uint32_t p : {512u, 1024u, 8192u, 65536u}) {
        SCOPED_TRACE(p);
        const uint32_t pages = p >= 8192 ? 8 : 64;
        LogBuilder log(p, pages);
        const std::vector<uint32_t> sizes = {136u, 1000u, 3 * p, 64u, 2 * p + 8, 200u};
        std::vector<uint64_t> lsns;
        for (uint32_t size : sizes)
            lsns.push_back(log.Add(Sized(size)));
        LogRecordStore store;
        test::StepCounter progress;
        ASSERT_TRUE(test::LoadBytes(store, log.Build(), &progress));
        EXPECT_EQ(store.Geometry().pageSize, p);
        ExpectFetched(store, sizes, lsns);
        // Every page but the first is stepped once in each pass.
        EXPECT_EQ(progress.stepped, 2ull * (pages - 1) * p);
    }
}

TEST(LoadLog, StopInTheFirstPassLeavesAnEmptyIndexAndInTheSecondAPartOne) {
    LogBuilder log(kPage, 64);
    std::vector<uint64_t> lsns;
    while (log.Position() < 63 * kPage)
        lsns.push_back(log.Add(Sized(700)));
    const Bytes bytes = log.Build();
    const uint64_t pass = 63 * kPage;  // what one pass steps
    // Where Stop is pressed; whether no record is indexed, whether all are.
    const std::tuple<uint64_t, bool, bool> cases[] = {
        {UINT64_MAX, false, true}, {pass / 4, true, false}, {pass + pass / 2, false, false}};
    for (const auto& [stopAt, none, all] : cases) {
        SCOPED_TRACE(stopAt);
        LogRecordStore store;
        test::StepCounter progress;
        progress.stopAt = stopAt;
        ASSERT_TRUE(test::LoadBytes(store, bytes, &progress));  // Stop is no failure
        // Each pass stops at the page where Stop is seen.
        EXPECT_LE(progress.stepped, std::min(stopAt, 2 * pass - kPage) + kPage);
        EXPECT_EQ(store.RecordCount() == 0, none);
        EXPECT_EQ(store.RecordCount() == lsns.size(), all);
        EXPECT_FALSE(store.StorePath().empty());
        uint64_t position = 0;
        EXPECT_EQ(store.Fetch(lsns.front(), position).has_value(), !none);
    }
}

TEST(LoadLog, TheStoreFileIsPrivateGoesWithTheStoreAndALoadReplacesTheIndex) {
    LogBuilder first(kPage, 8), second(kPage, 8);
    const uint64_t a = first.Add(Sized(300));
    const uint64_t b = second.MoveTo(5 * kPage + 64).Add(Sized(300));
    std::u16string path;
    {
        LogRecordStore store;
        ASSERT_TRUE(test::LoadBytes(store, first.Build()));
        path = store.StorePath();
        File probe;
        ASSERT_TRUE(probe.Open(path, File::Mode::kRead));
        EXPECT_EQ(probe.Size(), store.StoreLength());
        ASSERT_TRUE(test::LoadBytes(store, second.Build()));
        EXPECT_EQ(Indexed(store), Lsns{b});
        EXPECT_FALSE(store.FindEntry(a));
        path = store.StorePath();
    }
    File probe;
    EXPECT_FALSE(probe.Open(path, File::Mode::kRead));
}

// A log that never went round ends at its first unwritten page (all 0xFF) at or after the restart
// area's position: nothing behind it is read. One before it (Windows keeps some near the start)
// does not end it; nor does anything when the restart area names no position.
TEST(LoadLog, TheFirstUnwrittenPageAfterTheCurrentPositionEndsTheLog) {
    constexpr uint64_t kPages = 1024;  // 4 MiB: several pieces of the first pass
    for (const bool positioned : {true, false}) {
        LogBuilder log(kPage, kPages);
        std::fill(log.Bytes().begin() + 2 * kPage, log.Bytes().end(), uint8_t{0xFF});
        Lsns written = {log.Add(Sized(520))};  // on page 2; page 3 stays unwritten
        log.MoveTo(4 * kPage + 64);
        while (log.Position() < 6 * kPage)
            written.insert(log.Add(Sized(520)));
        for (const size_t restart : {size_t{0}, size_t{logfmt::kSecondRestartPage}})
            test::Put64(log.Bytes(), restart + 0x30, positioned ? *written.rbegin() : 0);
        test::MemoryDevice device(log.Build());
        const auto reads = device.log();
        test::StepCounter progress;
        LogRecordStore store;
        ASSERT_TRUE(store.Load(device, 4096, 512, 1024, progress));
        EXPECT_EQ(Indexed(store), written) << positioned;
        uint64_t furthest = 0;
        for (const auto& [offset, size] : reads->reads)
            furthest = std::max<uint64_t>(furthest, offset + size);
        EXPECT_EQ(furthest <= (1u << 20), positioned) << furthest;
        EXPECT_EQ(progress.stepped, 2 * (kPages - 1) * kPage) << "each pass fills its stage";
    }
}

}  // namespace
}  // namespace qv
