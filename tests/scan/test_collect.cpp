// Which records a scan reports as deleted files, what it says of each (folder too), how it is
// built.
#include <gtest/gtest.h>

#include <ranges>

#include "app/ProgressDialog.h"
#include "ntfs/FileRecord.h"
#include "platform/Text.h"
#include "scan/ScanSession.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"
#include "support/VolumeImage.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::RecordBuilder;
using test::Ref;
using Names = std::vector<std::u16string>;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;

uint64_t FileTime(int64_t unixSeconds) {
    return static_cast<uint64_t>(unixSeconds + 11644473600) * 10000000;
}

RecordBuilder Named(uint32_t n, const std::u16string& name, uint64_t parent = kRoot) {
    return RecordBuilder().RecordNumber(n).FileName(parent, name);
}

std::vector<uint8_t> Deleted(uint32_t n, const std::u16string& name) {
    return Named(n, name).Sequence(2).ResidentData({'x'}).Build();
}

std::vector<uint64_t> Numbers(const std::vector<DeletedFile>& files) {
    const auto numbers = std::views::transform(files, &DeletedFile::record);
    return {numbers.begin(), numbers.end()};
}

std::vector<DeletedFile> Collect(const NtfsBuilder& volume) {
    auto session = test::OpenSession(volume.Open());
    return session ? test::FindAll(*session) : std::vector<DeletedFile>{};
}

// The content of a volume's one deleted file, record n of the given size, as its record says.
std::unique_ptr<FileRecord> OnlyFile(const NtfsBuilder& volume, uint64_t n, uint64_t size) {
    auto session = test::OpenSession(volume.Open());
    if (!session) return nullptr;
    const std::vector<DeletedFile> files = test::FindAll(*session);
    EXPECT_EQ(Numbers(files), (std::vector<uint64_t>{n}));
    EXPECT_EQ(files.empty() ? 0 : files[0].size, size);
    auto record = session->LoadFile(n);
    EXPECT_TRUE(record) << record.error().Text();
    return record ? std::move(*record) : nullptr;
}

TEST(Collect, DeletedFilesOnlyInAscendingRecordOrderWithWhatTheirRecordsSay) {
    NtfsBuilder volume;
    RecordBuilder zzz;
    zzz.RecordNumber(40).FileName(kRoot, u"zzz.txt", 1, FileTime(1000000000), FileTime(1200000000));
    zzz.ResidentData({1, 2, 3, 4}).ResidentData({'[', 'Z', ']'}, u"Zone.Identifier");
    volume.SetRecord(40, zzz.Build());
    volume.SetRecord(30, Deleted(30, u"aaa.txt"));
    // Live files and folders, and deleted folders, are never listed: the comparisons with The
    // Sleuth Kit's lists of deleted files (tests/integration/test_volumes.cpp) hold that.
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
    // Name, size (the content only), rooted (no name: no folder either), named streams, damaged.
    using Row = std::tuple<std::u16string, uint64_t, bool, bool, bool>;
    const auto row = [](const DeletedFile& f) {
        return Row{f.name, f.size, f.rooted, f.hasNamedStreams, f.damaged};
    };
    EXPECT_EQ(row(files[0]), Row(u"aaa.txt", 1, true, false, false));
    EXPECT_EQ(row(files[1]), Row(u"", 3, false, false, false));
    EXPECT_EQ(row(files[2]), Row(u"zzz.txt", 4, true, true, false));
    EXPECT_FALSE(files[1].created.IsSet());
    EXPECT_EQ(files[2].created.Seconds(), 1000000000);
    EXPECT_EQ(files[2].deleted.Seconds(), 1200000000);  // the name's modification time
}

// A sink hears how many files may come before the first of them, and no fewer than come.
TEST(Collect, TheSinkIsToldBeforehandAtMostHowManyFilesCome) {
    struct Recording final : DeletedFileSink {
        std::vector<std::string> calls;
        size_t taken = 0;
        void Expect(size_t atMost) override { calls.push_back("expect " + std::to_string(atMost)); }
        void Take(std::vector<DeletedFile>&& batch) override {
            calls.push_back("take");
            taken += batch.size();
        }
        void Discard() override { calls.push_back("discard"); }
    };
    NtfsBuilder volume;
    for (uint32_t n = 30; n < 40; ++n)
        volume.SetRecord(n, Deleted(n, u"f" + FromUtf8(std::to_string(n))));
    volume.SetRecord(34, Named(34, u"live.txt").InUse().Build());
    auto session = test::OpenSession(volume.Open());
    ASSERT_TRUE(session);
    ProgressDialog progress;
    Recording sink;
    ASSERT_TRUE(session->FindDeletedFiles(sink, progress));
    ASSERT_EQ(sink.taken, 9u);
    ASSERT_EQ(sink.calls.size(), 2u);
    EXPECT_EQ(sink.calls[1], "take");
    const size_t told = std::stoul(sink.calls[0].substr(sink.calls[0].find(' ') + 1));
    EXPECT_GE(told, sink.taken);
    EXPECT_LE(told, 10u);
}

