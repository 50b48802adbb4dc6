#include "base/Error.h"

namespace qv {

const char* DescribeError(int32_t code) {
    switch (code) {
        case kOk: return "no error";
        case kErrOpenVolume: return "the volume could not be opened";
        case kErrBootSector: return "not an NTFS volume";
        case kErrSeek: return "positioning on the volume failed";
        case kErrRead: return "read error";
        case kErrNoMemory: return "out of memory";
        case kErrClusterIndex: return "cluster index beyond its run";
        case kErrDecompress: return "compressed data is damaged";
        case kErrNoFileName: return "the record has no file name";
        case kErrTempFile: return "a temporary file could not be made";
        case kErrShortCopy: return "a temporary copy is too short";
        case kErrCopyIncomplete: return "the data runs end before the file's size";
        case kErrWrite: return "writing the output failed";
        case kErrLogCannotServe: return "the log file cannot be used";
        case kErrFile: return "a file or folder could not be opened or made";
        case kErrNotIndexed: return "no log record has that LSN";
        case kErrBadValue: return "the value cannot be read";
        default: return "unknown error";
    }
}

}  // namespace qv
