#pragma once

#include <cstdint>

#include "base/LittleEndian.h"
#include "deepscan/LogFormat.h"

namespace qv {

// One undo change of a log record that targets a FILE record, as a rollback hands it on.
struct RecordChange {
    uint64_t lsn = 0;           // the log record it comes from
    uint64_t recordNumber = 0;  // the MFT record it is for
    uint16_t redoOperation = 0;
    uint16_t undoOperation = 0;  // what undoing it does (logfmt::Operation)
    uint32_t recordOff = 0;      // offset of the attribute record inside the FILE record
    uint32_t attrOff = 0;        // offset of the changed bytes (or index entry) in that attribute
    ByteSpan data;               // the undo bytes, valid only during the call
    uint32_t redoLength = 0;
    int32_t delta = 0;  // undo length - redo length: how much the attribute grows back
};

// Receives the changes a log rollback finds, newest first.
class ChangeSink {
public:
    virtual ~ChangeSink() = default;

    // The plain form of a change: undo bytes for one MFT record, written at recordOff + attrOff;
    // with both offsets non-zero the resident value there changes its length by delta.
    //   recordNumber  the MFT record the change is for
    //   recordOff     offset of the attribute record inside that FILE record
    //   attrOff       offset of the changed bytes inside the attribute record
    //   data          the undo bytes (valid only during the call)
    //   delta         undo length - redo length: how much the attribute grows back
    virtual int ApplyChange(uint64_t recordNumber, uint32_t recordOff, uint32_t attrOff,
                            ByteSpan data, int32_t delta) = 0;

    // The whole change with its operation, which is what a rollback calls. A sink that knows
    // only the plain form gets the changes that are plain writes (resident values) through
    // ApplyChange and none of the others, whose bytes would land in the wrong place.
    virtual int ApplyRecordChange(const RecordChange& change) {
        if (change.undoOperation != logfmt::kUpdateResidentValue) return 0;
        return ApplyChange(change.recordNumber, change.recordOff, change.attrOff, change.data,
                           change.delta);
    }
};

}  // namespace qv
