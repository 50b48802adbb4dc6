#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace qv {

// Every failure the engine reports carries one of these codes, the cause in words where the
// layer that failed knows it ("cannot open /dev/sdb1: Permission denied"), and the system's
// errno behind it, if any. Stop is not a failure: operations that can be stopped say so in their
// own outcome.
enum ErrorCode : int32_t {
    kOk = 0,
    kErrOpenVolume = -3001,      // the volume device (or image) could not be opened
    kErrBootSector = -3002,      // the boot sector could not be read whole, or is not NTFS
    kErrSeek = -3006,            // positioning on the volume failed
    kErrRead = -3007,            // a read failed or returned nothing, or a record is not whole
    kErrNoMemory = -3009,        // out of memory
    kErrClusterIndex = -3010,    // cluster index beyond its run
    kErrDecompress = -3012,      // a compression unit could not be decompressed
    kErrNoFileName = -3013,      // the record has no $FILE_NAME
    kErrTempFile = -3014,        // a temporary file could not be made
    kErrShortCopy = -3015,       // a temporary copy is too short ($LogFile record, log restart)
    kErrCopyIncomplete = -3016,  // the runs end before the stream's data size: bytes are missing
    kErrWrite = -3017,           // writing the output failed (disk full, I/O error)
    kErrLogCannotServe = -3019,  // the $LogFile cannot serve the advanced scan (blank, damaged)
    kErrFile = -3020,            // a file or folder could not be opened or made
    kErrNotIndexed = -3021,      // the log record store holds no record with that LSN
    kErrBadValue = -3022,        // a value a user typed (a size, a date) cannot be read
};

// A short, lower-case description of a code for log lines ("read error"); never shown instead of
// the program's fixed messages, only next to them.
const char* DescribeError(int32_t code);

struct Error {
    int32_t code = kErrRead;
    std::string cause;  // empty: DescribeError(code) says it
    int osError = 0;    // errno, when the system refused

    Error() = default;
    Error(int32_t c, std::string why = {}, int os = 0)
        : code(c), cause(std::move(why)), osError(os) {}
    // The cause, or the code's description when none was given.
    std::string Text() const { return cause.empty() ? DescribeError(code) : cause; }
};

// A value or the error that kept it from being made.
template <typename T>
class Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T& operator*() { return value(); }
    const T& operator*() const { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

// Success, or the error.
class Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)), failed_(true) {}
    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return error_; }

private:
    Error error_;
    bool failed_ = false;
};

// The one exception type: thrown where a failure cannot be returned (memory running out deep
// inside a record or a log record copy), and caught where the operation that needs it ends.
class CMyException {
public:
    explicit CMyException(Error error) : error_(std::move(error)) {}
    explicit CMyException(int32_t code, std::string cause = {}, int osError = 0)
        : error_(code, std::move(cause), osError) {}
    int32_t Code() const { return error_.code; }
    const std::string& Detail() const { return error_.cause; }
    int OsError() const { return error_.osError; }
    const Error& GetError() const { return error_; }

private:
    Error error_;
};

}  // namespace qv
