// VHD and VHDX virtual disks (fixed, dynamic, and differencing with the parent beside it) through
// libvhdi.
#include <libvhdi.h>

#include <unistd.h>

#include <mutex>
#include <vector>

#include "platform/ImageLibraries.h"

namespace qv {

namespace {

std::string Words(libvhdi_error_t* error) {
    char text[512] = "";
    if (error) {
        libvhdi_error_sprint(error, text, sizeof text);
        libvhdi_error_free(&error);
    }
    return text;
}

// An open file, closed and freed with the parent it reads through.
struct VhdiFile {
    libvhdi_file_t* file = nullptr;
    std::unique_ptr<VhdiFile> parent;
    ~VhdiFile() {
        if (file) {
            libvhdi_file_close(file, nullptr);
            libvhdi_file_free(&file, nullptr);
        }
    }
};

Result<std::unique_ptr<VhdiFile>> OpenChain(const std::string& path, int depth) {
    const auto failed = [&](const std::string& why) {
        return Error(kErrOpenVolume, "cannot open the virtual disk " + path + ": " + why);
    };
    if (depth > 16) return failed("its parents form too long a chain");
    auto opened = std::make_unique<VhdiFile>();
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_initialize(&opened->file, &error) != 1) return failed(Words(error));
    if (libvhdi_file_open(opened->file, path.c_str(), LIBVHDI_OPEN_READ, &error) != 1)
        return failed(Words(error));
    size_t size = 0;
    // A differencing disk reads what it does not hold from its parent, found beside it.
    if (libvhdi_file_get_utf8_parent_filename_size(opened->file, &size, &error) == 1 && size > 1) {
        std::vector<uint8_t> name(size);
        if (libvhdi_file_get_utf8_parent_filename(opened->file, name.data(), size, &error) != 1)
            return failed(Words(error));
        const std::string parentPath =
            BesideChild(path, std::string(reinterpret_cast<const char*>(name.data())));
        auto parent = OpenChain(parentPath, depth + 1);
        if (!parent)
            return failed("its parent " + parentPath + " cannot be opened (" +
                          parent.error().Text() + ")");
        if (libvhdi_file_set_parent_file(opened->file, (*parent)->file, &error) != 1)
            return failed(Words(error));
        opened->parent = std::move(*parent);
    }
    return opened;
}

class VhdiDevice final : public BlockDevice {
public:
    VhdiDevice(std::unique_ptr<VhdiFile> file, uint64_t size)
        : file_(std::move(file)), size_(size) {}
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return size_t{0};
        std::lock_guard lock(mutex_);
        libvhdi_error_t* error = nullptr;
        const ssize_t n = libvhdi_file_read_buffer_at_offset(file_->file, buffer, size,
                                                             static_cast<off64_t>(offset), &error);
        if (n < 0) return Error(kErrRead, "virtual disk: " + Words(error));
        return static_cast<size_t>(n);
    }
    uint64_t Size() const override { return size_; }

private:
    std::mutex mutex_;
    std::unique_ptr<VhdiFile> file_;
    uint64_t size_;
};

}  // namespace

Result<std::unique_ptr<BlockDevice>> OpenVhdi(const std::string& path) {
    auto chain = OpenChain(path, 0);
    if (!chain) return chain.error();
    size64_t size = 0;
    libvhdi_error_t* error = nullptr;
    if (libvhdi_file_get_media_size((*chain)->file, &size, &error) != 1)
        return Error(kErrOpenVolume, "cannot open the virtual disk " + path + ": " + Words(error));
    return std::unique_ptr<BlockDevice>(std::make_unique<VhdiDevice>(std::move(*chain), size));
}

std::string BesideChild(const std::string& child, const std::string& named) {
    if (!named.empty() && named[0] == '/' && ::access(named.c_str(), R_OK) == 0) return named;
    const size_t cut = named.find_last_of("/\\");
    const std::string leaf = cut == std::string::npos ? named : named.substr(cut + 1);
    const size_t slash = child.rfind('/');
    return (slash == std::string::npos ? std::string() : child.substr(0, slash + 1)) + leaf;
}

}  // namespace qv
