// The folder path of a deleted file, climbed through its parents.
#include <gtest/gtest.h>

#include "app/ErrorCodes.h"
#include "app/ProgressDialog.h"
#include "ntfs/FileRecord.h"
#include "scan/ScanSession.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::RecordBuilder;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;

uint64_t Ref(uint64_t record, uint16_t sequence) {
    return record | (uint64_t{sequence} << 48);
}

std::vector<uint8_t> Folder(uint32_t n, uint16_t seq, const std::u16string& name, uint64_t parent,
                            bool inUse = true) {
    RecordBuilder b;
    b.RecordNumber(n).Sequence(seq).Directory().FileName(parent, name);
    if (inUse) b.InUse();
    return b.Build();
}

// Scans the volume and climbs from record n's name: the path, and BuildPath's result.
std::u16string PathOfRecord(const NtfsBuilder& volume, uint64_t n, int* result = nullptr) {
    ProgressDialog progress;
    ScanSession session(volume.Open(u'X'), false, progress);
    std::vector<uint8_t> image;
    EXPECT_EQ(session.ReadRecord(n, image), 0);
    FileRecord file;
    file.SetHeader(image);
    file.Parse(image, 4096);
    std::u16string path;
    const int r = session.BuildPath(file, path);
    if (result) *result = r;
    return path;
}

struct PathTest : ::testing::Test {
    NtfsBuilder volume;

    // The path of a file whose name points at parent.
    std::u16string PathOf(uint64_t parent, int* result = nullptr) {
        volume.SetRecord(60,
                         RecordBuilder().RecordNumber(60).FileName(parent, u"file.txt").Build());
        return PathOfRecord(volume, 60, result);
    }
};

TEST_F(PathTest, RootAndNestedFoldersLiveOrDeleted) {
    EXPECT_EQ(PathOf(kRoot), u"X:\\");
    volume.SetRecord(30, Folder(30, 1, u"A", kRoot));
    volume.SetRecord(31, Folder(31, 3, u"B", Ref(30, 1), /*inUse=*/false));  // deleted: seq + 1
    EXPECT_EQ(PathOf(Ref(31, 2)), u"X:\\A\\B\\");
}

TEST_F(PathTest, WhereTheClimbStopsDecidesThePartialPath) {
    volume.SetRecord(30, Folder(30, 1, u"A", kRoot));
    volume.SetRecord(31, Folder(31, 1, u"B", Ref(30, 1)));
    // B's record is no longer a folder.
    volume.SetRecord(
        32, RecordBuilder().RecordNumber(32).InUse().FileName(kRoot, u"not a folder").Build());
    EXPECT_EQ(PathOf(Ref(32, 1)), u"");
    // A's record is no longer a folder.
    volume.SetRecord(33,
                     RecordBuilder().RecordNumber(33).InUse().FileName(kRoot, u"plain").Build());
    volume.SetRecord(34, Folder(34, 1, u"B", Ref(33, 1)));
    EXPECT_EQ(PathOf(Ref(34, 1)), u"B\\");
    // A's parent is a metadata record other than the root ($Extend, say).
    volume.SetRecord(35, Folder(35, 1, u"A", Ref(11, 11)));
    volume.SetRecord(36, Folder(36, 1, u"B", Ref(35, 1)));
    EXPECT_EQ(PathOf(Ref(36, 1)), u"A\\B\\");
    // B has no name: nothing above it is known.
    volume.SetRecord(37, RecordBuilder().RecordNumber(37).InUse().Directory().Build());
    EXPECT_EQ(PathOf(Ref(37, 1)), u"\\");
}

TEST_F(PathTest, ParentBeyondTheCopyStopsWithItsCode) {
    volume.SetRecord(30, Folder(30, 1, u"B", Ref(5000, 1)));
    int result = 0;
    EXPECT_EQ(PathOf(Ref(30, 1), &result), u"B\\");
    EXPECT_EQ(result, kErrRead);
    // Record numbers are 48-bit: a parent far above 2^32 is a record like any other.
    EXPECT_EQ(PathOf(Ref((uint64_t{1} << 33) + 5, 1), &result), u"");
    EXPECT_EQ(result, kErrRead);
}

TEST_F(PathTest, ReusedParentIsNotTheFilesFolder) {
    // The file was in folder 30 with sequence 4; record 30 now holds another folder (sequence 6).
    volume.SetRecord(30, Folder(30, 6, u"Somebody else's folder", kRoot));
    EXPECT_EQ(PathOf(Ref(30, 4)), u"");
    // Sequence 5 with the folder deleted: the folder was freed after the file, it is still it.
    volume.SetRecord(31, Folder(31, 5, u"Old", kRoot, /*inUse=*/false));
    EXPECT_EQ(PathOf(Ref(31, 4)), u"X:\\Old\\");
    // Sequence 5 but in use again: reused.
    volume.SetRecord(32, Folder(32, 5, u"Reused", kRoot, /*inUse=*/true));
    EXPECT_EQ(PathOf(Ref(32, 4)), u"");
}

TEST_F(PathTest, ExtensionRecordsAreNotClimbed) {
    auto ext = Folder(30, 1, u"Ext", kRoot);
    ext[0x20] = 40;  // an extension record of record 40
    volume.SetRecord(30, ext);
    EXPECT_EQ(PathOf(Ref(30, 1)), u"");
}

TEST_F(PathTest, LoopsThroughReusedRecordsEndTheClimb) {
    volume.SetRecord(30, Folder(30, 1, u"A", Ref(31, 1)));
    volume.SetRecord(31, Folder(31, 1, u"B", Ref(30, 1)));
    EXPECT_EQ(PathOf(Ref(30, 1)), u"B\\A\\");
}

TEST(PathDepth, AThousandFoldersDeepIsCutWithoutExhaustingTheStack) {
    NtfsBuilder volume(4096, 1024, 1200, 2048);
    for (uint32_t n = 30; n < 1130; ++n)
        volume.SetRecord(n, Folder(n, 1, u"d", Ref(n == 30 ? 5 : n - 1, n == 30 ? 5 : 1)));
    volume.SetRecord(
        1150, RecordBuilder().RecordNumber(1150).FileName(Ref(1129, 1), u"deep.txt").Build());
    int result = -1;
    const std::u16string path = PathOfRecord(volume, 1150, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(path.size(), 1024u * 2);  // 1024 levels of "d\", no drive root
    EXPECT_EQ(path.substr(0, 2), u"d\\");
}

TEST(PathNoName, FileWithoutANameHasNoPath) {
    NtfsBuilder volume;
    ProgressDialog progress;
    ScanSession session(volume.Open(), false, progress);
    FileRecord nameless;
    std::u16string path = u"unchanged";
    EXPECT_EQ(session.BuildPath(nameless, path), -1);
    EXPECT_EQ(path, u"unchanged");
}

}  // namespace
}  // namespace qv
