#pragma once

#include <memory>
#include <string>

#include "base/Error.h"
#include "platform/BlockDevice.h"

namespace qv {

// The image containers a scan reads through, told apart by their signatures (never by the
// file's name): a raw image or device, an EWF forensic image (.E01 and its segments), VHD and
// VHDX, VMDK and QCOW2 virtual disks. The containers are turned into bytes by the Debian
// libraries made for them (libewf, libvhdi, libvmdk, libqcow); the NTFS on them is read by the
// engine alone.
enum class ImageFormat { kRaw, kEwf, kVhd, kVhdx, kVmdk, kQcow };

// The format of an image file or device by its first bytes (and a VHD's footer). A file that
// cannot be read is raw: opening it then names the cause.
ImageFormat DetectImageFormat(const std::u16string& path);
const char* ImageFormatName(ImageFormat format);

// Opens a container's disk read-only. The error (kErrOpenVolume) names the file and the
// library's cause: a damaged container, an EWF segment or a differencing disk's parent missing.
Result<std::unique_ptr<BlockDevice>> OpenDiskImage(const std::u16string& path, ImageFormat format);

}  // namespace qv
