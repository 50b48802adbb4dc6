#pragma once

#include <cstdint>
#include <string>

#include "platform/ByteSink.h"
#include "platform/ByteSource.h"

namespace qv {

// A file on a POSIX descriptor with 64-bit offsets: the program's only way to open, read and
// write ordinary files (temporary files, recovered files, saved logs). Every failure is returned
// with its cause: the path, the errno and its words; a short write is a failure, never ignored.
class File : public ByteSink, public ByteSource {
public:
    enum class Mode {
        kRead,       // existing file, read only
        kReadWrite,  // existing file, read and write
        kCreate,     // create or truncate, read and write
        kCreateNew,  // create; fail if anything of that name exists
    };

    File() = default;
    ~File() override;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // noFollow refuses to open through a symbolic link in the last component. Fails with
    // kErrFile.
    Status Open(const std::u16string& path, Mode mode, bool noFollow = false);
    // Takes ownership of an already open descriptor.
    void Adopt(int fd, const std::u16string& path);
    // Closes the descriptor; removes the file too when SetRemoveOnClose(true) was called.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    const std::u16string& Path() const { return path_; }
    void SetRemoveOnClose(bool remove) { removeOnClose_ = remove; }

    // Positioned read that leaves the file position alone.
    Result<size_t> ReadAt(uint64_t offset, void* buffer, size_t size) override;
    // Appends at the position (kErrWrite with the errno on failure: disk full, I/O error).
    Status Write(const void* data, size_t size) override;
    // Length in bytes, 0 when it cannot be had.
    uint64_t Size() const override;

    // Sets the last access and modification times (seconds since 1970).
    Status SetTimes(int64_t accessed, int64_t modified);

    static bool Remove(const std::u16string& path);

private:
    Error Failed(int32_t code, int error, const char* doing) const;

    int fd_ = -1;
    std::u16string path_;
    bool removeOnClose_ = false;
};

}  // namespace qv
