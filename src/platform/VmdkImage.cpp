// VMDK virtual disks (a descriptor with its extent files beside it, or one file) through libvmdk.
#include <libvmdk.h>

#include <mutex>

#include "platform/ImageLibraries.h"

namespace qv {

namespace {

std::string Words(libvmdk_error_t* error) {
    char text[512] = "";
    if (error) {
        libvmdk_error_sprint(error, text, sizeof text);
        libvmdk_error_free(&error);
    }
    return text;
}

class VmdkDevice final : public BlockDevice {
public:
    VmdkDevice(libvmdk_handle_t* handle, uint64_t size) : handle_(handle), size_(size) {}
    ~VmdkDevice() override {
        libvmdk_handle_close(handle_, nullptr);
        libvmdk_handle_free(&handle_, nullptr);
    }
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return size_t{0};
        std::lock_guard lock(mutex_);
        libvmdk_error_t* error = nullptr;
        const ssize_t n = libvmdk_handle_read_buffer_at_offset(
            handle_, buffer, size, static_cast<off64_t>(offset), &error);
        if (n < 0) return Error(kErrRead, "VMDK disk: " + Words(error));
        return static_cast<size_t>(n);
    }
    uint64_t Size() const override { return size_; }

private:
    std::mutex mutex_;
    libvmdk_handle_t* handle_;
    uint64_t size_;
};

}  // namespace

Result<std::unique_ptr<BlockDevice>> OpenVmdk(const std::string& path) {
    const auto failed = [&](const std::string& why) {
        return Error(kErrOpenVolume, "cannot open the VMDK disk " + path + ": " + why);
    };
    libvmdk_error_t* error = nullptr;
    libvmdk_handle_t* handle = nullptr;
    if (libvmdk_handle_initialize(&handle, &error) != 1) return failed(Words(error));
    const auto fail = [&](const std::string& why) {
        libvmdk_handle_free(&handle, nullptr);
        return failed(why);
    };
    if (libvmdk_handle_open(handle, path.c_str(), LIBVMDK_OPEN_READ, &error) != 1)
        return fail(Words(error));
    // The extents the descriptor names lie beside it.
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    if (libvmdk_handle_set_extent_data_files_path(handle, folder.c_str(), folder.size(), &error) !=
            1 ||
        libvmdk_handle_open_extent_data_files(handle, &error) != 1) {
        const std::string why = Words(error);
        libvmdk_handle_close(handle, nullptr);
        return fail(why.empty() ? "its extent files are missing" : why);
    }
    size64_t size = 0;
    if (libvmdk_handle_get_media_size(handle, &size, &error) != 1) {
        const std::string why = Words(error);
        libvmdk_handle_close(handle, nullptr);
        return fail(why);
    }
    return std::unique_ptr<BlockDevice>(std::make_unique<VmdkDevice>(handle, size));
}

}  // namespace qv
