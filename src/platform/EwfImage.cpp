// EWF forensic images (.E01 and its segments .E02, ...) through libewf.
#include <libdeflate.h>
#include <libewf.h>

#include <algorithm>
#include <cstring>
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

// An EWF image's media is stored in chunks (32 KiB by default), each zlib-compressed or stored
// as is. libewf finds a chunk in the segment files; a compressed chunk is inflated here with
// libdeflate, which inflates whole buffers about three times faster than the zlib inside libewf
// (the scan reads the whole $MFT through these chunks). Anything this path does not recognise
// (a chunk that does not inflate to its exact size or fails its checksum, a chunk libewf cannot
// hand over) is read through libewf's own read instead, so a damaged image reads exactly as
// libewf reads it: the same bytes or the same error. A stored chunk is checked by libewf.
class EwfDevice final : public BlockDevice {
public:
    EwfDevice(libewf_handle_t* handle, uint64_t size, uint32_t chunkSize)
        : handle_(handle), size_(size), chunkSize_(chunkSize) {
        if (chunkSize_ > 0) {
            inflater_ = libdeflate_alloc_decompressor();
            packed_.resize(chunkSize_ + kPackedSlack);
            chunk_.resize(chunkSize_);
        }
    }
    ~EwfDevice() override {
        if (inflater_) libdeflate_free_decompressor(inflater_);
        libewf_handle_close(handle_, nullptr);
        libewf_handle_free(&handle_, nullptr);
    }
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override {
        if (offset >= size_) return size_t{0};
        size = static_cast<size_t>(std::min<uint64_t>(size, size_ - offset));
        std::lock_guard lock(mutex_);  // a handle reads one thing at a time
        if (!inflater_) return ReadThroughLibrary(offset, buffer, size);
        auto* out = static_cast<uint8_t*>(buffer);
        size_t done = 0;
        while (done < size) {
            const uint64_t at = offset + done;
            const uint64_t chunk = at / chunkSize_;
            const uint64_t chunkStart = chunk * chunkSize_;
            const size_t chunkBytes =
                static_cast<size_t>(std::min<uint64_t>(chunkSize_, size_ - chunkStart));
            const size_t skip = static_cast<size_t>(at - chunkStart);
            const size_t part = std::min(chunkBytes - skip, size - done);
            bool decoded;
            if (part == chunkBytes) {  // a whole chunk: straight into the caller's buffer
                decoded = DecodeChunk(chunkStart, out + done, chunkBytes);
            } else {
                decoded = cached_ == chunk || DecodeChunk(chunkStart, chunk_.data(), chunkBytes);
                cached_ = decoded ? chunk : kNoChunk;
                if (decoded) std::memcpy(out + done, chunk_.data() + skip, part);
            }
            if (!decoded) {
                auto read = ReadThroughLibrary(at, out + done, part);
                if (!read) return read.error();
                if (*read < part) return done + *read;
            }
            done += part;
        }
        return done;
    }
    uint64_t Size() const override { return size_; }

private:
    static constexpr uint64_t kNoChunk = UINT64_MAX;
    // A chunk that does not shrink is stored as is; this leaves room for its checksum too.
    static constexpr size_t kPackedSlack = 64;

    // Puts the chunk starting at media offset chunkStart into out, which holds exactly its size:
    // inflated, or as stored once libewf has checked it; false when it is damaged or libewf
    // does not hand it over.
    bool DecodeChunk(uint64_t chunkStart, uint8_t* out, size_t chunkBytes) {
        libewf_error_t* error = nullptr;
        if (libewf_handle_seek_offset(handle_, static_cast<off64_t>(chunkStart), SEEK_SET, &error) <
            0) {
            libewf_error_free(&error);
            return false;
        }
        int8_t compressed = 0;
        int8_t checksumRead = 0;
        uint32_t checksum = 0;
        uint8_t checksumBytes[4];
        const ssize_t packed =
            libewf_handle_read_chunk(handle_, packed_.data(), packed_.size(), &compressed,
                                     checksumBytes, &checksum, &checksumRead, &error);
        if (packed < 0) {
            libewf_error_free(&error);
            return false;
        }
        if (compressed != 1) {
            // Stored as is, followed by its checksum: libewf checks it and leaves the bytes where
            // they were read.
            size_t checked = chunkBytes;
            if (libewf_handle_prepare_read_chunk(
                    handle_, packed_.data(), static_cast<size_t>(packed), out, &checked, compressed,
                    checksum, checksumRead, &error) != static_cast<ssize_t>(chunkBytes) ||
                static_cast<size_t>(packed) < chunkBytes) {
                libewf_error_free(&error);
                return false;
            }
            std::memcpy(out, packed_.data(), chunkBytes);
            return true;
        }
        size_t produced = 0;
        // The zlib stream's own Adler-32 is checked: a damaged chunk fails here.
        return libdeflate_zlib_decompress(inflater_, packed_.data(), static_cast<size_t>(packed),
                                          out, chunkBytes, &produced) == LIBDEFLATE_SUCCESS &&
               produced == chunkBytes;
    }

    Result<size_t> ReadThroughLibrary(uint64_t offset, void* buffer, size_t size) {
        libewf_error_t* error = nullptr;
        const ssize_t n =
            libewf_handle_read_random(handle_, buffer, size, static_cast<off64_t>(offset), &error);
        if (n < 0) return Error(kErrRead, "EWF image: " + Words(error));
        return static_cast<size_t>(n);
    }

    std::mutex mutex_;
    libewf_handle_t* handle_;
    uint64_t size_;
    uint32_t chunkSize_;  // 0: unknown, every read goes through libewf
    libdeflate_decompressor* inflater_ = nullptr;
    std::vector<uint8_t> packed_;  // one chunk as stored
    std::vector<uint8_t> chunk_;   // the last chunk decoded for a read of part of it
    uint64_t cached_ = kNoChunk;
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
    size32_t chunkSize = 0;
    if (libewf_handle_get_chunk_size(handle, &chunkSize, nullptr) != 1) chunkSize = 0;
    return std::unique_ptr<BlockDevice>(std::make_unique<EwfDevice>(handle, size, chunkSize));
}

}  // namespace

Result<std::unique_ptr<BlockDevice>> OpenEwf(const std::string& path) {
    auto opened = OpenEwfHandle(path);
    if (!opened) return opened.error();
    return WithReadAhead(std::move(*opened), [path] { return OpenEwfHandle(path); });
}

}  // namespace qv
