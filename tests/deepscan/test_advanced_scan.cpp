// Whole advanced scans: on a volume whose deleted file lost its $DATA from an extension record in
// the transaction that deleted it, on a volume with a blank log, and on the Windows-made and
// ntfs-3g images, where it must list exactly what the normal scan lists and recover every file
// of the manifests byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <map>

#include "app/FileTexts.h"
#include "deepscan/DeletedFileScenario.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"
#include "support/ContentSha.h"
#include "support/Fixtures.h"
#include "support/NtfsBuilder.h"
#include "support/PrivateTemp.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::NtfsBuilder;

// The scenario's deleted file on a whole volume: its two records, its data in three runs, and
// the $LogFile (record 2) holding the transaction that deleted it.
struct SyntheticVolume {
    test::DeletedFileScenario s;
    std::vector<uint8_t> content;  // the file's bytes
    std::unique_ptr<NtfsBuilder> volume;

    SyntheticVolume(uint32_t clusterSize, uint32_t recordSize, bool blankLog = false) {
        s.clusterSize = clusterSize;
        s.recordSize = recordSize;
        volume = std::make_unique<NtfsBuilder>(clusterSize, recordSize, 64, 4096);
        s.runs = {{2048 + 40, 3}, {2048 + 10, 2}, {2048 + 100, 4}};  // behind the $MFT and the log
        s.Make(4096, 16);
        content = test::PatternBytes(9 * size_t{clusterSize}, 77);
        content.resize(s.dataSize);
        size_t at = 0;
        for (const auto& r : s.runs) {
            const size_t n = std::min<size_t>(r.length * clusterSize, content.size() - at);
            volume->PutData(r.lcn, {content.begin() + at, content.begin() + at + n});
            at += n;
        }
        std::vector<uint8_t> log = s.log;
        if (blankLog) std::fill(log.begin(), log.end(), 0xFF);
        const uint64_t logClusters = (log.size() + clusterSize - 1) / clusterSize;
        const uint64_t logLcn = volume->Allocate(logClusters);
        volume->PutData(logLcn, log);
        volume->SetRecord(2, test::RecordBuilder(recordSize)
                                 .InUse()
                                 .Sequence(2)
                                 .RecordNumber(2)
                                 .FileName(NtfsBuilder::kRootReference, u"$LogFile", 3)
                                 .NonResidentData({{logLcn, logClusters}}, log.size())
                                 .Build());
        volume->SetRecord(s.baseNumber, s.base);
        volume->SetRecord(s.extensionNumber, s.extensionAsFound);
    }
};

class SyntheticAdvancedScan : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(SyntheticAdvancedScan, RecoversTheFileByteExactWhereTheNormalScanCannot) {
    const auto [clusterSize, recordSize] = GetParam();
    test::PrivateTemp temp;
    SyntheticVolume v(clusterSize, recordSize);
    for (const bool advanced : {false, true}) {
        SCOPED_TRACE(advanced);
        test::StepCounter progress;
        auto session = ScanSession::Open(v.volume->Open(), {advanced, u"T:"}, progress);
        ASSERT_TRUE(session) << session.error().Text();
        // The listed files' records ("NRM") and, advanced, the log's records ("NRG").
        EXPECT_EQ(temp.Count("NRM"), 1u);
        EXPECT_EQ(temp.Count("NRG"), advanced ? 1u : 0u);
        DeletedFileList list;
        ASSERT_TRUE((*session)->FindDeletedFiles(list, progress));
        EXPECT_EQ(temp.Files(),
                  std::vector<std::string>{temp.Files().empty() ? "" : temp.Files()[0]});
        EXPECT_EQ(temp.Count("NRG"), 0u);  // the log's records go once the rollback is done
        ASSERT_EQ(list.files.size(), 1u);
        EXPECT_EQ(list.files[0].record, v.s.baseNumber);
        EXPECT_EQ(list.files[0].name, v.s.name);
        EXPECT_EQ(list.files[0].size, advanced ? v.s.dataSize : 0u);
        auto record = (*session)->LoadFile(v.s.baseNumber);
        ASSERT_TRUE(record);
        if (!advanced) {
            EXPECT_EQ((*record)->UnnamedStream(), nullptr);  // its $DATA is gone from the $MFT
            continue;
        }
        MemorySink sink;
        const auto copied = CopyRecordData(sink, **record, (*session)->Reader(), progress);
        ASSERT_TRUE(copied && *copied == Copied::kWhole);
        EXPECT_TRUE(sink.bytes == v.content);
    }
    EXPECT_EQ(temp.Files(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Geometries, SyntheticAdvancedScan,
                         ::testing::Values(std::pair{4096u, 1024u}, std::pair{512u, 1024u},
                                           std::pair{1024u, 1024u}, std::pair{4096u, 4096u}));

TEST(AdvancedScan, ABlankLogGivesTheNormalScanAndOneLine) {
    test::PrivateTemp temp;
    SyntheticVolume v(4096, 1024, /*blankLog=*/true);
    const std::string path = v.volume->WriteImage("blank-log.img");
    {
        test::ScanHarness harness;
        harness.Scan(path, true, u'T');
        ASSERT_NE(harness.context.session, nullptr);
        const std::vector<std::string> lines = harness.LogMessages();
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             "Advanced scan is not possible on T:, the log file cannot be used"),
                  1);
        ASSERT_EQ(harness.list.files.size(), 1u);
        EXPECT_EQ(harness.list.files[0].size, 0u);
    }
    std::remove(path.c_str());
}