TEST(Collect, ExtensionRecordsJoinTheirBaseWhereverTheyLie) {
    NtfsBuilder volume;
    const uint64_t a = volume.Allocate(2), b = volume.Allocate(3);
    volume.PutData(a, test::PatternBytes(2 * 4096, 1));
    volume.PutData(b, test::PatternBytes(3 * 4096, 2));
    // The extension (record 25) comes before its base (record 40) in the $MFT.
    RecordBuilder extension = RecordBuilder().RecordNumber(25).BaseReference(40);
    volume.SetRecord(25, extension.NonResidentData({{b, 3}}, 0, u"", 2).Build());
    RecordBuilder base = RecordBuilder().RecordNumber(40).FileName(kRoot, u"split.bin");
    const uint16_t dataId = base.NextId() + 1;  // the list comes first, then the $DATA
    base.ResidentAttributeList(
            {{0x30, 0, 40, 0, u""}, {0x80, 0, 40, dataId, u""}, {0x80, 2, 25, 0, u""}})
        .NonResidentData({{a, 2}}, 5 * 4096);
    volume.SetRecord(40, base.Build());
    // An extension whose base is live is never reported.
    volume.SetRecord(41, RecordBuilder().InUse().FileName(kRoot, u"live.bin").Build());
    volume.SetRecord(26,
                     RecordBuilder().RecordNumber(26).BaseReference(41).ResidentData({9}).Build());

    const auto record = OnlyFile(volume, 40, 5 * 4096);
    ASSERT_NE(record, nullptr);
    const RunList* content = record->UnnamedStream();
    ASSERT_NE(content, nullptr);
    ASSERT_EQ(content->Runs().size(), 2u);
    EXPECT_EQ(content->Runs()[1].firstCluster, b);
}

TEST(Collect, AnExtensionNamedBySeveralEntriesAddsEachAttributeOnce) {
    // Windows lists every attribute of the extension record: the record is met once per entry,
    // and its streams must not repeat (a file five times its size otherwise).
    NtfsBuilder volume;
    const uint64_t a = volume.Allocate(1), b = volume.Allocate(1), c = volume.Allocate(1);
    RecordBuilder ext = RecordBuilder().RecordNumber(30).BaseReference(50);
    const uint16_t first = ext.NextId();
    ext.NonResidentData({{b, 1}}, 0, u"", 1);
    const uint16_t second = ext.NextId();
    ext.NonResidentData({{c, 1}}, 0, u"", 2);
    volume.SetRecord(30, ext.Build());
    RecordBuilder base = RecordBuilder().RecordNumber(50).FileName(kRoot, u"twice.bin");
    const uint16_t dataId = base.NextId() + 1;
    base.ResidentAttributeList(
            {{0x80, 0, 50, dataId, u""}, {0x80, 1, 30, first, u""}, {0x80, 2, 30, second, u""}})
        .NonResidentData({{a, 1}}, 3 * 4096);
    volume.SetRecord(50, base.Build());
    const auto record = OnlyFile(volume, 50, 3 * 4096);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->UnnamedStream()->ClusterTotal(), 3u);
}

TEST(Collect, AnMftThatIsNotAWholeNumberOfRecordsEndsAtTheLastWholeOne) {
    NtfsBuilder volume(4096, 1024, 64);
    volume.SetRecord(63, Deleted(63, u"last.txt"));
    volume.SetRecord(62, Deleted(62, u"before last.txt"));
    // Make the $MFT's size end in the middle of record 63.
    RecordBuilder mft = RecordBuilder().InUse().FileName(kRoot, u"$MFT", 3);
    mft.NonResidentData({{NtfsBuilder::kMftCluster, volume.MftClusters()}}, 63 * 1024 + 500);
    volume.SetRecord(0, mft.Build());
    EXPECT_EQ(Numbers(Collect(volume)), (std::vector<uint64_t>{62}));
}

