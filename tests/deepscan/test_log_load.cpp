// Loading the record store from synthetic logs: which records are indexed, how records that run
// across pages are put together, and what a log that cannot serve gives.
#include <gtest/gtest.h>

#include <set>

#include "app/ErrorCodes.h"
#include "deepscan/LogBuilder.h"
#include "deepscan/LogRecordStore.h"
#include "deepscan/LogTestSupport.h"

namespace qv {
namespace {

using test::CountingProgress;
using test::LogBuilder;
using test::LogRecordSpec;

// A record of exactly `total` bytes (header included) whose client data is filler.
LogRecordSpec Sized(uint32_t total) {
    LogRecordSpec s;
    s.raw = true;
    s.rawClientData.assign(total - 48, 0x11);
    return s;
}

std::set<uint64_t> Indexed(const LogRecordStore& store) {
    std::set<uint64_t> out;
    for (const LsnRun& run : store.Runs())
        for (const LsnIndexEntry& e : run)
            out.insert(e.lsn);
    return out;
}

// The record's bytes as the test built them, with its LSN.
std::vector<uint8_t> Expected(LogRecordSpec spec, uint64_t lsn) {
    std::vector<uint8_t> r = test::EncodeLogRecord(spec);
    test::Put64(r, 0, lsn);
    return r;
}

TEST(LoadLog, BlankOrUnreadableLogsCannotServeAndCostNoTemporaryFile) {
    const size_t size = 64 * 1024;
    std::vector<std::vector<uint8_t>> logs;
    logs.push_back(std::vector<uint8_t>(size, 0xFF));  // ntfs-3g and mkntfs leave this
    logs.push_back(std::vector<uint8_t>(size, 0x00));
    logs.push_back({});
    logs.push_back(std::vector<uint8_t>(20, 0xFF));
    auto withPageSize = [&](uint32_t p) {
        std::vector<uint8_t> b = LogBuilder(4096, 16).Build();
        test::Put32(b, 0x14, p);
        test::Put32(b, 0x1000 + 0x14, p);
        return b;
    };
    for (uint32_t p : {0xFFFFFFFFu, 0u, 3000u, 256u, 131072u})
        logs.push_back(withPageSize(p));
    auto withBits = [&](uint32_t bits) {
        std::vector<uint8_t> b = LogBuilder(4096, 16).Build();
        test::Put32(b, 0x30 + 0x10, bits);
        test::Put32(b, 0x1000 + 0x30 + 0x10, bits);
        return b;
    };
    for (uint32_t bits : {0u, 2u, 64u, 200u})
        logs.push_back(withBits(bits));

    for (size_t i = 0; i < logs.size(); ++i) {
        SCOPED_TRACE(i);
        LogRecordStore store;
        CountingProgress progress;
        EXPECT_EQ(test::LoadBytes(store, logs[i], progress.dialog), kLogCannotServe);
        EXPECT_EQ(store.RecordCount(), 0u);
        EXPECT_TRUE(store.StorePath().empty());
        // Both passes are reported all the same, so the bar stays where a scan expects it.
        EXPECT_EQ(progress.Stepped(), 2 * logs[i].size());
        uint64_t position = 0;
        EXPECT_FALSE(store.Fetch(0, position));
    }
}

TEST(LoadLog, TheRestartPageCopyServesWhenTheFirstIsDamaged) {
    LogBuilder log(4096, 8);
    const uint64_t a = log.Add(Sized(200));
    std::vector<uint8_t> bytes = log.Build();
    std::fill(bytes.begin(), bytes.begin() + 4096, 0xFF);
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, bytes), 0);
    EXPECT_EQ(Indexed(store), std::set<uint64_t>{a});
    EXPECT_EQ(store.Geometry().pageSize, 4096u);
    EXPECT_EQ(store.Geometry().sequenceBits, LogBuilder::kBits);
}

