// Whole scans of real NTFS images (ours, made by ntfs-3g, and Windows-made ones) checked against
// The Sleuth Kit's view of the same images.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "ntfs/DataCopy.h"
#include "ntfs/FileRecord.h"
#include "platform/DriveTable.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"
#include "support/ContentSha.h"
#include "support/Fixtures.h"
#include "support/ScanHarness.h"
#include "support/Sha256.h"
#include "volume/VolumeReader.h"

namespace qv {
namespace {

using test::ManifestRow;

struct Image {
    std::string file;      // relative to the fixture folder
    std::string manifest;  // deleted files, or "" when the image has none
    std::string live;      // live files (our fixtures), or ""
};

const std::vector<Image> kImages = {
    {"rich-4k.img", "rich-4k.deleted.tsv", "rich-4k.live.tsv"},
    {"c512.img", "c512.deleted.tsv", "c512.live.tsv"},
    {"c64k.img", "c64k.deleted.tsv", "c64k.live.tsv"},
    {"s4096.img", "s4096.deleted.tsv", "s4096.live.tsv"},
    {"attrlist.img", "attrlist.deleted.tsv", "attrlist.live.tsv"},
    {"real/7-ntfs-undel.dd", "real/7-ntfs-undel.dd.deleted.tsv", "real/7-ntfs-undel.dd.live.tsv"},
    {"real/dissect-ntfs.bin", "real/dissect-ntfs.bin.deleted.tsv", ""},
    {"real/dissect-ntfs-cloud.bin", "real/dissect-ntfs-cloud.bin.deleted.tsv",
     "real/dissect-ntfs-cloud.bin.live.tsv"},
    {"real/gontfs-test.ntfs.dd", "real/gontfs-test.ntfs.dd.deleted.tsv",
     "real/gontfs-test.ntfs.dd.live.tsv"},
    {"real/gontfs-charlie.dd", "real/gontfs-charlie.dd.deleted.tsv",
     "real/gontfs-charlie.dd.live.tsv"},
    {"real/SampleTinyNtfsVolume.partition.dd", "real/SampleTinyNtfsVolume.partition.dd.deleted.tsv",
     "real/SampleTinyNtfsVolume.partition.dd.live.tsv"},
    {"real/vss2003-vol.raw", "real/vss2003-vol.raw.deleted.tsv", ""},
};

void PrintTo(const Image& image, std::ostream* out) {
    *out << image.file;
}

std::string Name(const ::testing::TestParamInfo<Image>& info) {
    std::string n = info.param.file;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

// The Path column a manifest path stands for: "dir1/dir2/f.dat" → "C:\dir1\dir2\".
std::u16string ExpectedPathColumn(char16_t letter, const std::string& manifestPath) {
    std::u16string path{letter, u':', u'\\'};
    const size_t slash = manifestPath.rfind('/');
    if (slash == std::string::npos) return path;
    std::u16string folders = FromUtf8(manifestPath.substr(0, slash + 1));
    for (char16_t& c : folders)
        if (c == u'/') c = u'\\';
    return path + folders;
}

class Volumes : public ::testing::TestWithParam<Image> {};

TEST_P(Volumes, MftCopyEqualsTheSleuthKits) {
    QV_REQUIRE_FIXTURE(image, GetParam().file);
    QV_REQUIRE_FIXTURE(sums, "mft-sha256.tsv");
    std::ifstream in(sums);
    std::string line, file, size, sha;
    bool found = false;
    while (std::getline(in, line)) {
        std::istringstream cols(line);
        std::getline(cols, file, '\t');
        std::getline(cols, size, '\t');
        std::getline(cols, sha, '\t');
        if (file == GetParam().file) {
            found = true;
            break;
        }
    }
    ASSERT_TRUE(found) << "no reference checksum for " << GetParam().file;
    ProgressDialog progress;
    const char16_t letter = DriveTable::Global().Assign(FromUtf8(image));
    ScanSession session(letter, false, progress);
    const auto copy = test::ReadWholeFile(ToUtf8(session.MftCopyPath()));
    EXPECT_EQ(copy.size(), std::stoull(size));
    EXPECT_EQ(test::Sha256Hex(copy), sha);
}

TEST_P(Volumes, ScanListsEveryDeletedFileWithItsNamePathSizeAndContent) {
    QV_REQUIRE_FIXTURE(image, GetParam().file);
    QV_REQUIRE_FIXTURE(manifest, GetParam().manifest);
    test::ScanHarness harness;
    harness.Scan(image);
    ASSERT_NE(harness.context.session, nullptr);
    ScanSession& session = *harness.context.session;
    const char16_t letter = harness.context.driveLetter;

    std::set<uint64_t> expected;
    for (const ManifestRow& row : test::ReadManifest(manifest)) {
        // Records 0-23 are the volume's own and never listed.
        if (row.record < 24) continue;
        expected.insert(row.record);
        SCOPED_TRACE(row.path + " (record " + std::to_string(row.record) + ")");
        const DeletedFileEntry* entry = harness.Find(row.record);
        ASSERT_NE(entry, nullptr) << "not listed";
        std::string stream;
        if (row.IsNamedStream()) {
            stream = row.name.substr(row.name.find(':') + 1);
        } else {
            EXPECT_EQ(entry->size, row.size);
            if (!row.IsOrphan()) {
                EXPECT_EQ(ToUtf8(entry->name), row.name);
                EXPECT_EQ(ToUtf8(entry->path), ToUtf8(ExpectedPathColumn(letter, row.path)));
            }
        }
        EXPECT_EQ(test::ContentSha(session, *entry->record, stream), row.sha256);
    }
    // Nothing else is listed: every row is a file The Sleuth Kit knows as deleted.
    for (const auto& row : harness.list.Rows())
        EXPECT_TRUE(expected.count(row.data->RecordNumber()))
            << "listed but not deleted for The Sleuth Kit: record " << row.data->RecordNumber();
}

// Live files, read through the same record parsing and data copy: compressed, sparse, fragmented
// and attribute-list files that stay intact on the volume.
TEST_P(Volumes, LiveFilesCopyByteExact) {
    if (GetParam().live.empty()) GTEST_SKIP() << "no live-file manifest for this image";
    QV_REQUIRE_FIXTURE(image, GetParam().file);
    QV_REQUIRE_FIXTURE(live, GetParam().live);
    ProgressDialog progress;
    ScanSession session(DriveTable::Global().Assign(FromUtf8(image)), false, progress);
    for (const ManifestRow& row : test::ReadManifest(live)) {
        SCOPED_TRACE(row.path + " (record " + std::to_string(row.record) + ")");
        DeletedFileImages images;  // the same assembly a deleted file gets
        std::vector<uint8_t> base;
        ASSERT_EQ(session.ReadRecord(row.record, base), 0);
        images.SetBaseImage(row.record, base);
        FileRecord probe;
        std::vector<uint8_t> copy = base;
        probe.SetHeader(copy);
        probe.Parse(copy, session.ClusterSize(), &session.Reader());
        for (size_t i = 0; const AttributeListEntry* e = probe.GetAttributeListEntry(i); ++i) {
            std::vector<uint8_t> ext;
            if (e->SegmentRecordNumber() != row.record &&
                session.ReadRecord(e->SegmentRecordNumber(), ext) == 0)
                images.AddExtension(e->SegmentRecordNumber(), ext);
        }
        auto record = images.BuildFileRecord(session.ClusterSize(), &session.Reader());
        ASSERT_NE(record, nullptr);
        const std::string stream =
            row.IsNamedStream() ? row.name.substr(row.name.find(':') + 1) : std::string();
        if (stream.empty()) {
            EXPECT_EQ(record->TotalDataSize(session.ClusterSize()), row.size);
        }
        EXPECT_EQ(test::ContentSha(session, *record, stream), row.sha256);
    }
}

INSTANTIATE_TEST_SUITE_P(Images, Volumes, ::testing::ValuesIn(kImages), Name);

// Windows 10 formatted this one with 2 MiB clusters: the boot sector stores 4096 sectors per
// cluster as 0xF4 (a power), and The Sleuth Kit cannot open it.
TEST(LargeClusters, TwoMebibyteClustersOpenAndTheMftIsCopiedWhole) {
    QV_REQUIRE_FIXTURE(image, "real/ntfssamples-ntfs-2m-vol.raw");
    ProgressDialog progress;
    ScanSession session(DriveTable::Global().Assign(FromUtf8(image)), false, progress);
    EXPECT_EQ(session.ClusterSize(), 2u << 20);
    EXPECT_EQ(session.Reader().WindowSize(), 16u << 20);
    std::vector<uint8_t> image0;
    ASSERT_EQ(session.ReadRecord(0, image0), 0);
    FileRecord mft;
    mft.SetHeader(image0);
    ASSERT_EQ(mft.Parse(image0, session.ClusterSize()), 0);
    EXPECT_EQ(mft.GetName(), u"$MFT");
    EXPECT_EQ(session.RecordCount() * session.RecordSize(),
              mft.TotalDataSize(session.ClusterSize()));
    // The system files are all there, in place.
    for (const auto& [n, name] : std::vector<std::pair<uint64_t, std::u16string>>{
             {2, u"$LogFile"}, {5, u"."}, {6, u"$Bitmap"}, {11, u"$Extend"}}) {
        std::vector<uint8_t> record;
        ASSERT_EQ(session.ReadRecord(n, record), 0);
        FileRecord r;
        r.SetHeader(record);
        r.Parse(record, session.ClusterSize());
        EXPECT_EQ(r.GetName(), name) << n;
    }
}

}  // namespace
}  // namespace qv
