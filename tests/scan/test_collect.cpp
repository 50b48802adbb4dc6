// Which records a scan reports as deleted files, and how each is assembled.
#include <gtest/gtest.h>

#include "app/ProgressDialog.h"
#include "ntfs/FileRecord.h"
#include "scan/ScanSession.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::RecordBuilder;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;

std::vector<uint8_t> Deleted(uint32_t n, const std::u16string& name, uint64_t parent = kRoot) {
    return RecordBuilder()
        .RecordNumber(n)
        .Sequence(2)
        .FileName(parent, name)
        .ResidentData({'x'})
        .Build();
}

struct Collected {
    std::vector<std::unique_ptr<FileRecord>> files;
    std::vector<uint64_t> Numbers() const {
        std::vector<uint64_t> n;
        for (const auto& f : files)
            n.push_back(f->RecordNumber());
        return n;
    }
    const FileRecord* Find(uint64_t n) const {
        for (const auto& f : files)
            if (f->RecordNumber() == n) return f.get();
        return nullptr;
    }
};

Collected Collect(const NtfsBuilder& volume) {
    ProgressDialog progress;
    ScanSession session(volume.Open(), false, progress);
    Collected c;
    EXPECT_EQ(session.FindDeletedFiles(c.files, false, progress), 0);
    return c;
}

TEST(Collect, DeletedFilesOnlyInAscendingRecordOrder) {
    NtfsBuilder volume;
    volume.SetRecord(40, Deleted(40, u"zzz.txt"));
    volume.SetRecord(30, Deleted(30, u"aaa.txt"));
    volume.SetRecord(31, RecordBuilder().InUse().FileName(kRoot, u"live.txt").Build());
    volume.SetRecord(32, RecordBuilder().Directory().FileName(kRoot, u"deleted folder").Build());
    volume.SetRecord(33,
                     RecordBuilder().InUse().Directory().FileName(kRoot, u"live folder").Build());
    auto broken = Deleted(34, u"damaged.txt");
    broken[0] = 'B';  // no FILE signature
    volume.SetRecord(34, broken);
    EXPECT_EQ(Collect(volume).Numbers(), (std::vector<uint64_t>{30, 40}));
}

TEST(Collect, MetadataRecordsAreNeverReportedEvenWhenNotInUse) {
    NtfsBuilder volume;
    volume.SetRecord(17, Deleted(17, u"reserved"));
    volume.SetRecord(23, Deleted(23, u"reserved too"));
    EXPECT_TRUE(Collect(volume).Numbers().empty());
}

TEST(Collect, RecordsWithoutAttributesWereNeverUsedButNamelessOnesWithDataAreFiles) {
    NtfsBuilder volume;
    // Set up by Windows (or mkntfs) and never used: no attribute at all.
    volume.SetRecord(30, RecordBuilder().RecordNumber(30).Build());
    auto zeroOffset = RecordBuilder().RecordNumber(31).Build();
    zeroOffset[0x14] = 0, zeroOffset[0x15] = 0;
    volume.SetRecord(31, zeroOffset);
    // ntfs-3g drops the names of some files it deletes: the data is still there.
    volume.SetRecord(32, RecordBuilder().RecordNumber(32).ResidentData({1, 2, 3}).Build());
    const Collected c = Collect(volume);
    EXPECT_EQ(c.Numbers(), (std::vector<uint64_t>{32}));
    EXPECT_EQ(c.files[0]->GetName(), u"");
    EXPECT_EQ(c.files[0]->TotalDataSize(4096), 3u);
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

    const Collected c = Collect(volume);
    ASSERT_EQ(c.Numbers(), (std::vector<uint64_t>{40}));
    const RunList* content = c.files[0]->UnnamedStream();
    ASSERT_NE(content, nullptr);
    ASSERT_EQ(content->Runs().size(), 2u);
    EXPECT_EQ(content->Runs()[1].firstCluster, b);
    EXPECT_EQ(c.files[0]->TotalDataSize(4096), 5u * 4096);
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
    const Collected found = Collect(volume);
    ASSERT_EQ(found.files.size(), 1u);
    EXPECT_EQ(found.files[0]->UnnamedStream()->ClusterTotal(), 3u);
    EXPECT_EQ(found.files[0]->TotalDataSize(4096), 3u * 4096);
}

TEST(Collect, CopyThatIsNotAWholeNumberOfRecordsEndsAtTheLastWholeOne) {
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
    EXPECT_EQ(Collect(volume).Numbers(), (std::vector<uint64_t>{62}));
}

TEST(Collect, FourKilobyteRecords) {
    NtfsBuilder volume(4096, 4096, 40);
    std::u16string name(120, u'n');
    volume.SetRecord(30, RecordBuilder(4096)
                             .RecordNumber(30)
                             .FileName(kRoot, name)
                             .ResidentData(std::vector<uint8_t>(3000, 7))
                             .Build());
    const Collected c = Collect(volume);
    ASSERT_EQ(c.Numbers(), (std::vector<uint64_t>{30}));
    EXPECT_EQ(c.files[0]->GetName(), name);
    EXPECT_EQ(c.files[0]->TotalDataSize(4096), 3000u);
}

TEST(Collect, StopDuringTheWalkEndsItWithoutError) {
    NtfsBuilder volume;
    for (uint32_t n = 24; n < 64; ++n)
        volume.SetRecord(n, Deleted(n, u"f"));
    ProgressDialog progress;
    ScanSession session(volume.Open(), false, progress);
    progress.Stop();
    std::vector<std::unique_ptr<FileRecord>> files;
    EXPECT_EQ(session.FindDeletedFiles(files, false, progress), 0);
    EXPECT_TRUE(files.empty());
}

}  // namespace
}  // namespace qv