TEST(LoadLog, RecordsCrossPagesAndTheNextOneFollowsTheirEnd) {
    const uint32_t p = 4096;
    LogBuilder log(p, 12);
    const uint64_t page2 = 2 * p;
    // A fills page 2 up to 200 bytes before its end; B (600 bytes) starts there: 200 bytes on
    // page 2, 400 from offset 64 of page 3, so C starts at 464.
    std::vector<LogRecordSpec> specs = {Sized(p - 200 - 64), Sized(600)};
    std::vector<uint64_t> lsns;
    for (const auto& s : specs)
        lsns.push_back(log.Add(s));
    EXPECT_EQ(log.Position(), page2 + p + 464);
    // D ends exactly at the end of page 3: E starts at 64 of page 4.
    specs.push_back(Sized(p - 464));
    lsns.push_back(log.Add(specs.back()));
    EXPECT_EQ(log.Position(), page2 + 2 * p + 64);
    // E ends 40 bytes before the end of page 4: no room for a header, F starts on page 5.
    specs.push_back(Sized(p - 64 - 40));
    lsns.push_back(log.Add(specs.back()));
    EXPECT_EQ(log.Position(), page2 + 3 * p + 64);
    // G runs over three pages whole; H follows it.
    specs.push_back(Sized(3 * p));
    lsns.push_back(log.Add(specs.back()));
    specs.push_back(Sized(96));
    lsns.push_back(log.Add(specs.back()));

    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, log.Build()), 0);
    EXPECT_EQ(Indexed(store), std::set<uint64_t>(lsns.begin(), lsns.end()));
    ASSERT_EQ(store.Runs().size(), 1u);
    // Each record comes back whole, without the page headers that interrupted it.
    uint64_t previousPosition = 0;
    for (size_t i = 0; i < specs.size(); ++i) {
        SCOPED_TRACE(i);
        uint64_t position = UINT64_MAX;
        const auto r = store.Fetch(lsns[i], position);
        ASSERT_TRUE(r);
        EXPECT_EQ(*r, Expected(specs[i], lsns[i]));
        if (i > 0) {
            EXPECT_GT(position, previousPosition);
        }
        previousPosition = position;
    }
}

TEST(LoadLog, StretchesOfZeroesAndOfOnesEndAWalkButNotTheLog) {
    const uint32_t p = 4096;
    LogBuilder log(p, 12);
    std::set<uint64_t> lsns;
    lsns.insert(log.Add(Sized(128)));
    lsns.insert(log.Add(Sized(256)));
    // 1 KiB of zeroes, then more records on the same page.
    log.MoveTo(log.Position() + 1024);
    lsns.insert(log.Add(Sized(200)));
    // A stretch of 0xFF, then records again.
    const uint64_t ffAt = log.Position();
    log.MoveTo(ffAt + 512);
    lsns.insert(log.Add(Sized(120)));
    // Page 3 is left all 0xFF; page 4 holds records again.
    log.MoveTo(4 * p + 64);
    lsns.insert(log.Add(Sized(300)));
    std::fill(log.Bytes().begin() + ffAt, log.Bytes().begin() + ffAt + 512, 0xFF);
    std::fill(log.Bytes().begin() + 3 * p, log.Bytes().begin() + 4 * p, 0xFF);
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, log.Build()), 0);
    EXPECT_EQ(Indexed(store), lsns);
}

TEST(LoadLog, PagesWhoseLastLsnDoesNotMapIntoThemAreNotWalked) {
    const uint32_t p = 4096;
    LogBuilder log(p, 12);
    const uint64_t a = log.Add(Sized(400));
    log.MoveTo(3 * p + 64);
    log.Add(Sized(400));  // page 3: a copy of the log's tail, as Windows keeps near the start
    log.SetLastLsn(3, 0x4E000);
    log.MoveTo(4 * p + 64);
    log.Add(Sized(400));  // page 4: last LSN 0
    log.SetLastLsn(4, 0);
    log.MoveTo(5 * p + 64);
    const uint64_t b = log.Add(Sized(400));
    log.MoveTo(6 * p + 64);
    log.Add(Sized(400));  // page 6: last LSN of a record on another page
    log.SetLastLsn(6, b);
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, log.Build()), 0);
    EXPECT_EQ(Indexed(store), (std::set<uint64_t>{a, b}));
}