std::vector<uint8_t> Folder(uint32_t n, uint16_t seq, const std::u16string& name, uint64_t parent,
                            bool inUse = true, uint64_t base = 0) {
    RecordBuilder b = Named(n, name, parent).Sequence(seq).Directory().InUse(inUse);
    return b.BaseReference(base).Build();
}

TEST(FolderOf, WhereTheClimbStopsDecidesThePath) {
    NtfsBuilder volume;
    volume.SetRecord(30, Folder(30, 1, u"A", kRoot));
    volume.SetRecord(31, Folder(31, 3, u"B", Ref(30, 1), /*inUse=*/false));  // freed: seq + 1
    volume.SetRecord(32, Named(32, u"f").InUse().Build());
    volume.SetRecord(33, Folder(33, 1, u"B", Ref(32, 1)));
    volume.SetRecord(34, Folder(34, 1, u"A", Ref(11, 11)));  // below $Extend, not the root
    volume.SetRecord(35, Folder(35, 1, u"B", Ref(34, 1)));
    volume.SetRecord(36, RecordBuilder().RecordNumber(36).InUse().Directory().Build());
    volume.SetRecord(37, Folder(37, 6, u"Somebody else's", kRoot));
    volume.SetRecord(38, Folder(38, 5, u"Old", kRoot, /*inUse=*/false));
    volume.SetRecord(39, Folder(39, 5, u"Reused", kRoot));
    volume.SetRecord(40, Folder(40, 1, u"Ext", kRoot, true, Ref(50, 1)));
    volume.SetRecord(41, Folder(41, 1, u"A", Ref(42, 1)));
    volume.SetRecord(42, Folder(42, 1, u"B", Ref(41, 1)));
    volume.SetRecord(43, Folder(43, 1, u"a\\b", kRoot));
    volume.SetRecord(44, Folder(44, 1, u"B", Ref(5000, 1)));
    // The parent; the names climbed, whether they reach the root, FolderOf's error (kOk: none).
    const std::tuple<const char*, uint64_t, Names, bool, int32_t> cases[] = {
        {"the root", kRoot, {}, true, kOk},
        {"live and deleted folders", Ref(31, 2), {u"A", u"B"}, true, kOk},
        {"the parent is no folder", Ref(32, 1), {}, false, kOk},
        {"a folder above is no folder", Ref(33, 1), {u"B"}, false, kOk},
        {"a metadata folder above", Ref(35, 1), {u"A", u"B"}, false, kOk},
        {"a folder without a name", Ref(36, 1), {u""}, false, kOk},
        {"the record holds another folder now", Ref(37, 4), {}, false, kOk},
        {"freed after the file", Ref(38, 4), {u"Old"}, true, kOk},
        {"freed after the file and in use again", Ref(39, 4), {}, false, kOk},
        {"an extension record", Ref(40, 1), {}, false, kOk},
        {"a loop through reused records", Ref(41, 1), {u"B", u"A"}, false, kOk},
        {"a backslash is part of a name", Ref(43, 1), {u"a\\b"}, true, kOk},
        {"a parent past the $MFT", Ref(44, 1), {u"B"}, false, kErrRead},
        {"a parent number past 2^32", Ref((uint64_t{1} << 33) + 5, 1), {}, false, kErrRead},
    };
    auto session = test::OpenSession(volume.Open());
    ASSERT_NE(session, nullptr);
    for (const auto& [what, parent, names, rooted, code] : cases) {
        SCOPED_TRACE(what);
        FolderPath folder;
        bool reached = !rooted;
        const Status climbed = session->FolderOf(parent, &folder, &reached);
        EXPECT_EQ(folder.Names(), names);
        EXPECT_EQ(reached, rooted);
        EXPECT_EQ(climbed ? kOk : climbed.error().code, code);
    }
}

TEST(FolderOf, AThousandFoldersDeepIsCutWithoutExhaustingTheStack) {
    NtfsBuilder volume(4096, 1024, 1200, 2048);
    for (uint32_t n = 30; n < 1130; ++n)
        volume.SetRecord(n, Folder(n, 1, u"d", n == 30 ? kRoot : Ref(n - 1, 1)));
    auto session = test::OpenSession(volume.Open());
    ASSERT_NE(session, nullptr);
    FolderPath folder;
    bool rooted = true;
    EXPECT_TRUE(session->FolderOf(Ref(1129, 1), &folder, &rooted));
    EXPECT_EQ(folder.Names(), Names(1024, u"d"));  // the lowest 1024 of 1100 levels
    EXPECT_FALSE(rooted);
}

}  // namespace
}  // namespace qv
