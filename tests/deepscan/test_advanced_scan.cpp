// Whole advanced scans: on synthetic volumes with a deleting transaction, and on real images,
// where they list what the normal scan lists and recover the manifests byte-exact; our images'
// logs are blank (ntfs-3g leaves them so), and there the scan says once that it cannot serve.
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

class SyntheticAdvancedScan : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(SyntheticAdvancedScan, RecoversTheFileByteExactWhereTheNormalScanCannot) {
    const auto [clusterSize, recordSize] = GetParam();
    test::PrivateTemp temp;
    // The scenario on a whole volume: its records, its data behind the $MFT, and its $LogFile.
    test::DeletedFileScenario s{.clusterSize = clusterSize,
                                .recordSize = recordSize,
                                .runs = {{2048 + 40, 3}, {2048 + 10, 2}, {2048 + 100, 4}}};
    s.Make();
    NtfsBuilder volume(clusterSize, recordSize, 64, 4096);
    const std::vector<uint8_t> content = test::PatternBytes(s.dataSize, 77);
    for (size_t at = 0; const auto& r : s.runs) {
        const size_t n = std::min<size_t>(r.length * clusterSize, content.size() - at);
        volume.PutData(r.lcn, {content.begin() + at, content.begin() + at + n});
        at += n;
    }
    const uint64_t logClusters = (s.log.size() + clusterSize - 1) / clusterSize;
    const uint64_t logLcn = volume.Allocate(logClusters);
    volume.PutData(logLcn, s.log);
    test::RecordBuilder logFile = test::RecordBuilder(recordSize).InUse().Sequence(2);
    logFile.RecordNumber(2).FileName(NtfsBuilder::kRootReference, u"$LogFile", 3);
    volume.SetRecord(2, logFile.NonResidentData({{logLcn, logClusters}}, s.log.size()).Build());
    volume.SetRecord(s.baseNumber, s.base);
    volume.SetRecord(s.extensionNumber, s.extensionAsFound);
    for (const bool advanced : {false, true}) {
        SCOPED_TRACE(advanced);
        test::StepCounter progress;
        auto session = ScanSession::Open(volume.Open(), {advanced, u"T:"}, progress);
        ASSERT_TRUE(session) << session.error().Text();
        // The listed files' records ("NRM") and, advanced, the log's records ("NRG").
        EXPECT_EQ(temp.Count("NRM"), 1u);
        EXPECT_EQ(temp.Count("NRG"), advanced ? 1u : 0u);
        DeletedFileList list;
        ASSERT_TRUE((*session)->FindDeletedFiles(list, progress));
        EXPECT_EQ(temp.Files().size(), 1u);
        EXPECT_EQ(temp.Count("NRG"), 0u);  // the log's records go once the rollback is done
        ASSERT_EQ(list.files.size(), 1u);
        EXPECT_EQ(list.files[0].record, s.baseNumber);
        EXPECT_EQ(list.files[0].name, s.name);
        EXPECT_EQ(list.files[0].size, advanced ? s.dataSize : 0u);
        auto record = (*session)->LoadFile(s.baseNumber);
        ASSERT_TRUE(record);
        if (!advanced) {
            EXPECT_EQ((*record)->UnnamedStream(), nullptr);  // its $DATA is gone from the $MFT
            continue;
        }
        MemorySink sink;
        const auto copied = CopyRecordData(sink, **record, (*session)->Reader(), progress);
        ASSERT_TRUE(copied && *copied == Copied::kWhole);
        EXPECT_TRUE(sink.bytes == content);
    }
    EXPECT_EQ(temp.Files(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Geometries, SyntheticAdvancedScan,
                         ::testing::Values(std::pair{4096u, 1024u}, std::pair{512u, 1024u},
                                           std::pair{1024u, 1024u}, std::pair{4096u, 4096u}));

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

class RealAdvancedScan : public ::testing::TestWithParam<const char*> {};

TEST_P(RealAdvancedScan, ListsWhatTheNormalScanListsAndRecoversTheManifestByteExact) {
    const std::string image = GetParam();
    const bool blankLog = image.rfind("real/", 0) != 0;
    const std::string manifestName =
        (blankLog ? image.substr(0, image.size() - 4) : image) + ".deleted.tsv";
    QV_REQUIRE_FIXTURE(path, image);
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
    EXPECT_EQ(cannotServe, blankLog ? 1u : 0u);

    size_t checked = 0;
    if (image != "real/ntfssamples-ntfs-2m-vol.raw") {
        QV_REQUIRE_FIXTURE(manifest, manifestName);
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
    std::cout << "[ counts ] " << image << ": " << normalRows.size() << " rows, " << traced
              << " changes reached deleted files' records, " << worse << " rollbacks not kept, "
              << checked << " manifest files recovered byte-exact\n";
}

// The Windows-made volumes (real/) and our images, whose logs ntfs-3g left blank; beside each,
// The Sleuth Kit's manifest of its deleted files (the 2 MiB volume has none).
INSTANTIATE_TEST_SUITE_P(Images, RealAdvancedScan,
                         ::testing::Values("real/7-ntfs-undel.dd",
                                           "real/SampleTinyNtfsVolume.partition.dd",
                                           "real/dissect-ntfs.bin", "real/dissect-ntfs-cloud.bin",
                                           "real/vss2003-vol.raw", "real/gontfs-test.ntfs.dd",
                                           "real/gontfs-charlie.dd",
                                           "real/ntfssamples-ntfs-2m-vol.raw", "attrlist.img",
                                           "rich-4k.img", "c512.img", "c64k.img", "s4096.img"),
                         [](const auto& p) { return test::ParamName(p.param); });

}  // namespace
}  // namespace qv
