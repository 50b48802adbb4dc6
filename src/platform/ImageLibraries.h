#pragma once

#include <memory>
#include <string>

#include "base/Error.h"
#include "platform/BlockDevice.h"

namespace qv {

// One opener per container library; each gives the disk inside as a read-only device. The
// errors carry the library's own words.
Result<std::unique_ptr<BlockDevice>> OpenEwf(const std::string& path);
Result<std::unique_ptr<BlockDevice>> OpenVhdi(const std::string& path);
Result<std::unique_ptr<BlockDevice>> OpenVmdk(const std::string& path);
Result<std::unique_ptr<BlockDevice>> OpenQcow(const std::string& path);

// The path of a parent (or backing) image named by a child: the name as given when it exists,
// else the file of that name beside the child (a Windows path's last part included).
std::string BesideChild(const std::string& child, const std::string& named);

}  // namespace qv
