#include "platform/VolumeEnumeration.h"

#include <blkid/blkid.h>
#include <libudev.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>

#include "platform/Text.h"

namespace qv {

namespace {

// Probes a device with libblkid (needs read access to it).
bool ProbeNtfs(const char* devnode, std::string& label) {
    blkid_probe probe = blkid_new_probe_from_filename(devnode);
    if (!probe) return false;
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_TYPE | BLKID_SUBLKS_LABEL);
    bool ntfs = false;
    if (blkid_do_safeprobe(probe) == 0) {
        const char* value = nullptr;
        if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value &&
            std::string(value) == "ntfs")
            ntfs = true;
        if (ntfs && blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value)
            label = value;
    }
    blkid_free_probe(probe);
    return ntfs;
}

}  // namespace

std::vector<FoundVolume> FindNtfsVolumes() {
    std::vector<std::pair<std::string, std::string>> found;  // devnode, label
    std::unique_ptr<udev, decltype(&udev_unref)> u(udev_new(), udev_unref);
    if (u) {
        std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> e(
            udev_enumerate_new(u.get()), udev_enumerate_unref);
        udev_enumerate_add_match_subsystem(e.get(), "block");
        udev_enumerate_scan_devices(e.get());
        for (udev_list_entry* item = udev_enumerate_get_list_entry(e.get()); item;
             item = udev_list_entry_get_next(item)) {
            std::unique_ptr<udev_device, decltype(&udev_device_unref)> d(
                udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(item)),
                udev_device_unref);
            if (!d) continue;
            const char* node = udev_device_get_devnode(d.get());
            if (!node) continue;
            const char* type = udev_device_get_property_value(d.get(), "ID_FS_TYPE");
            std::string label;
            if (type) {
                if (std::string(type) != "ntfs") continue;
                if (const char* l = udev_device_get_property_value(d.get(), "ID_FS_LABEL"))
                    label = l;
            } else if (!ProbeNtfs(node, label)) {
                continue;  // udev knows nothing; blkid could not tell either (or may not read it)
            }
            found.emplace_back(node, label);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<FoundVolume> volumes;
    for (auto& [node, label] : found)
        volumes.push_back({FromUtf8(node), FromUtf8(label)});
    return volumes;
}

std::u16string NtfsLabel(const std::u16string& path) {
    std::string label;
    return ProbeNtfs(ToUtf8(path).c_str(), label) ? FromUtf8(label) : std::u16string();
}

}  // namespace qv
