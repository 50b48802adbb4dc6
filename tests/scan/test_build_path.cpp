// The folder path of a deleted file, climbed through its parents' records.
#include <gtest/gtest.h>

#include "scan/ScanSession.h"
#include "support/NtfsBuilder.h"
#include "support/RecordBuilder.h"
#include "support/ScanHarness.h"

namespace qv {
namespace {

using test::NtfsBuilder;
using test::RecordBuilder;
using Names = std::vector<std::u16string>;

constexpr uint64_t kRoot = NtfsBuilder::kRootReference;

using test::Ref;

std::vector<uint8_t> Folder(uint32_t n, uint16_t seq, const std::u16string& name, uint64_t parent,
                            bool inUse = true) {
    RecordBuilder b;
    b.RecordNumber(n).Sequence(seq).Directory().InUse(inUse).FileName(parent, name);
    return b.Build();
}

TEST(FolderOf, WhereTheClimbStopsDecidesThePath) {
    NtfsBuilder volume;
    volume.SetRecord(30, Folder(30, 1, u"A", kRoot));
    volume.SetRecord(31, Folder(31, 3, u"B", Ref(30, 1), /*inUse=*/false));  // freed: seq + 1
    volume.SetRecord(32, RecordBuilder().RecordNumber(32).InUse().FileName(kRoot, u"f").Build());
    volume.SetRecord(33, Folder(33, 1, u"B", Ref(32, 1)));
    volume.SetRecord(34, Folder(34, 1, u"A", Ref(11, 11)));  // below $Extend, not the root
    volume.SetRecord(35, Folder(35, 1, u"B", Ref(34, 1)));
    volume.SetRecord(36, RecordBuilder().RecordNumber(36).InUse().Directory().Build());
    volume.SetRecord(37, Folder(37, 6, u"Somebody else's", kRoot));
    volume.SetRecord(38, Folder(38, 5, u"Old", kRoot, /*inUse=*/false));
    volume.SetRecord(39, Folder(39, 5, u"Reused", kRoot));
    volume.SetRecord(40, RecordBuilder()
                             .RecordNumber(40)
                             .InUse()
                             .Directory()
                             .BaseReference(Ref(50, 1))
                             .FileName(kRoot, u"Ext")
                             .Build());
    volume.SetRecord(41, Folder(41, 1, u"A", Ref(42, 1)));
    volume.SetRecord(42, Folder(42, 1, u"B", Ref(41, 1)));
    volume.SetRecord(43, Folder(43, 1, u"a\\b", kRoot));
    volume.SetRecord(44, Folder(44, 1, u"B", Ref(5000, 1)));
    const struct {
        const char* what;
        uint64_t parent;
        Names names;
        bool rooted;
        int32_t code;  // FolderOf's error, kOk for none
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FolderPath folder;
        bool rooted = !c.rooted;
        const Status climbed = session->FolderOf(c.parent, &folder, &rooted);
        EXPECT_EQ(folder.Names(), c.names);
        EXPECT_EQ(rooted, c.rooted);
        EXPECT_EQ(climbed ? kOk : climbed.error().code, c.code);
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
