// Load on the $LogFiles of Windows-made volumes and log extracts: it indexes the records that a
// plain per-page parse finds, except those whose bytes are not in the log, and nothing else.
#include <gtest/gtest.h>

#include <iostream>
#include <map>

#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "deepscan/RealLogs.h"

namespace qv {
namespace {

using test::PlainRecord;
using test::RealLog;

struct Counts {
    size_t plain = 0;
    size_t indexed = 0;
    size_t unwalkedPage = 0;  // on a page whose last LSN maps elsewhere (tail copies)
    size_t notWhole = 0;      // runs on into a page of another pass, a damaged one, or past the end
    size_t insideRecord = 0;  // bytes inside a record that is indexed
};

class RealLogTest : public ::testing::TestWithParam<RealLog> {};

TEST_P(RealLogTest, IndexesWhatAPlainParseFindsWhereTheRecordIsWhole) {
    const RealLog& real = GetParam();
    QV_REQUIRE_FIXTURE(path, real.path);
    File copy;
    uint32_t clusterSize = 0;
    uint32_t recordSize = 0;
    test::CopyRealLog(real, path, copy, clusterSize, recordSize);
    if (HasFatalFailure()) return;
    const int64_t length = copy.Length();
    ASSERT_GT(length, 0);
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    ASSERT_EQ(copy.ReadAt(0, bytes.data(), bytes.size()), length);

    LogRecordStore store;
    ProgressDialog progress;
    const int loaded = store.Load(copy, clusterSize, 512, recordSize, progress);
    if (loaded == kLogCannotServe) {
        // Only a log without a restart page may say so.
        EXPECT_FALSE(bytes[0] == 'R' && bytes[1] == 'S' && bytes[2] == 'T' && bytes[3] == 'R');
        std::cout << "[ counts ] " << real.path << ": the log cannot serve\n";
        return;
    }
    ASSERT_EQ(loaded, 0);
    // The copy is only read.
    std::vector<uint8_t> after(bytes.size());
    ASSERT_EQ(copy.ReadAt(0, after.data(), after.size()), length);
    EXPECT_TRUE(after == bytes);

    const std::vector<PlainRecord> plain = test::PlainParse(bytes);
    if (real.readmeRecords != 0) {
        EXPECT_EQ(plain.size(), real.readmeRecords);
    }

    const uint32_t p = store.Geometry().pageSize;
    const uint32_t bits = store.Geometry().sequenceBits;
    const uint32_t d = store.Geometry().dataOffset;
    auto lastLsn = [&](uint64_t page) -> uint64_t {
        const uint64_t at = page * p;
        if (at + p > bytes.size() || bytes[at] != 'R' || bytes[at + 1] != 'C') return 0;
        return Load64(bytes.data() + at + 8);
    };
    // Where each indexed record's bytes lie in the log.
    std::map<uint64_t, uint64_t> spans;  // start -> end (file offsets)
    std::set<uint64_t> indexed;
    for (const LsnRun& run : store.Runs()) {
        for (const LsnIndexEntry& e : run) {
            EXPECT_TRUE(indexed.insert(e.lsn).second) << "indexed twice: " << e.lsn;
            uint64_t position = 0;
            const auto record = store.Fetch(e.lsn, position);
            ASSERT_TRUE(record);
            const uint64_t start = logfmt::LsnToOffset(e.lsn, bits);
            uint64_t end = start + record->size();
            if (end > (start / p + 1) * p) {
                const uint64_t rest = end - (start / p + 1) * p;
                const uint64_t more = (rest + (p - d) - 1) / (p - d);
                end = (start / p + more) * p + d + rest - (more - 1) * (p - d);
            }
            spans[start] = end;
            EXPECT_EQ(Load64(record->data()), e.lsn);
            EXPECT_EQ(position, e.position);
        }
    }

    Counts counts;
    counts.plain = plain.size();
    counts.indexed = indexed.size();
    std::set<uint64_t> plainLsns;
    for (const PlainRecord& r : plain) {
        plainLsns.insert(r.lsn);
        if (indexed.count(r.lsn)) continue;
        const uint64_t page = r.offset / p;
        const uint64_t last = lastLsn(page);
        const uint64_t lastAt = logfmt::LsnToOffset(last, bits);
        if (last == 0 || lastAt < page * p || lastAt >= (page + 1) * p) {
            ++counts.unwalkedPage;
            continue;
        }
        auto inside = spans.upper_bound(r.offset);
        if (inside != spans.begin() && (--inside)->second > r.offset) {
            ++counts.insideRecord;
            continue;
        }
        bool whole = true;
        const uint64_t end = r.offset % p + r.length;
        for (uint64_t c = page + 1; end > p && c <= page + (end - p + (p - d) - 1) / (p - d); ++c) {
            const uint64_t l = lastLsn(c);
            if (l == 0 || l < r.lsn ||
                logfmt::LsnSequence(l, bits) != logfmt::LsnSequence(r.lsn, bits))
                whole = false;
        }
        if (!whole) {
            ++counts.notWhole;
            std::cout << "[ counts ]   not whole: LSN " << r.lsn << " at " << r.offset << ", "
                      << r.length << " bytes\n";
            continue;
        }
        ADD_FAILURE() << "a whole record the plain parse finds is not indexed: LSN " << r.lsn
                      << " at " << r.offset;
    }
    // Nothing the plain parse does not find.
    for (uint64_t lsn : indexed)
        EXPECT_TRUE(plainLsns.count(lsn)) << "indexed but not a record: " << lsn;
    std::cout << "[ counts ] " << real.path << ": plain parse " << counts.plain << ", indexed "
              << counts.indexed << " in " << store.Runs().size()
              << " runs; not indexed: " << counts.unwalkedPage << " on tail-copy pages, "
              << counts.notWhole << " not whole in the log, " << counts.insideRecord
              << " inside other records\n";
}

INSTANTIATE_TEST_SUITE_P(Windows, RealLogTest, ::testing::ValuesIn(test::RealLogs()),
                         [](const ::testing::TestParamInfo<RealLog>& param) {
                             std::string name = param.param.path;
                             for (char& c : name)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace qv
