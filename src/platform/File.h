#pragma once

#include <cstdint>
#include <string>

#include "platform/ByteSink.h"
#include "platform/ByteSource.h"

namespace qv {

// A file on a POSIX descriptor with 64-bit offsets: the program's only way to open, read and
// write ordinary files (temporary files, recovered files, saved logs). Every failure is reported
// and its errno kept in LastError(); a short or failed write is a failure, never ignored.
class File : public ByteSink, public ByteSource {
public:
    enum class Mode {
        kRead,       // existing file, read only
        kReadWrite,  // existing file, read and write
        kCreate,     // create or truncate, read and write
        kCreateNew,  // create; fail if anything of that name exists
    };
    enum class Whence { kBegin, kCurrent, kEnd };

    File() = default;
    ~File() override;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // noFollow refuses to open through a symbolic link in the last component.
    [[nodiscard]] bool Open(const std::u16string& path, Mode mode, bool noFollow = false);
    // The same, relative to an open directory descriptor (for walking a destination safely).
    [[nodiscard]] bool OpenAt(int dirFd, const std::u16string& name, const std::u16string& fullPath,
                              Mode mode, bool noFollow);
    // Takes ownership of an already open descriptor.
    void Adopt(int fd, const std::u16string& path);
    // Closes the descriptor; removes the file too when SetRemoveOnClose(true) was called.
    void Close();

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }
    const std::u16string& Path() const { return path_; }
    int LastError() const { return lastError_; }
    // For callers that fail before the file is reached (a folder on the way is missing).
    void SetLastError(int error) { lastError_ = error; }
    void SetRemoveOnClose(bool remove) { removeOnClose_ = remove; }

    // New position, or -1.
    int64_t Seek(int64_t offset, Whence whence = Whence::kBegin);
    // Reads until size bytes or the end of the file; the count read, or -1.
    int64_t Read(void* buffer, size_t size);
    // Positioned read that leaves the file position alone; the count read, or -1.
    int64_t ReadAt(uint64_t offset, void* buffer, size_t size) override;
    // Length in bytes, 0 when it cannot be had.
    uint64_t Size() const override;
    [[nodiscard]] bool Write(const void* data, size_t size) override;
    // Length in bytes, or -1.
    int64_t Length();

    // Sets the last access and modification times (seconds since 1970).
    bool SetTimes(int64_t accessed, int64_t modified);

    static bool Remove(const std::u16string& path);

private:
    int fd_ = -1;
    std::u16string path_;
    int lastError_ = 0;
    bool removeOnClose_ = false;
};

}  // namespace qv
