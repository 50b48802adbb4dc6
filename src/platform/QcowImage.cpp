// QCOW2 virtual disks (with a backing file beside them, if they have one) through libqcow.
#include <libqcow.h>

#include <mutex>
#include <vector>

#include "platform/ImageLibraries.h"
#include "platform/ReadAhead.h"

namespace qv {

namespace {

std::string Words(libqcow_error_t* error) {
    char text[512] = "";
    if (error) {
        libqcow_error_sprint(error, text, sizeof text);
        libqcow_error_free(&error);
    }
    return text;
}

struct QcowFile {
    libqcow_file_t* file = nullptr;
    std::unique_ptr<QcowFile> backing;
    ~QcowFile() {
        if (file) {
            libqcow_file_close(file, nullptr);
            libqcow_file_free(&file, nullptr);
        }
    }
};

Result<std::unique_ptr<QcowFile>> OpenChain(const std::string& path, int depth) {
    const auto failed = [&](const std::string& why) {
        return Error(kErrOpenVolume, "cannot open the QCOW2 disk " + path + ": " + why);
    };
    if (depth > 16) return failed("its backing files form too long a chain");
    auto opened = std::make_unique<QcowFile>();
    libqcow_error_t* error = nullptr;
    if (libqcow_file_initialize(&opened->file, &error) != 1) return failed(Words(error));
    if (libqcow_file_open(opened->file, path.c_str(), LIBQCOW_OPEN_READ, &error) != 1)
        return failed(Words(error));
    size_t size = 0;
    if (libqcow_file_get_utf8_backing_filename_size(opened->file, &size, &error) == 1 && size > 1) {
        std::vector<uint8_t> name(size);
        if (libqcow_file_get_utf8_backing_filename(opened->file, name.data(), size, &error) != 1)
            return failed(Words(error));
        const std::string backingPath =
            BesideChild(path, std::string(reinterpret_cast<const char*>(name.data())));
        auto backing = OpenChain(backingPath, depth + 1);
        if (!backing)
            return failed("its backing file " + backingPath + " cannot be opened (" +
                          backing.error().Text() + ")");
        if (libqcow_file_set_parent_file(opened->file, (*backing)->file, &error) != 1)
            return failed(Words(error));
        opened->backing = std::move(*backing);
    }
    return opened;
}

class QcowDevice final : public BlockDevice {
public:
    QcowDevice(std::unique_ptr<QcowFile> file, uint64_t size)
        : file_(std::move(file)), size_(size) {}
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return size_t{0};
        std::lock_guard lock(mutex_);
        libqcow_error_t* error = nullptr;
        const ssize_t n = libqcow_file_read_buffer_at_offset(file_->file, buffer, size,
                                                             static_cast<off64_t>(offset), &error);
        if (n < 0) return Error(kErrRead, "QCOW2 disk: " + Words(error));
        return static_cast<size_t>(n);
    }
    uint64_t Size() const override { return size_; }

private:
    std::mutex mutex_;
    std::unique_ptr<QcowFile> file_;
    uint64_t size_;
};

Result<std::unique_ptr<BlockDevice>> OpenQcowHandle(const std::string& path) {
    auto chain = OpenChain(path, 0);
    if (!chain) return chain.error();
    size64_t size = 0;
    libqcow_error_t* error = nullptr;
    if (libqcow_file_get_media_size((*chain)->file, &size, &error) != 1)
        return Error(kErrOpenVolume, "cannot open the QCOW2 disk " + path + ": " + Words(error));
    return std::unique_ptr<BlockDevice>(std::make_unique<QcowDevice>(std::move(*chain), size));
}

}  // namespace

Result<std::unique_ptr<BlockDevice>> OpenQcow(const std::string& path) {
    auto opened = OpenQcowHandle(path);
    if (!opened) return opened.error();
    return WithReadAhead(std::move(*opened), [path] { return OpenQcowHandle(path); });
}

}  // namespace qv
