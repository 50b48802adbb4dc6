#include "platform/SameVolume.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "platform/Text.h"

namespace qv {

namespace {

std::string DeviceName(dev_t device) {
    return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

bool ParseDevice(const std::string& text, dev_t& device) {
    unsigned maj = 0, min = 0;
    char colon = 0;
    std::istringstream in(text);
    if (!(in >> maj >> colon >> min) || colon != ':') return false;
    device = makedev(maj, min);
    return true;
}

// The whole disk a partition belongs to: sysfs lists a partition in its disk's folder, with a
// "partition" file. A whole disk (or anything sysfs does not know) is its own disk.
dev_t DiskOf(dev_t device, const DeviceLayout& layout) {
    const std::string node = layout.sysfs + "/dev/block/" + DeviceName(device);
    char resolved[4096];
    if (::realpath(node.c_str(), resolved) == nullptr) return device;
    const std::string folder = resolved;
    if (::access((folder + "/partition").c_str(), F_OK) != 0) return device;
    std::ifstream in(folder.substr(0, folder.rfind('/')) + "/dev");
    std::string text;
    dev_t disk;
    if (!std::getline(in, text) || !ParseDevice(text, disk)) return device;
    return disk;
}

}  // namespace

std::vector<dev_t> DevicesBehind(const std::string& path, const DeviceLayout& layout) {
    // A folder that does not exist yet will be made in the nearest one above it that does.
    std::string existing = path;
    struct stat st {};
    while (::stat(existing.empty() ? "." : existing.c_str(), &st) != 0) {
        while (existing.size() > 1 && existing.back() == '/')
            existing.pop_back();
        const size_t slash = existing.rfind('/');
        if (errno != ENOENT || existing.empty() || existing == "/") return {};
        existing =
            slash == std::string::npos ? std::string() : existing.substr(0, slash ? slash : 1);
    }
    std::vector<dev_t> devices{st.st_dev};
    // mountinfo: "ID PARENT MAJ:MIN ROOT MOUNTPOINT OPTIONS [TAGS...] - TYPE SOURCE SUPER".
    std::ifstream in(layout.mountInfo);
    const std::string wanted = DeviceName(st.st_dev);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, device;
        if (!(fields >> id >> parent >> device) || device != wanted) continue;
        const size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream rest(line.substr(dash + 3));
        std::string type, source;
        if (!(rest >> type >> source) || source.empty() || source[0] != '/') continue;
        struct stat node {};
        if (::stat(source.c_str(), &node) == 0 && S_ISBLK(node.st_mode) &&
            std::find(devices.begin(), devices.end(), node.st_rdev) == devices.end())
            devices.push_back(node.st_rdev);
    }
    return devices;
}

bool DevicesOverlap(dev_t source, const std::vector<dev_t>& destination,
                    const DeviceLayout& layout) {
    const dev_t sourceDisk = DiskOf(source, layout);
    return std::any_of(destination.begin(), destination.end(), [&](dev_t device) {
        return device == source || DiskOf(device, layout) == source || sourceDisk == device;
    });
}

bool DestinationOnSource(const std::u16string& source, const std::u16string& destination,
                         const DeviceLayout& layout) {
    struct stat st {};
    if (::stat(ToUtf8(source).c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
    return DevicesOverlap(st.st_rdev, DevicesBehind(ToUtf8(destination), layout), layout);
}

}  // namespace qv
