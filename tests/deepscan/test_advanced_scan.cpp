// Whole advanced scans: on a volume whose deleted file lost its $DATA from an extension record in
// the transaction that deleted it, on a volume with a blank log, and on the Windows-made and
// ntfs-3g images, where it must list exactly what the normal scan lists and recover every file
// of the manifests byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>

#include "app/ProgressDialog.h"
#include "deepscan/DeletedFileScenario.h"
#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/ByteSink.h"
#include "platform/TempFile.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"
#include "support/ContentSha.h"
#include "support/Fixtures.h"
#include "support/NtfsBuilder.h"
#include "support/PrivateTemp.h"
#include "support/ScanHarness.h"
#include "support/Sha256.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::DeletedFileScenario;
using test::NtfsBuilder;

using test::PrivateTemp;

// The scenario's deleted file on a whole volume: its two records, its data in three runs, and
// the $LogFile (record 2) holding the transaction that deleted it.
struct SyntheticVolume {
    DeletedFileScenario s;
    std::vector<uint8_t> content;  // the file's bytes
    std::unique_ptr<NtfsBuilder> volume;

    SyntheticVolume(uint32_t clusterSize, uint32_t recordSize, bool blankLog = false) {
        s.clusterSize = clusterSize;
        s.recordSize = recordSize;
        const uint64_t clusters = 4096;
        volume = std::make_unique<NtfsBuilder>(clusterSize, recordSize, 64, clusters);
        // The file's runs lie well behind the $MFT and the log.
        const uint64_t lcn = clusters / 2;
        s.runs = {{lcn + 40, 3}, {lcn + 10, 2}, {lcn + 100, 4}};
        s.Make(4096, 16);
        content = test::PatternBytes(9 * size_t{clusterSize}, 77);
        content.resize(s.dataSize);
        size_t at = 0;
        for (const auto& r : s.runs) {
            const size_t n = std::min<size_t>(r.length * clusterSize, content.size() - at);
            volume->PutData(r.lcn,
                            std::vector<uint8_t>(content.begin() + at, content.begin() + at + n));
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

    std::vector<std::unique_ptr<FileRecord>> Scan(bool advanced, size_t* nrlAfterSession = nullptr,
                                                  size_t* nrgAfterSession = nullptr,
                                                  const PrivateTemp* temp = nullptr) {
        ProgressDialog progress;
        ScanSession session(volume->Open(u'T'), advanced, progress);
        if (temp && nrlAfterSession) *nrlAfterSession = temp->Count("NRL");
        if (temp && nrgAfterSession) *nrgAfterSession = temp->Count("NRG");
        std::vector<std::unique_ptr<FileRecord>> out;
        EXPECT_EQ(session.FindDeletedFiles(out, advanced, progress), 0);
        for (const auto& record : out) {
            MemorySink sink;
            ProgressDialog copying;
            const int r = CopyRecordData(sink, *record, session.Reader(), copying);
            copies.push_back(r == 0 ? sink.bytes : std::vector<uint8_t>{});
        }
        return out;
    }
    std::vector<std::vector<uint8_t>> copies;
};

class SyntheticAdvancedScan : public ::testing::TestWithParam<std::pair<uint32_t, uint32_t>> {};

TEST_P(SyntheticAdvancedScan, RecoversTheFileByteExactWhereTheNormalScanCannot) {
    const auto [clusterSize, recordSize] = GetParam();
    PrivateTemp temp;
    SyntheticVolume normal(clusterSize, recordSize);
    const auto plain = normal.Scan(false);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0]->RecordNumber(), normal.s.baseNumber);
    EXPECT_EQ(plain[0]->GetName(), normal.s.name);
    EXPECT_EQ(plain[0]->UnnamedStream(), nullptr);  // its $DATA is gone from the $MFT

