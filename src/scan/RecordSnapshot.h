#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/Error.h"
#include "platform/File.h"

namespace qv {

// The FILE records of the deleted files a scan listed, as the scan found them, kept in a private
// temporary file ("NRM") so that a recovery later builds each file from the same bytes, even
// when the volume has changed since (a mounted volume in use, or files written onto the volume
// being scanned). Only the listed files' records are kept, not the whole $MFT, and of each only
// what comes before its trailing zeros.
class RecordSnapshot {
public:
    // Makes the temporary file; kErrTempFile when it cannot be made.
    Status Create();
    // Keeps a record image (a record kept before is kept once).
    Status Add(uint64_t number, const std::vector<uint8_t>& image);
    // Writes out what is still buffered: call once all records are added.
    Status Finish();
    bool Has(uint64_t number) const;
    // The image of a record kept before. Safe to call from several threads once Finish is done.
    Status Read(uint64_t number, std::vector<uint8_t>& image);

private:
    struct Place {
        uint64_t offset;
        uint32_t size;    // the image's size
        uint32_t stored;  // bytes kept: the image without its trailing zeros
    };
    File file_;
    std::unordered_map<uint64_t, Place> index_;  // by record number
    std::vector<uint8_t> pending_;               // added, not yet written
    uint64_t written_ = 0;                       // bytes in the file
    // The file read ahead: records are kept in ascending order and a recovery loads them in that
    // order, so one read serves the records that follow (one read per record cost a system call
    // each). Guarded: the recovery's two threads both load records.
    std::mutex aheadMutex_;
    std::vector<uint8_t> ahead_;
    uint64_t aheadAt_ = 0;  // the file offset of ahead_[0]
};

}  // namespace qv