TEST(LoadLog, AWrappedLogGivesTwoRunsAndNewRecordsDoNotRunIntoOlderPages) {
    const uint32_t p = 4096;
    LogBuilder log(p, 10);
    // The older pass over the log fills pages 5 to 9.
    log.SetSequence(3);
    log.MoveTo(5 * p + 64);
    std::vector<uint64_t> older;
    while (log.Position() < 9 * p + 3000)
        older.push_back(log.Add(Sized(520)));
    const std::vector<uint8_t> page5(log.Bytes().begin() + 5 * p, log.Bytes().begin() + 6 * p);
    const uint64_t page5Last = [&] {
        uint64_t last = 0;
        for (uint64_t l : older)
            if (logfmt::LsnToOffset(l, LogBuilder::kBits) / p == 5) last = l;
        return last;
    }();
    // The newer pass fills pages 2 to 4; its last record would run on into page 5, whose own
    // copy on disk is still the older one.
    log.SetSequence(4);
    log.MoveTo(2 * p + 64);
    std::vector<uint64_t> newer;
    while (log.Position() < 4 * p + 3000)
        newer.push_back(log.Add(Sized(520)));
    const uint64_t runsOn = log.Add(Sized(2000));
    std::copy(page5.begin(), page5.end(), log.Bytes().begin() + 5 * p);
    log.SetLastLsn(5, page5Last);

    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, log.Build()), 0);
    std::set<uint64_t> expected(newer.begin(), newer.end());
    expected.insert(older.begin(), older.end());
    EXPECT_EQ(Indexed(store), expected);
    EXPECT_FALSE(store.FindEntry(runsOn));
    ASSERT_EQ(store.Runs().size(), 2u);
    EXPECT_EQ(store.Runs()[0].front().lsn, newer.front());
    EXPECT_EQ(store.Runs()[1].front().lsn, older.front());
    // Both passes are found by LSN, the newer one first in run order.
    for (uint64_t l : {newer.front(), newer.back(), older.front(), older.back()})
        EXPECT_TRUE(store.FindEntry(l)) << l;
}

TEST(LoadLog, RecordsThatRunPastTheLogOrIntoDamagedPagesAreNotIndexed) {
    const uint32_t p = 4096;
    LogBuilder log(p, 8);
    const uint64_t a = log.Add(Sized(500));
    const uint64_t intoTorn = log.Add(Sized(p));  // runs on into page 3
    log.MoveTo(3 * p + 1200);
    log.Add(Sized(300));  // on the torn page
    log.MoveTo(5 * p + 64);
    const uint64_t b = log.Add(Sized(300));
    log.MoveTo(7 * p + 3000);
    const uint64_t pastEnd = log.Add(Sized(2000));  // the log ends with page 7
    std::vector<uint8_t> bytes = log.Build();
    bytes.resize(8 * p);
    bytes[3 * p + 1022] ^= 0x55;  // the second block of page 3 is from another write
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, bytes), 0);
    EXPECT_EQ(Indexed(store), (std::set<uint64_t>{a, b}));
    EXPECT_FALSE(store.FindEntry(intoTorn));
    EXPECT_FALSE(store.FindEntry(pastEnd));
}

TEST(LoadLog, JunkWhoseLsnDoesNotMapOrWhoseLengthPassesTheLogIsSkipped) {
    const uint32_t p = 4096;
    LogBuilder log(p, 8);
    const uint64_t a = log.Add(Sized(256));
    // Junk right behind A: a "record" whose LSN maps elsewhere...
    const uint64_t junkAt = log.Position();
    log.MoveTo(junkAt + 128);
    // ...and one whose LSN maps to its place but whose length runs far past the log.
    const uint64_t hugeAt = log.Position();
    log.MoveTo(hugeAt + 64);
    const uint64_t b = log.Add(Sized(256));
    std::vector<uint8_t> bytes = log.Build();
    test::Put64(bytes, junkAt, log.Lsn(junkAt + 4096));
    test::Put32(bytes, junkAt + 0x18, 40);
    test::Put64(bytes, hugeAt, log.Lsn(hugeAt));
    test::Put32(bytes, hugeAt + 0x18, 0xFFFFFFF0);
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, bytes), 0);
    EXPECT_EQ(Indexed(store), (std::set<uint64_t>{a, b}));
}

TEST(LoadLog, AnUpdateSequenceArrayOutsideItsPlaceMeansThePageIsNotUsed) {
    const uint32_t p = 4096;
    for (uint16_t usa : {uint16_t{0x0FF0}, uint16_t{0x08}, uint16_t{0x30}}) {
        SCOPED_TRACE(usa);
        LogBuilder log(p, 8);
        const uint64_t a = log.Add(Sized(256));
        log.MoveTo(3 * p + 64);
        log.Add(Sized(256));
        std::vector<uint8_t> bytes = log.Build();
        test::Put16(bytes, 3 * p + 4, usa);
        LogRecordStore store;
        ASSERT_EQ(test::LoadBytes(store, bytes), 0);
        EXPECT_EQ(Indexed(store), std::set<uint64_t>{a});
    }
}