    SyntheticVolume advanced(clusterSize, recordSize);
    size_t nrl = 99, nrg = 99;
    const auto rolled = advanced.Scan(true, &nrl, &nrg, &temp);
    ASSERT_EQ(rolled.size(), 1u);
    EXPECT_EQ(rolled[0]->RecordNumber(), advanced.s.baseNumber);
    EXPECT_EQ(rolled[0]->GetName(), advanced.s.name);
    ASSERT_NE(rolled[0]->UnnamedStream(), nullptr);
    EXPECT_EQ(rolled[0]->TotalDataSize(clusterSize), advanced.s.dataSize);
    ASSERT_EQ(advanced.copies.size(), 1u);
    EXPECT_EQ(advanced.copies[0].size(), advanced.content.size());
    EXPECT_TRUE(advanced.copies[0] == advanced.content);
    // The log copy is gone once the log is indexed, the record store once the rollback is done,
    // and the $MFT copy with the session.
    EXPECT_EQ(nrl, 0u);
    EXPECT_EQ(nrg, 1u);
    EXPECT_EQ(temp.Files(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Geometries, SyntheticAdvancedScan,
                         ::testing::Values(std::pair{4096u, 1024u}, std::pair{512u, 1024u},
                                           std::pair{1024u, 1024u}, std::pair{4096u, 4096u}));

TEST(AdvancedScan, ABlankLogGivesTheNormalScanAndOneLine) {
    PrivateTemp temp;
    test::ScanHarness harness;
    SyntheticVolume volume(4096, 1024, /*blankLog=*/true);
    const std::string path = volume.volume->WriteImage("blank-log.img");
    harness.Scan(path, true);
    ASSERT_NE(harness.context.session, nullptr);
    const std::u16string letter(1, harness.context.driveLetter);
    size_t lines = 0;
    for (const std::string& m : harness.LogMessages())
        lines += m == "Advanced scan is not possible on " + ToUtf8(letter) +
                          ":, the log file cannot be used";
    EXPECT_EQ(lines, 1u);
    ASSERT_EQ(harness.list.Count(), 1);
    EXPECT_EQ(harness.list.Rows()[0].data->record->UnnamedStream(), nullptr);
    harness.context.session.reset();
    std::remove(path.c_str());
}

// The rows of a scan as text, by record number.
std::map<uint64_t, std::vector<std::u16string>> Rows(const test::ScanHarness& harness) {
    std::map<uint64_t, std::vector<std::u16string>> rows;
    for (const auto& row : harness.list.Rows()) {
        std::vector<std::u16string> texts;
        for (int c = 0; c < ListControl::kColumns; ++c)
            texts.emplace_back(row.Text(c));
        const FileRecord& r = *row.data->record;
        for (size_t i = 0; i < r.StreamCount(); ++i) {
            const RunList* s = r.GetDataStream(i);
            texts.push_back(s->Name() + u":" + FromUtf8(std::to_string(s->TotalSize(4096))) + u":" +
                            FromUtf8(std::to_string(s->Runs().size())));
        }
        rows[row.data->RecordNumber()] = texts;
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
    PrivateTemp temp;
    // Every change that reaches a deleted file's image leaves a trace line: count them.
    const std::string traceDir = ToUtf8(TempDirectory()) + "/trace";
    ::mkdir(traceDir.c_str(), 0700);
    ::setenv("QUORVANE_TRACE_DIR", traceDir.c_str(), 1);

    test::ScanHarness normal;
    normal.Scan(path, false);
    ASSERT_NE(normal.context.session, nullptr);
    const auto normalRows = Rows(normal);
    normal.context.session.reset();

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
            const DeletedFileEntry* entry = advanced.Find(row.record);
            ASSERT_NE(entry, nullptr);
            const std::string stream =
                row.IsNamedStream() ? row.name.substr(row.name.find(':') + 1) : std::string();
            EXPECT_EQ(test::ContentSha(*advanced.context.session, *entry->record, stream),
                      row.sha256);
            ++checked;
        }
    }
    size_t traced = 0;
    {
        std::ifstream in(traceDir + "/lsn.r");
        std::string line;
        while (std::getline(in, line))
            ++traced;
    }
    std::remove((traceDir + "/lsn.r").c_str());
    ::rmdir(traceDir.c_str());
    ::unsetenv("QUORVANE_TRACE_DIR");
    size_t withExtensions = 0;
    for (const auto& row : advanced.list.Rows())
        withExtensions += row.data->record->AttributeListCount() > 0;
    std::cout << "[ counts ] " << image.file << ": " << normalRows.size() << " rows ("
              << withExtensions << " with an attribute list), " << traced
              << " changes reached deleted files' "
              << "records, " << worse << " rollbacks not kept, " << checked
              << " manifest files recovered byte-exact\n";
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
    [](const ::testing::TestParamInfo<RealImage>& param) {
        std::string name = param.param.file;
        for (char& c : name)
            if (!isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
}  // namespace qv
