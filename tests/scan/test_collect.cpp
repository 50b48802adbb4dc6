// Which records a scan reports as deleted files, what it says of each, and how each is assembled.
#include <gtest/gtest.h>

#include "app/ProgressDialog.h"
#include "ntfs/FileRecord.h"
#include "scan/ScanSession.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::RecordBuilder;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;

uint64_t FileTime(int64_t unixSeconds) {
    return static_cast<uint64_t>(unixSeconds + 11644473600) * 10000000;
}

std::vector<uint8_t> Deleted(uint32_t n, const std::u16string& name) {
    return RecordBuilder()
        .RecordNumber(n)
        .Sequence(2)
        .FileName(kRoot, name)
        .ResidentData({'x'})
        .Build();
}

std::vector<uint64_t> Numbers(const std::vector<DeletedFile>& files) {
    std::vector<uint64_t> numbers;
    for (const DeletedFile& f : files)
        numbers.push_back(f.record);
    return numbers;
}

std::vector<DeletedFile> Collect(const NtfsBuilder& volume) {
    auto session = test::OpenSession(volume.Open());
    return session ? test::FindAll(*session) : std::vector<DeletedFile>{};
}

TEST(Collect, DeletedFilesOnlyInAscendingRecordOrderWithWhatTheirRecordsSay) {
    NtfsBuilder volume;
    volume.SetRecord(40,
                     RecordBuilder()
                         .RecordNumber(40)
                         .FileName(kRoot, u"zzz.txt", 1, FileTime(1000000000), FileTime(1200000000))
                         .ResidentData({1, 2, 3, 4})
                         .ResidentData({'[', 'Z', ']'}, u"Zone.Identifier")
                         .Build());
    volume.SetRecord(30, Deleted(30, u"aaa.txt"));
    volume.SetRecord(31, RecordBuilder().InUse().FileName(kRoot, u"live.txt").Build());
    volume.SetRecord(32, RecordBuilder().Directory().FileName(kRoot, u"deleted folder").Build());
    volume.SetRecord(33,
                     RecordBuilder().InUse().Directory().FileName(kRoot, u"live folder").Build());
    auto broken = Deleted(34, u"damaged.txt");
    broken[0] = 'B';  // no FILE signature
    volume.SetRecord(34, broken);
    // The volume's own records are never reported, even when not in use.
    volume.SetRecord(17, Deleted(17, u"reserved"));
    volume.SetRecord(23, Deleted(23, u"reserved too"));
    // Set up by Windows (or mkntfs) and never used: no attribute at all.
    volume.SetRecord(35, RecordBuilder().RecordNumber(35).Build());
    auto zeroOffset = RecordBuilder().RecordNumber(36).Build();
    zeroOffset[0x14] = 0, zeroOffset[0x15] = 0;
    volume.SetRecord(36, zeroOffset);
    // ntfs-3g drops the names of some files it deletes: the data is still there.
    volume.SetRecord(37, RecordBuilder().RecordNumber(37).ResidentData({1, 2, 3}).Build());

    const std::vector<DeletedFile> files = Collect(volume);
    ASSERT_EQ(Numbers(files), (std::vector<uint64_t>{30, 37, 40}));
    EXPECT_EQ(files[0].name, u"aaa.txt");
    EXPECT_TRUE(files[0].rooted);
    EXPECT_FALSE(files[0].hasNamedStreams);
    EXPECT_EQ(files[1].name, u"");
    EXPECT_EQ(files[1].size, 3u);
    EXPECT_FALSE(files[1].rooted);  // no name, so no folder either
    EXPECT_FALSE(files[1].created.IsSet());
    EXPECT_EQ(files[2].size, 4u);  // the content only
    EXPECT_TRUE(files[2].hasNamedStreams);
    EXPECT_EQ(files[2].created.Seconds(), 1000000000);
    EXPECT_EQ(files[2].deleted.Seconds(), 1200000000);  // the name's modification time
    for (const DeletedFile& f : files)
        EXPECT_FALSE(f.damaged) << f.record;
}