TEST(LoadLog, PageSizesFromFiveHundredTwelveToSixtyFourKilobytes) {
    for (uint32_t p : {512u, 1024u, 8192u, 65536u}) {
        SCOPED_TRACE(p);
        const uint32_t pages = p >= 8192 ? 8 : 64;
        LogBuilder log(p, pages);
        std::vector<LogRecordSpec> specs;
        std::vector<uint64_t> lsns;
        for (uint32_t size : {136u, 1000u, 3 * p, 64u, 2 * p + 8, 200u}) {
            specs.push_back(Sized(size));
            lsns.push_back(log.Add(specs.back()));
        }
        LogRecordStore store;
        CountingProgress progress;
        ASSERT_EQ(test::LoadBytes(store, log.Build(), progress.dialog), 0);
        EXPECT_EQ(store.Geometry().pageSize, p);
        EXPECT_EQ(Indexed(store), std::set<uint64_t>(lsns.begin(), lsns.end()));
        for (size_t i = 0; i < specs.size(); ++i) {
            uint64_t position = 0;
            const auto r = store.Fetch(lsns[i], position);
            ASSERT_TRUE(r);
            EXPECT_EQ(*r, Expected(specs[i], lsns[i]));
        }
        // Every page but the first is stepped once in each pass.
        EXPECT_EQ(progress.Stepped(), 2ull * (pages - 1) * p);
    }
}

TEST(LoadLog, StopInTheFirstPassLeavesAnEmptyIndexAndInTheSecondAPartOne) {
    const uint32_t p = 4096;
    LogBuilder log(p, 64);
    std::vector<uint64_t> lsns;
    while (log.Position() < 63 * p)
        lsns.push_back(log.Add(Sized(700)));
    const std::vector<uint8_t> bytes = log.Build();

    auto loadStoppingAt = [&](int advance, LogRecordStore& store, int& advances) {
        test::StoppingView view(advance);
        ProgressDialog progress(&view);
        view.Attach(&progress);
        progress.SetStageCount(1);
        progress.SetSteps(static_cast<int64_t>(bytes.size()));
        const int r = test::LoadBytes(store, bytes, progress);
        advances = view.Advances();
        return r;
    };
    int total = 0;
    {
        LogRecordStore store;
        ASSERT_EQ(loadStoppingAt(-1, store, total), 0);
        EXPECT_EQ(store.RecordCount(), lsns.size());
    }
    ASSERT_GE(total, 10);
    {
        LogRecordStore store;
        int advances = 0;
        EXPECT_EQ(loadStoppingAt(2, store, advances), 0);
        EXPECT_EQ(store.RecordCount(), 0u);
        EXPECT_FALSE(store.StorePath().empty());
    }
    {
        LogRecordStore store;
        int advances = 0;
        EXPECT_EQ(loadStoppingAt(total / 2 + 3, store, advances), 0);
        EXPECT_GT(store.RecordCount(), 0u);
        EXPECT_LT(store.RecordCount(), lsns.size());
        // What was indexed can be fetched.
        uint64_t position = 0;
        EXPECT_TRUE(store.Fetch(lsns.front(), position));
    }
}

TEST(LoadLog, TheRecordStoreFileIsPrivateAndGoesWithTheStore) {
    LogBuilder log(4096, 8);
    log.Add(Sized(300));
    std::u16string path;
    {
        LogRecordStore store;
        ASSERT_EQ(test::LoadBytes(store, log.Build()), 0);
        path = store.StorePath();
        ASSERT_FALSE(path.empty());
        File probe;
        EXPECT_TRUE(probe.Open(path, File::Mode::kRead));
        EXPECT_EQ(probe.Length(), static_cast<int64_t>(store.StoreLength()));
    }
    File probe;
    EXPECT_FALSE(probe.Open(path, File::Mode::kRead));
}

TEST(LoadLog, LoadingAgainReplacesTheIndex) {
    LogBuilder first(4096, 8);
    const uint64_t a = first.Add(Sized(300));
    LogBuilder second(4096, 8);
    second.MoveTo(5 * 4096 + 64);
    const uint64_t b = second.Add(Sized(300));
    LogRecordStore store;
    ASSERT_EQ(test::LoadBytes(store, first.Build()), 0);
    ASSERT_EQ(test::LoadBytes(store, second.Build()), 0);
    EXPECT_EQ(Indexed(store), std::set<uint64_t>{b});
    EXPECT_FALSE(store.FindEntry(a));
}

}  // namespace
}  // namespace qv
