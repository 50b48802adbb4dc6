// Load on the $LogFiles of Windows-made volumes and log extracts: it indexes the records that a
// plain per-page parse finds, except those whose bytes are not in the log, and nothing else.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <set>

#include "deepscan/LogBuilder.h"
#include "deepscan/LogFormat.h"
#include "deepscan/LogRecordStore.h"
#include "ntfs/FileRecord.h"
#include "ntfs/StreamReader.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "volume/VolumeReader.h"

namespace qv::test {
namespace {

struct RealLog {
    const char* path;  // below the fixture folder
    bool volume;       // a volume image (its $LogFile is record 2), else a raw log extract
    // The records the shared data's README counts (LSN at its own offset); 0 where it has none.
    size_t readmeRecords;
};

void PrintTo(const RealLog& log, std::ostream* out) {
    *out << log.path;
}

const RealLog kRealLogs[] = {
    {"real/7-ntfs-undel.dd", true, 1051},
    {"real/SampleTinyNtfsVolume.partition.dd", true, 792},
    {"real/dissect-ntfs.bin", true, 9923},
    {"real/dissect-ntfs-cloud.bin", true, 1983},
    {"real/vss2003-vol.raw", true, 4032},
    {"real/gontfs-test.ntfs.dd", true, 1618},
    {"real/gontfs-charlie.dd", true, 507},
    {"real/ntfssamples-ntfs-2m-vol.raw", true, 0},
    {"real/extracts/dfirntfs-LogFile_7.bin", false, 777},
    {"real/extracts/dfirntfs-LogFile_10.bin", false, 323},
};

// One record as the plain parse sees it: its offset in the log, LSN, and 48 + client data length.
struct PlainRecord {
    uint64_t offset, lsn, length;
};

// The plain per-page parse: every page (of the restart page's page size) that begins with "RCRD",
// its 512-byte blocks restored from the update sequence array, and on it every 8-byte aligned
// offset from 64 whose LSN maps back to that offset and whose length fits in the log.
inline std::vector<PlainRecord> PlainParse(const std::vector<uint8_t>& log) {
    std::vector<PlainRecord> out;
    if (log.size() < 0x100) return out;
    const uint32_t pageSize = Load32(log.data() + 0x14);
    const uint32_t bits = Load32(log.data() + Load16(log.data() + 0x18) + 0x10);
    for (size_t base = pageSize; base + pageSize <= log.size(); base += pageSize) {
        std::vector<uint8_t> page(log.begin() + base, log.begin() + base + pageSize);
        if (page[0] != 'R' || page[1] != 'C' || page[2] != 'R' || page[3] != 'D') continue;
        const uint32_t usa = Load16(page.data() + 4), count = Load16(page.data() + 6);
        if (usa + 2 * count > pageSize) continue;
        for (uint32_t i = 1; i < count && i * 512 <= pageSize; ++i) {
            page[i * 512 - 2] = page[usa + 2 * i];
            page[i * 512 - 1] = page[usa + 2 * i + 1];
        }
        for (uint32_t o = 64; o + 48 <= pageSize; o += 8) {
            const uint64_t lsn = Load64(page.data() + o);
            if (lsn == 0 || ((lsn << bits) >> (bits - 3)) != base + o) continue;
            const uint64_t length = 48 + uint64_t{Load32(page.data() + o + 0x18)};
            if (length <= log.size()) out.push_back({base + o, lsn, length});
        }
    }
    return out;
}

class RealLogTest : public ::testing::TestWithParam<RealLog> {};

TEST_P(RealLogTest, IndexesWhatAPlainParseFindsWhereTheRecordIsWhole) {
    const RealLog& real = GetParam();
    QV_REQUIRE_FIXTURE(path, real.path);
    // The volume's $LogFile read where it lies, as the advanced scan reads it, or the log extract.
    VolumeReader reader;
    FileRecord logFile;
    std::unique_ptr<ByteSource> source;
    std::vector<uint8_t> bytes;  // all of it, for the plain parse
    uint32_t clusterSize = 4096, recordSize = 1024;
    if (!real.volume) {
        bytes = ReadWholeFile(path);
        source = std::make_unique<MemoryDevice>(bytes);
    } else {
        ASSERT_TRUE(reader.Open(Source{FromUtf8(path)})) << path;
        clusterSize = reader.ClusterSize();
        recordSize = reader.RecordSize();
        std::vector<uint8_t> records(3 * recordSize);
        ASSERT_TRUE(reader.ReadMftStart(records.data(), static_cast<uint32_t>(records.size())));
        std::vector<uint8_t> record2(records.begin() + 2 * recordSize, records.end());
        logFile.SetHeader(record2);
        ASSERT_NE(logFile.Parse(record2, clusterSize, &reader), Parsed::kUnreadable);
        ASSERT_NE(logFile.UnnamedStream(), nullptr);
        source = std::make_unique<StreamReader>(*logFile.UnnamedStream(), reader);
        bytes.resize(source->Size());
        ASSERT_EQ(*source->ReadAt(0, bytes.data(), bytes.size()), bytes.size());
    }
    ASSERT_GT(bytes.size(), 0u);

    LogRecordStore store;
    StepCounter progress;
    const Status loaded = store.Load(*source, clusterSize, 512, recordSize, progress);
    if (!loaded && loaded.error().code == kLogCannotServe) {
        // Only a log without a restart page may say so.
        EXPECT_FALSE(bytes[0] == 'R' && bytes[1] == 'S' && bytes[2] == 'T' && bytes[3] == 'R');
        std::cout << "[ counts ] " << real.path << ": the log cannot serve\n";
        return;
    }
    ASSERT_TRUE(loaded) << loaded.error().Text();

    const std::vector<PlainRecord> plain = PlainParse(bytes);
    EXPECT_EQ(real.readmeRecords ? plain.size() : 0, real.readmeRecords);

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

    // Not indexed: on a page whose last LSN maps elsewhere (tail copies), running on into a page
    // of another pass, a damaged one or past the end, or inside a record that is indexed.
    size_t unwalkedPage = 0, notWhole = 0, insideRecord = 0;
    std::set<uint64_t> plainLsns;
    for (const PlainRecord& r : plain) {
        plainLsns.insert(r.lsn);
        if (indexed.count(r.lsn)) continue;
        const uint64_t page = r.offset / p;
        const uint64_t last = lastLsn(page);
        if (last == 0 || logfmt::LsnToOffset(last, bits) / p != page) {
            ++unwalkedPage;
            continue;
        }
        auto inside = spans.upper_bound(r.offset);
        if (inside != spans.begin() && (--inside)->second > r.offset) {
            ++insideRecord;
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
            ++notWhole;
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
    std::cout << "[ counts ] " << real.path << ": plain parse " << plain.size() << ", indexed "
              << indexed.size() << " in " << store.Runs().size()
              << " runs; not indexed: " << unwalkedPage << " on tail-copy pages, " << notWhole
              << " not whole in the log, " << insideRecord << " inside other records\n";
}

INSTANTIATE_TEST_SUITE_P(Windows, RealLogTest, ::testing::ValuesIn(kRealLogs),
                         [](const auto& p) { return ParamName(p.param.path); });

}  // namespace
}  // namespace qv::test
