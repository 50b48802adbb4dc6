// Raw $MFT files taken from Windows systems, read without their volumes: the collection, the
// assembly of attribute-list files and the path climb on real records.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "ntfs/FileRecord.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"
#include "support/Fixtures.h"
#include "support/MemoryDevice.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"
#include "volume/VolumeReader.h"

namespace qv {
namespace {

// An extract on a stand-in volume of 4 KiB clusters (only its boot sector is read), and its files.
struct MftExtracts : ::testing::Test {
    std::unique_ptr<ScanSession> session;
    std::map<uint64_t, DeletedFile> files;
    bool Open(const std::string& path, uint8_t recordByte = 0xF6) {
        auto reader = std::make_unique<VolumeReader>();
        EXPECT_TRUE(reader->Open(std::make_unique<test::MemoryDevice>(
            test::MakeBootSector(512, 8, 4, recordByte, 1 << 20))));
        auto opened = ScanSession::OpenExtract(std::move(reader), FromUtf8(path));
        EXPECT_TRUE(opened) << opened.error().Text();
        if (!opened) return false;
        session = std::move(*opened);
        for (DeletedFile& f : test::FindAll(*session))
            files[f.record] = std::move(f);
        return true;
    }
};

TEST_F(MftExtracts, BusyWindowsMftWithDeletedAttributeListFiles) {
    QV_REQUIRE_FIXTURE(path, "real/extracts/tdungan.MFT");
    ASSERT_TRUE(Open(path));
    // A plain record scan of this $MFT finds 8,899 deleted non-directory records with attributes.
    EXPECT_EQ(files.size(), 8899u);
    for (const uint64_t n : {17934u, 17988u, 22721u, 25920u, 26019u}) {
        SCOPED_TRACE("record " + std::to_string(n));
        ASSERT_TRUE(files.count(n));
        auto loaded = session->LoadFile(n);
        ASSERT_TRUE(loaded) << loaded.error().Text();
        EXPECT_GT((*loaded)->AttributeListCount(), 0u);
        const RunList* content = (*loaded)->UnnamedStream();
        ASSERT_NE(content, nullptr);
        // Each extent once, in VCN order, and together exactly what the file has allocated: an
        // extension record met once per list entry must not repeat its runs.
        uint64_t vcn = 0;
        for (const DataRun& run : content->Runs()) {
            EXPECT_EQ(run.vcn, vcn);
            vcn = run.vcn + run.clusterCount;
        }
        ASSERT_TRUE(content->HasSizes());
        EXPECT_EQ(vcn * 4096, content->AllocatedSize());
        EXPECT_LE(content->DataSize(), content->AllocatedSize());
        EXPECT_EQ(files.at(n).size, content->DataSize());
    }
}

TEST_F(MftExtracts, XpMftWithNamesInManyScripts) {
    QV_REQUIRE_FIXTURE(path, "real/extracts/xw.MFT");
    ASSERT_TRUE(Open(path));
    // 145 deleted non-directory records, of which record 17 (a reserved record) is never listed.
    EXPECT_EQ(files.size(), 144u);
    const auto nonAscii = std::ranges::count_if(files, [](const auto& entry) {
        return std::ranges::any_of(entry.second.name, [](char16_t c) { return c > 0x7F; });
    });
    EXPECT_EQ(nonAscii, 32);
}

TEST_F(MftExtracts, FileWhoseWholeFolderChainWasDeleted) {
    QV_REQUIRE_FIXTURE(path, "real/extracts/dfirntfs-deleted.mft");
    ASSERT_TRUE(Open(path));
    ASSERT_EQ(files.size(), 1u);
    ASSERT_TRUE(files.count(47));
    EXPECT_EQ(files.at(47).name, u"file.txt");
    EXPECT_EQ(files.at(47).folder.Names(), (std::vector<std::u16string>{u"1", u"2", u"3", u"4"}));
    EXPECT_TRUE(files.at(47).rooted);
}

TEST_F(MftExtracts, OrphansAreNotPutIntoAFolderThatTookOverTheirParentsRecord) {
    QV_REQUIRE_FIXTURE(path, "real/extracts/dfirntfs-orphan.mft");
    ASSERT_TRUE(Open(path));
    ASSERT_EQ(files.size(), 4u);
    // Their parent is gone: no complete path through whatever holds its record now.
    for (const auto& [n, f] : files)
        EXPECT_FALSE(f.rooted) << n;
}

TEST_F(MftExtracts, FourKilobyteRecordsWithNineFixupWords) {
    QV_REQUIRE_FIXTURE(path, "real/extracts/dfirntfs-4k-large.mft");
    ASSERT_TRUE(Open(path, 0x01));  // one 4 KiB cluster per record
    EXPECT_EQ(session->RecordSize(), 4096u);
    EXPECT_TRUE(files.empty());
    const std::map<uint64_t, std::u16string> expected = {{0, u"$MFT"},     {1, u"$MFTMirr"},
                                                         {2, u"$LogFile"}, {3, u"$Volume"},
                                                         {5, u"."},        {6, u"$Bitmap"}};
    for (const auto& [n, name] : expected) {
        std::vector<uint8_t> image;
        ASSERT_TRUE(session->ReadRecord(n, image));
        FileRecord r;
        r.SetHeader(image);
        EXPECT_EQ(r.Parse(image, 4096), Parsed::kFine) << "record " << n;
        EXPECT_EQ(r.GetName(), name) << "record " << n;
        EXPECT_FALSE(r.Damaged()) << "record " << n;
    }
}

}  // namespace
}  // namespace qv
