// EWF forensic images (.E01 and its segments .E02, ...) through libewf.
#include <libewf.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/ImageLibraries.h"
#include "platform/ReadAhead.h"

namespace qv {

namespace {

std::string Words(libewf_error_t* error) {
    char text[512] = "";
    if (error) {
        libewf_error_sprint(error, text, sizeof text);
        libewf_error_free(&error);
    }
    return text;
}

class EwfDevice final : public BlockDevice {
public:
    EwfDevice(libewf_handle_t* handle, uint64_t size) : handle_(handle), size_(size) {}
    ~EwfDevice() override {
        libewf_handle_close(handle_, nullptr);
        libewf_handle_free(&handle_, nullptr);
    }
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return size_t{0};
        std::lock_guard lock(mutex_);  // a handle reads one thing at a time
        libewf_error_t* error = nullptr;
        const ssize_t n =
            libewf_handle_read_random(handle_, buffer, size, static_cast<off64_t>(offset), &error);
        if (n < 0) return Error(kErrRead, "EWF image: " + Words(error));
        return static_cast<size_t>(n);
    }
    uint64_t Size() const override { return size_; }

private:
    std::mutex mutex_;
    libewf_handle_t* handle_;
    uint64_t size_;
};

Result<std::unique_ptr<BlockDevice>> OpenEwfHandle(const std::string& path) {
    const auto failed = [&](const std::string& why) {
        return Error(kErrOpenVolume, "cannot open the EWF image " + path + ": " + why);
    };
    libewf_error_t* error = nullptr;
    char** segments = nullptr;
    int count = 0;
    // The segments (.E01, .E02, ...) are found beside the first by their names.
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &segments, &count, &error) !=
        1)
        return failed(Words(error));
    libewf_handle_t* handle = nullptr;
    if (libewf_handle_initialize(&handle, &error) != 1) {
        libewf_glob_free(segments, count, nullptr);
        return failed(Words(error));
    }
    const int opened = libewf_handle_open(handle, segments, count, LIBEWF_OPEN_READ, &error);
    libewf_glob_free(segments, count, nullptr);
    size64_t size = 0;
    if (opened != 1 || libewf_handle_get_media_size(handle, &size, &error) != 1) {
        const std::string why = Words(error);
        libewf_handle_free(&handle, nullptr);
        return failed(why.empty() ? "its segments are missing or damaged" : why);
    }
    // The segments found end before the last one (a segment in between is missing, or the last
    // ones): the image would read as holes from there on.
    if (libewf_handle_segment_files_corrupted(handle, nullptr) == 1) {
        libewf_handle_close(handle, nullptr);
        libewf_handle_free(&handle, nullptr);
        return failed(std::to_string(count) + " segment file" + (count == 1 ? "" : "s") +
                      " found, and the last of them is not the image's last: a segment is "
                      "missing or damaged");
    }
    return std::unique_ptr<BlockDevice>(std::make_unique<EwfDevice>(handle, size));
}

}  // namespace

Result<std::unique_ptr<BlockDevice>> OpenEwf(const std::string& path) {
    auto opened = OpenEwfHandle(path);
    if (!opened) return opened.error();
    return WithReadAhead(std::move(*opened), [path] { return OpenEwfHandle(path); });
}

}  // namespace qv