TEST(Collect, ExtensionRecordsJoinTheirBaseWhereverTheyLie) {
    NtfsBuilder volume;
    const uint64_t a = volume.Allocate(2), b = volume.Allocate(3);
    volume.PutData(a, test::PatternBytes(2 * 4096, 1));
    volume.PutData(b, test::PatternBytes(3 * 4096, 2));
    // The extension (record 25) comes before its base (record 40) in the $MFT.
    volume.SetRecord(25, RecordBuilder()
                             .RecordNumber(25)
                             .BaseReference(40)
                             .NonResidentData({{b, 3}}, 0, u"", 2)
                             .Build());
    RecordBuilder base;
    base.RecordNumber(40).FileName(kRoot, u"split.bin");
    const uint16_t dataId = base.NextId() + 1;  // the list comes first, then the $DATA
    base.ResidentAttributeList(
            {{0x30, 0, 40, 0, u""}, {0x80, 0, 40, dataId, u""}, {0x80, 2, 25, 0, u""}})
        .NonResidentData({{a, 2}}, 5 * 4096);
    volume.SetRecord(40, base.Build());
    // An extension whose base is live is never reported.
    volume.SetRecord(41, RecordBuilder().InUse().FileName(kRoot, u"live.bin").Build());
    volume.SetRecord(26,
                     RecordBuilder().RecordNumber(26).BaseReference(41).ResidentData({9}).Build());

    auto session = test::OpenSession(volume.Open());
    ASSERT_NE(session, nullptr);
    const std::vector<DeletedFile> files = test::FindAll(*session);
    ASSERT_EQ(Numbers(files), (std::vector<uint64_t>{40}));
    EXPECT_EQ(files[0].size, 5u * 4096);
    auto record = session->LoadFile(40);
    ASSERT_TRUE(record) << record.error().Text();
    const RunList* content = (*record)->UnnamedStream();
    ASSERT_NE(content, nullptr);
    ASSERT_EQ(content->Runs().size(), 2u);
    EXPECT_EQ(content->Runs()[1].firstCluster, b);
}

TEST(Collect, AnExtensionNamedBySeveralEntriesAddsEachAttributeOnce) {
    // Windows lists every attribute of the extension record: the record is met once per entry,
    // and its streams must not repeat (a file five times its size otherwise).
    NtfsBuilder volume;
    const uint64_t a = volume.Allocate(1), b = volume.Allocate(1), c = volume.Allocate(1);
    RecordBuilder ext;
    ext.RecordNumber(30).BaseReference(50);
    const uint16_t first = ext.NextId();
    ext.NonResidentData({{b, 1}}, 0, u"", 1);
    const uint16_t second = ext.NextId();
    ext.NonResidentData({{c, 1}}, 0, u"", 2);
    volume.SetRecord(30, ext.Build());
    RecordBuilder base;
    base.RecordNumber(50).FileName(kRoot, u"twice.bin");
    const uint16_t dataId = base.NextId() + 1;
    base.ResidentAttributeList(
            {{0x80, 0, 50, dataId, u""}, {0x80, 1, 30, first, u""}, {0x80, 2, 30, second, u""}})
        .NonResidentData({{a, 1}}, 3 * 4096);
    volume.SetRecord(50, base.Build());
    auto session = test::OpenSession(volume.Open());
    ASSERT_NE(session, nullptr);
    const std::vector<DeletedFile> files = test::FindAll(*session);
    ASSERT_EQ(Numbers(files), (std::vector<uint64_t>{50}));
    EXPECT_EQ(files[0].size, 3u * 4096);
    auto record = session->LoadFile(50);
    ASSERT_TRUE(record) << record.error().Text();
    EXPECT_EQ((*record)->UnnamedStream()->ClusterTotal(), 3u);
}

TEST(Collect, AnMftThatIsNotAWholeNumberOfRecordsEndsAtTheLastWholeOne) {
    NtfsBuilder volume(4096, 1024, 64);
    volume.SetRecord(63, Deleted(63, u"last.txt"));
    volume.SetRecord(62, Deleted(62, u"before last.txt"));
    // Make the $MFT's size end in the middle of record 63.
    volume.SetRecord(
        0, RecordBuilder()
               .InUse()
               .FileName(kRoot, u"$MFT", 3)
               .NonResidentData({{NtfsBuilder::kMftCluster, volume.MftClusters()}}, 63 * 1024 + 500)
               .Build());
    EXPECT_EQ(Numbers(Collect(volume)), (std::vector<uint64_t>{62}));
}

TEST(Collect, FourKilobyteRecords) {
    NtfsBuilder volume(4096, 4096, 40);
    const std::u16string name(120, u'n');
    volume.SetRecord(30, RecordBuilder(4096)
                             .RecordNumber(30)
                             .FileName(kRoot, name)
                             .ResidentData(std::vector<uint8_t>(3000, 7))
                             .Build());
    const std::vector<DeletedFile> files = Collect(volume);
    ASSERT_EQ(Numbers(files), (std::vector<uint64_t>{30}));
    EXPECT_EQ(files[0].name, name);
    EXPECT_EQ(files[0].size, 3000u);
}

TEST(Collect, StopDuringTheWalkEndsItWithoutErrorAndDeliversNothing) {
    NtfsBuilder volume;
    for (uint32_t n = 24; n < 64; ++n)
        volume.SetRecord(n, Deleted(n, u"f"));
    auto session = test::OpenSession(volume.Open());
    ASSERT_NE(session, nullptr);
    ProgressDialog progress;
    progress.Stop();
    DeletedFileList list;
    EXPECT_TRUE(session->FindDeletedFiles(list, progress));
    EXPECT_TRUE(list.files.empty());
}

}  // namespace
}  // namespace qv
