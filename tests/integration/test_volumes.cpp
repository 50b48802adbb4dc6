// Whole scans of real NTFS images (ours, made by ntfs-3g, and Windows-made ones) checked against
// The Sleuth Kit's view of the same images.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "app/FileTexts.h"
#include "app/ProgressDialog.h"
#include "ntfs/FileRecord.h"
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

// A manifest beside its image: "<image>.<kind>.tsv", without ".img" for the images made here.
std::string Manifest(const std::string& f, const char* kind) {
    return (f.ends_with(".img") ? f.substr(0, f.size() - 4) : f) + "." + kind + ".tsv";
}

// The path text a manifest path stands for: "dir1/dir2/f.dat" → "C:\dir1\dir2\".
std::string ExpectedPathText(const std::string& manifestPath) {
    // The folders up to the last '/', or none when there is no '/' (npos + 1 is 0).
    std::string path = "C:\\" + manifestPath.substr(0, manifestPath.rfind('/') + 1);
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::unique_ptr<ScanSession> OpenImage(const std::string& image) {
    ProgressDialog progress;
    auto session = ScanSession::Open(Source{FromUtf8(image)}, ScanOptions{false, u"C:"}, progress);
    EXPECT_TRUE(session) << session.error().Text();
    return session ? std::move(*session) : nullptr;
}

std::string StreamOf(const ManifestRow& row) {
    return row.IsNamedStream() ? row.name.substr(row.name.find(':') + 1) : std::string();
}

class Volumes : public ::testing::TestWithParam<std::string> {};

// The records the scan reads, one after the other, are the $MFT as The Sleuth Kit reads it.
TEST_P(Volumes, RecordsReadEqualTheSleuthKitsMft) {
    QV_REQUIRE_FIXTURE(image, GetParam());
    QV_REQUIRE_FIXTURE(sums, "mft-sha256.tsv");
    std::ifstream in(sums);  // lines of: image, size, SHA-256
    std::string file, size, sha;
    while (in >> file >> size >> sha && file != GetParam())
        continue;
    ASSERT_EQ(file, GetParam()) << "no reference checksum";
    auto session = OpenImage(image);
    ASSERT_NE(session, nullptr);
    std::vector<uint8_t> all, record;
    for (uint64_t n = 0; n < session->RecordCount(); ++n) {
        ASSERT_TRUE(session->ReadRecord(n, record)) << "record " << n;
        all.insert(all.end(), record.begin(), record.end());
    }
    EXPECT_EQ(all.size(), std::stoull(size));
    EXPECT_EQ(test::Sha256Hex(all), sha);
}

TEST_P(Volumes, ScanListsEveryDeletedFileWithItsNamePathSizeAndContent) {
    QV_REQUIRE_FIXTURE(image, GetParam());
    QV_REQUIRE_FIXTURE(manifest, Manifest(GetParam(), "deleted"));
    test::ScanHarness harness;
    harness.Scan(image);
    ASSERT_NE(harness.context.session, nullptr);
    ScanSession& session = *harness.context.session;

    std::set<uint64_t> expected;
    for (const ManifestRow& row : test::ReadManifest(manifest)) {
        // Records 0-23 are the volume's own and never listed.
        if (row.record < 24) continue;
        expected.insert(row.record);
        SCOPED_TRACE(row.path + " (record " + std::to_string(row.record) + ")");
        const DeletedFile* file = harness.Find(row.record);
        ASSERT_NE(file, nullptr) << "not listed";
        if (!row.IsNamedStream()) {
            EXPECT_EQ(file->size, row.size);
            if (!row.IsOrphan()) {
                EXPECT_EQ(ToUtf8(file->name), row.name);
                EXPECT_EQ(ToUtf8(PathText(*file, u'C')), ExpectedPathText(row.path));
            }
        } else {
            EXPECT_TRUE(file->hasNamedStreams);
        }
        auto record = session.LoadFile(row.record);
        ASSERT_TRUE(record) << record.error().Text();
        EXPECT_EQ(test::ContentSha(session, **record, StreamOf(row)), row.sha256);
    }
    // Nothing else is listed: every file is one The Sleuth Kit knows as deleted.
    for (const DeletedFile& f : harness.list.files)
        EXPECT_TRUE(expected.count(f.record))
            << "listed but not deleted for The Sleuth Kit: record " << f.record;
}

// Live files (compressed, sparse, fragmented, attribute lists) through the same parsing and copy.
TEST_P(Volumes, LiveFilesCopyByteExact) {
    QV_REQUIRE_FIXTURE(image, GetParam());
    QV_REQUIRE_FIXTURE(live, Manifest(GetParam(), "live"));  // not every image has one
    auto session = OpenImage(image);
    ASSERT_NE(session, nullptr);
    const uint32_t cs = session->ClusterSize();
    for (const ManifestRow& row : test::ReadManifest(live)) {
        SCOPED_TRACE(row.path + " (record " + std::to_string(row.record) + ")");
        DeletedFileImages images;  // the same assembly a deleted file gets: base, then its list's
        std::vector<uint8_t> base;
        ASSERT_TRUE(session->ReadRecord(row.record, base));
        ASSERT_TRUE(images.SetBaseImage(row.record, base));
        auto record = images.BuildFileRecord(cs, &session->Reader());
        ASSERT_NE(record, nullptr);
        for (size_t i = 0; const AttributeListEntry* e = record->GetAttributeListEntry(i); ++i) {
            std::vector<uint8_t> ext;
            if (e->SegmentRecordNumber() != row.record &&
                session->ReadRecord(e->SegmentRecordNumber(), ext)) {
                ASSERT_TRUE(images.AddExtension(e->SegmentRecordNumber(), ext));
            }
        }
        record = images.BuildFileRecord(cs, &session->Reader());
        ASSERT_NE(record, nullptr);
        if (!row.IsNamedStream()) {
            EXPECT_EQ(record->TotalDataSize(cs), row.size);
        }
        EXPECT_EQ(test::ContentSha(*session, *record, StreamOf(row)), row.sha256);
    }
}

// Images relative to the fixture folder: ours, then Windows-made ones.
INSTANTIATE_TEST_SUITE_P(Images, Volumes,
                         ::testing::Values("rich-4k.img", "c512.img", "c64k.img", "s4096.img",
                                           "attrlist.img", "real/7-ntfs-undel.dd",
                                           "real/dissect-ntfs.bin", "real/dissect-ntfs-cloud.bin",
                                           "real/gontfs-test.ntfs.dd", "real/gontfs-charlie.dd",
                                           "real/SampleTinyNtfsVolume.partition.dd",
                                           "real/vss2003-vol.raw"),
                         [](const auto& p) { return test::ParamName(p.param); });

// Windows 10 formatted this one with 2 MiB clusters: the boot sector stores 4096 sectors per
// cluster as 0xF4 (a power), and The Sleuth Kit cannot open it.
TEST(LargeClusters, TwoMebibyteClustersOpenAndTheMftIsReadWhole) {
    QV_REQUIRE_FIXTURE(image, "real/ntfssamples-ntfs-2m-vol.raw");
    auto session = OpenImage(image);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(session->ClusterSize(), 2u << 20);
    EXPECT_EQ(session->Reader().WindowSize(), 16u << 20);
    const auto parse = [&](uint64_t n) {
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(session->ReadRecord(n, bytes)) << n;
        auto r = std::make_unique<FileRecord>();
        r->SetHeader(bytes);
        EXPECT_EQ(r->Parse(bytes, session->ClusterSize()), Parsed::kFine) << n;
        return r;
    };
    EXPECT_EQ(session->RecordCount() * session->RecordSize(),
              parse(0)->TotalDataSize(session->ClusterSize()));
    // The system files are all there, in place.
    for (const auto& [n, name] : std::vector<std::pair<uint64_t, std::u16string>>{
             {0, u"$MFT"}, {2, u"$LogFile"}, {5, u"."}, {6, u"$Bitmap"}, {11, u"$Extend"}})
        EXPECT_EQ(parse(n)->GetName(), name) << n;
}

}  // namespace
}  // namespace qv
