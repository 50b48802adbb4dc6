#pragma once

#include <cstdint>

namespace qv {

// Every failure the engine reports is one of these negative codes. Success is 0 or a count.
// The codes travel up unchanged; the layer that knows the record, cluster or path adds it to the
// log.
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
};

// A short, lower-case description for log lines ("read error"); never shown instead of the
// program's fixed messages, only next to them.
const char* DescribeError(int32_t code);

}  // namespace qv
