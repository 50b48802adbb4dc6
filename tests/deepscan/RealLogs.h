#pragma once

// The $LogFiles of the team's Windows-made volumes and log extracts, and a plain per-page parse
// of them that serves as the oracle for what Load must index.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/ProgressDialog.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/BlockDevice.h"
#include "platform/File.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "support/Fixtures.h"
#include "volume/VolumeReader.h"

namespace qv::test {

struct RealLog {
    const char* path;  // below the fixture folder
    bool volume;       // a volume image (its $LogFile is record 2), else a raw log extract
    // The records the shared test data's README counts in this log (LSN mapping to its own
    // offset, on record pages); 0 where it gives none.
    size_t readmeRecords;
};

inline void PrintTo(const RealLog& log, std::ostream* out) {
    *out << log.path;
}

inline const std::vector<RealLog>& RealLogs() {
    static const std::vector<RealLog> logs = {
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
    return logs;
}

// Copies a volume's $LogFile (MFT record 2) into a temporary file with the engine's own data
// copy, or a log extract as it is. Empty path in `copy` when the volume cannot be read.
inline void CopyRealLog(const RealLog& log, const std::string& path, File& copy,
                        uint32_t& clusterSize, uint32_t& recordSize) {
    ASSERT_EQ(MakeTempFile(copy, "TLG"), 0);
    clusterSize = 4096;
    recordSize = 1024;
    if (!log.volume) {
        const std::vector<uint8_t> bytes = ReadWholeFile(path);
        ASSERT_TRUE(copy.Write(bytes.data(), bytes.size()));
        return;
    }
    int error = 0;
    auto device = DeviceFile::Open(FromUtf8(path), &error);
    ASSERT_TRUE(device) << path;
    VolumeReader reader;
    ASSERT_EQ(reader.Open(std::move(device), u'R'), 0) << path;
    clusterSize = reader.ClusterSize();
    recordSize = reader.RecordSize();
    std::vector<uint8_t> records(3 * recordSize);
    ASSERT_EQ(reader.ReadMftStart(records.data(), static_cast<uint32_t>(records.size())),
              static_cast<int64_t>(records.size()));
    std::vector<uint8_t> record2(records.begin() + 2 * recordSize, records.end());
    FileRecord logFile;
    logFile.SetHeader(record2);
    ASSERT_GE(logFile.Parse(record2, clusterSize, &reader), 0);
    ProgressDialog progress;
    ASSERT_EQ(CopyRecordData(copy, logFile, reader, progress), 0);
}

// One record as the plain parse sees it.
struct PlainRecord {
    uint64_t offset;  // in the log
    uint64_t lsn;
    uint64_t length;  // 48 + client data length
};

// The plain per-page parse: every page (of the restart page's page size) that begins with "RCRD",
// its 512-byte blocks restored from the update sequence array, and on it every 8-byte aligned
// offset from 64 whose LSN maps back to that offset and whose length fits in the log.
inline std::vector<PlainRecord> PlainParse(const std::vector<uint8_t>& log) {
    std::vector<PlainRecord> out;
    if (log.size() < 0x100) return out;
    auto u16 = [&](const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; };
    auto u32 = [&](const uint8_t* p) { return u16(p) | u16(p + 2) << 16; };
    auto u64 = [&](const uint8_t* p) { return uint64_t(u32(p)) | uint64_t(u32(p + 4)) << 32; };
    const uint32_t pageSize = u32(log.data() + 0x14);
    const uint32_t bits = u32(log.data() + u16(log.data() + 0x18) + 0x10);
    for (size_t base = pageSize; base + pageSize <= log.size(); base += pageSize) {
        std::vector<uint8_t> page(log.begin() + base, log.begin() + base + pageSize);
        if (page[0] != 'R' || page[1] != 'C' || page[2] != 'R' || page[3] != 'D') continue;
        const uint32_t usa = u16(page.data() + 4);
        const uint32_t count = u16(page.data() + 6);
        if (usa + 2 * count > pageSize) continue;
        for (uint32_t i = 1; i < count && i * 512 <= pageSize; ++i) {
            page[i * 512 - 2] = page[usa + 2 * i];
            page[i * 512 - 1] = page[usa + 2 * i + 1];
        }
        for (uint32_t o = 64; o + 48 <= pageSize; o += 8) {
            const uint64_t lsn = u64(page.data() + o);
            if (lsn == 0 || ((lsn << bits) >> (bits - 3)) != base + o) continue;
            const uint64_t length = 48 + uint64_t(u32(page.data() + o + 0x18));
            if (length <= log.size()) out.push_back({base + o, lsn, length});
        }
    }
    return out;
}

}  // namespace qv::test
