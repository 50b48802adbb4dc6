// Whether a destination can land on the device being scanned: device numbers, sysfs's partitions
// and mountinfo's sources, on a made-up sysfs and mountinfo. A real device and mount of it are the
// terminal program's test (tests/cli/cli-tests.sh, "A destination on the device being scanned").
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>

#include "platform/SameVolume.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A sysfs: disk sda (8:0) with partitions sda1 (8:1) and sda2 (8:2); disk sdb (8:16) without.
struct FakeSysfs : ::testing::Test {
    fs::path root;
    DeviceLayout layout;
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "qvsysfs-XXXXXX";
        root = ::mkdtemp(pattern.data());
        const fs::path sda = Device(root / "devices/block/sda", "8:0", false);
        Device(sda / "sda1", "8:1", true);
        Device(sda / "sda2", "8:2", true);
        Device(root / "devices/block/sdb", "8:16", false);
        layout.sysfs = root.string();
        layout.mountInfo = (root / "mountinfo").string();
        std::ofstream(layout.mountInfo) << "";
    }
    void TearDown() override { fs::remove_all(root); }
    // A disk's or partition's folder with its number, linked from dev/block as sysfs does.
    fs::path Device(const fs::path& folder, const std::string& number, bool partition) {
        fs::create_directories(folder);
        std::ofstream(folder / "dev") << number << "\n";
        if (partition) std::ofstream(folder / "partition") << "1\n";
        fs::create_directories(root / "dev" / "block");
        fs::create_symlink(folder, root / "dev" / "block" / number);
        return folder;
    }
};

TEST_F(FakeSysfs, APartitionAndItsWholeDiskOverlapTwoPartitionsDoNot) {
    const dev_t sda = makedev(8, 0), sda1 = makedev(8, 1), sda2 = makedev(8, 2),
                sdb = makedev(8, 16), other = makedev(9, 0);
    const std::tuple<dev_t, dev_t, bool> cases[] = {
        // source, destination, whether they overlap
        {sda1, sda1, true},    // the very partition
        {sda, sda1, true},     // a whole disk and one of its partitions
        {sda1, sda, true},     // a partition of the disk the destination is on
        {sda1, sda2, false},   // another partition of the same disk
        {sdb, sda1, false},    // another disk
        {other, other, true},  // unknown to sysfs, but the same number
        {other, sdb, false},
    };
    for (const auto& [source, destination, overlap] : cases)
        EXPECT_EQ(DevicesOverlap(source, {destination}, layout), overlap)
            << source << " -> " << destination;
}

TEST_F(FakeSysfs, AFuseMountCountsTheBlockDeviceItNames) {
    // ntfs-3g mounts are "fuseblk": their st_dev is FUSE's own, the source names the device.
    const std::string folder = root.string();
    struct stat st {};
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    struct stat loop {};
    if (::stat("/dev/loop0", &loop) != 0 || !S_ISBLK(loop.st_mode))
        GTEST_SKIP() << "no /dev/loop0 to name as a mount's source";
    std::ofstream(layout.mountInfo)
        << "36 35 98:0 / /elsewhere rw - ext4 /dev/elsewhere rw\n"
        << "44 26 " << major(st.st_dev) << ":" << minor(st.st_dev) << " / " << folder
        << " rw,relatime - fuseblk /dev/loop0 rw,user_id=0\n";
    EXPECT_EQ(DevicesBehind(folder + "/not/made/yet", layout),
              (std::vector<dev_t>{st.st_dev, loop.st_rdev}));
}

}  // namespace
}  // namespace qv