// What a scan lists, as text, by record number: the file's values and its streams.
std::map<uint64_t, std::vector<std::u16string>> Rows(test::ScanHarness& harness) {
    std::map<uint64_t, std::vector<std::u16string>> rows;
    for (const DeletedFile& f : harness.list.files) {
        std::vector<std::u16string> texts;
        for (int c = 0; c < kColumnCount; ++c)
            texts.push_back(ColumnText(f, static_cast<Column>(c), u'C'));
        texts.push_back(FromUtf8(std::to_string(f.damaged) + std::to_string(f.hasNamedStreams)));
        auto record = harness.context.session->LoadFile(f.record);
        EXPECT_TRUE(record) << f.record;
        for (size_t i = 0; record && i < (*record)->StreamCount(); ++i) {
            const RunList* s = (*record)->GetDataStream(i);
            texts.push_back(s->Name() + u":" + FromUtf8(std::to_string(s->TotalSize(4096))) + u":" +
                            FromUtf8(std::to_string(s->Runs().size())));
        }
        rows[f.record] = texts;
    }
    return rows;
}

struct RealImage {
    const char* file;
    const char* manifest;  // "" when there is none
    bool blankLog;         // made by ntfs-3g
};

void PrintTo(const RealImage& image, std::ostream* out) {
    *out << image.file;
}

class RealAdvancedScan : public ::testing::TestWithParam<RealImage> {};

TEST_P(RealAdvancedScan, ListsWhatTheNormalScanListsAndRecoversTheManifestByteExact) {
    const RealImage& image = GetParam();
    QV_REQUIRE_FIXTURE(path, image.file);
    test::PrivateTemp temp;
    // Every change that reaches a deleted file's image leaves a trace line: count them.
    const std::string traceDir = ToUtf8(TempDirectory()) + "/trace";
    ::mkdir(traceDir.c_str(), 0700);
    ::setenv("QUORVANE_TRACE_DIR", traceDir.c_str(), 1);

    std::map<uint64_t, std::vector<std::u16string>> normalRows;
    {
        test::ScanHarness normal;
        normal.Scan(path, false);
        ASSERT_NE(normal.context.session, nullptr);
        normalRows = Rows(normal);
    }
    test::ScanHarness advanced;
    advanced.Scan(path, true);
    ASSERT_NE(advanced.context.session, nullptr);
    EXPECT_EQ(Rows(advanced), normalRows);
    size_t cannotServe = 0, worse = 0;
    for (const std::string& m : advanced.LogMessages()) {
        cannotServe += m.find("Advanced scan is not possible") != std::string::npos;
        worse += m.find("the log would make deleted file record") != std::string::npos;
    }
    EXPECT_EQ(cannotServe, image.blankLog ? 1u : 0u);

    size_t checked = 0;
    if (*image.manifest) {
        QV_REQUIRE_FIXTURE(manifest, image.manifest);
        for (const test::ManifestRow& row : test::ReadManifest(manifest)) {
            if (row.record < 24) continue;
            SCOPED_TRACE(row.path + " (record " + std::to_string(row.record) + ")");
            ASSERT_NE(advanced.Find(row.record), nullptr);
            auto record = advanced.context.session->LoadFile(row.record);
            ASSERT_TRUE(record);
            const std::string stream =
                row.IsNamedStream() ? row.name.substr(row.name.find(':') + 1) : std::string();
            EXPECT_EQ(test::ContentSha(*advanced.context.session, **record, stream), row.sha256);
            ++checked;
        }
    }
    std::ifstream in(traceDir + "/lsn.r");
    const size_t traced = std::count(std::istreambuf_iterator<char>(in), {}, '\n');
    ::unsetenv("QUORVANE_TRACE_DIR");
    std::cout << "[ counts ] " << image.file << ": " << normalRows.size() << " rows, " << traced
              << " changes reached deleted files' records, " << worse << " rollbacks not kept, "
              << checked << " manifest files recovered byte-exact\n";
}

INSTANTIATE_TEST_SUITE_P(
    Images, RealAdvancedScan,
    ::testing::Values(
        RealImage{"real/7-ntfs-undel.dd", "real/7-ntfs-undel.dd.deleted.tsv", false},
        RealImage{"real/SampleTinyNtfsVolume.partition.dd",
                  "real/SampleTinyNtfsVolume.partition.dd.deleted.tsv", false},
        RealImage{"real/dissect-ntfs.bin", "real/dissect-ntfs.bin.deleted.tsv", false},
        RealImage{"real/dissect-ntfs-cloud.bin", "real/dissect-ntfs-cloud.bin.deleted.tsv", false},
        RealImage{"real/vss2003-vol.raw", "real/vss2003-vol.raw.deleted.tsv", false},
        RealImage{"real/gontfs-test.ntfs.dd", "real/gontfs-test.ntfs.dd.deleted.tsv", false},
        RealImage{"real/gontfs-charlie.dd", "real/gontfs-charlie.dd.deleted.tsv", false},
        RealImage{"real/ntfssamples-ntfs-2m-vol.raw", "", false},
        RealImage{"attrlist.img", "attrlist.deleted.tsv", true},
        RealImage{"rich-4k.img", "rich-4k.deleted.tsv", true},
        RealImage{"c512.img", "c512.deleted.tsv", true},
        RealImage{"c64k.img", "c64k.deleted.tsv", true},
        RealImage{"s4096.img", "s4096.deleted.tsv", true}),
    [](const auto& p) { return test::ParamName(p.param.file); });

}  // namespace
}  // namespace qv
