// The progress dialog's bar and Stop, the drive list's letters and disk images, the log's lines.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/DriveList.h"
#include "app/Log.h"
#include "app/ProgressDialog.h"
#include "base/Report.h"
#include "platform/Text.h"
#include "support/FakeFrontEnd.h"
#include "support/Fixtures.h"

namespace qv {
namespace {

TEST(ProgressDialog, TheBarAdvancesOneStepWhenMoreThanATenthOfAllStagesHasPiledUp) {
    // Stages, steps in a stage (-1: no stage begun), the steps taken; the bar's advances and place.
    // A full bar starting again: ProgressWindow.StartsAsDesignedShowsTheWorkersStatusAndBar...
    const std::tuple<int32_t, int64_t, std::vector<uint64_t>, int, int> cases[] = {
        {1, -1, {1'000'000}, 0, 0},      // before any stage: nothing to measure against
        {1, 0, {5}, 0, 0},               // an empty stage
        {1, 1000, {50, 50}, 0, 0},       // 100 is not more than a tenth
        {1, 1000, {50, 50, 50}, 1, 10},  // 150 is
        {3, 300, {90}, 0, 0},            // three stages: a tenth of 900
        {3, 300, {90, 1}, 1, 10},
        {1, 100, {100'000}, 1, 10},  // one huge step advances once
    };
    for (const auto& [stages, total, steps, advances, position] : cases) {
        test::RecordingProgressView view;
        ProgressDialog p(&view);
        p.SetStageCount(stages);
        if (total >= 0) p.SetSteps(total);
        for (uint64_t s : steps)
            p.Step(s);
        EXPECT_EQ(view.steps, advances) << stages << " " << total << " " << steps.size();
        EXPECT_EQ(p.BarPosition(), position);
    }
}

TEST(ProgressDialog, ACloseRequestReachesWhoeverWaitsEarlierOrLater) {
    ProgressDialog p;
    std::thread([&] { p.Close(1); }).join();  // the worker is done before anyone waits
    EXPECT_TRUE(p.IsCloseRequested());
    EXPECT_EQ(p.WaitForClose(), 1);
    ProgressDialog q;
    EXPECT_FALSE(q.WaitForClose(std::chrono::milliseconds(1)));
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        q.Close(2);
    });
    EXPECT_EQ(q.WaitForClose(), 2);
    late.join();
}

TEST(DriveList, LettersFromCInListOrderAndFromCAgainPastZAndAsTyped) {
    std::vector<FoundVolume> volumes;
    for (int i = 0; i < 25; ++i)
        volumes.push_back({u"/dev/sd" + std::u16string(1, char16_t(u'a' + i)), u"V"});
    const auto drives = MakeDriveList(volumes, {Drive{u'Q', u"image", Source{u"/x.img", 512}}});
    ASSERT_EQ(drives.size(), 26u);
    EXPECT_EQ(drives[0].letter, u'C');
    EXPECT_EQ(drives[0].source, Source{u"/dev/sda"});
    EXPECT_EQ(drives[23].letter, u'Z');
    EXPECT_EQ(drives[24].letter, u'C');
    EXPECT_EQ(drives[25].letter, u'D');  // the image keeps its source and label, not its letter
    EXPECT_EQ(drives[25].source, (Source{u"/x.img", 512}));
    EXPECT_EQ(drives[25].label, u"image");
    // A letter as a user types it.
    const std::pair<std::u16string, char16_t> typed[] = {
        {u"E:", u'E'}, {u"e", u'E'},      {u"e:\\", u'E'}, {u"E:/", u'E'},
        {u"", 0},      {u"/dev/sdb1", 0}, {u"E:x", 0},     {u"1:", 0}};
    for (const auto& [text, letter] : typed)
        EXPECT_EQ(ParseDriveLetter(text), letter) << ToUtf8(text);
}

// A disk image partitioned by sfdisk, fixture volumes copied in; empty when sfdisk is missing.
std::string MakeDisk(const std::string& folder, const std::string& name, const std::string& table,
                     const std::vector<std::pair<std::string, uint64_t>>& volumes) {
    const std::string disk = folder + "/" + name;
    std::ofstream(disk, std::ios::binary | std::ios::trunc).close();
    std::filesystem::resize_file(disk, 40 << 20);
    const std::string command = "printf '" + table + "' | sfdisk -q '" + disk + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    std::fstream out(disk, std::ios::binary | std::ios::in | std::ios::out);
    for (const auto& [volume, sector] : volumes) {
        std::ifstream in(volume, std::ios::binary);
        out.seekp(static_cast<std::streamoff>(sector * 512));
        out << in.rdbuf();
    }
    return disk;
}

TEST(DriveList, AWholeDiskOffersEachNtfsPartitionOrSaysItHasNone) {
    QV_REQUIRE_FIXTURE(volume, "c512.img");
    const std::string folder = test::MakeTempDir("disks");
    const std::string two =
        MakeDisk(folder, "two.img",
                 "label: dos\\nunit: sectors\\nstart=2048, size=16384, type=83\\n"
                 "start=18432, size=32768, type=7\\n",
                 {{volume, 18432}});
    const std::string none = MakeDisk(folder, "none.img", "label: dos\\nstart=2048, type=7\\n", {});
    if (two.empty() || none.empty()) GTEST_SKIP() << "sfdisk is not available";
    // A bare volume, and one that cannot be opened, are the window's test
    // (MainWindow.OnlyImagesThatOpenAsNtfsAreListedUnderTheirNamesAndTheOthersAreNamed).
    const std::pair<std::string, Drive> cases[] = {
        {two, {0, u"two.img, partition 2", Source{FromUtf8(two), 18432 * 512, 32768 * 512, 2}}},
        {none, {0, u"none.img", Source{FromUtf8(none)}, true}},
    };
    for (const auto& [image, drive] : cases) {
        SCOPED_TRACE(image);
        const ImageOffer offer = OfferImage(FromUtf8(image));
        ASSERT_EQ(offer.drives.size(), 1u);  // the one NTFS partition, or the disk without one
        EXPECT_EQ(offer.drives[0].label, drive.label);
        EXPECT_EQ(offer.drives[0].source, drive.source);
        EXPECT_EQ(offer.drives[0].noNtfs, drive.noNtfs);
        EXPECT_EQ(offer.refusal, "");
    }
}

TEST(Log, TheEnginesReportsBecomeTimeStampedLines) {
    test::Zone utc("UTC");
    test::MemoryLogPane pane;
    Log& log = Log::Global();
    log.Attach(&pane);
    log.SetClockForTesting([] { return CTime::FromUnix(1204725787); });
    Report(u"Advanced scan is not possible on %s, %u\n", std::u16string(u"C:"), 7u);
    log.Write(u"%d files\n", -1);
    EXPECT_EQ(log.Text(),
              u"2008-03-05 14:03:07  Advanced scan is not possible on C:, 7\n"
              u"2008-03-05 14:03:07  -1 files\n");
    log.Attach(nullptr);
    log.SetClockForTesting(nullptr);
}

}  // namespace
}  // namespace qv
