#pragma once

#include <cstdint>

#include "ntfs/LittleEndian.h"

namespace qv {

// Receives the changes a log rollback finds, newest first: undo bytes for one MFT record.
//   recordNumber  the MFT record the change is for
//   recordOff     offset of the attribute record inside that FILE record
//   attrOff       offset of the changed bytes inside the attribute record
//   data          the undo bytes (valid only during the call)
//   delta         undo length - redo length: how much the attribute grows back
class ChangeSink {
public:
    virtual ~ChangeSink() = default;
    virtual int ApplyChange(uint64_t recordNumber, uint32_t recordOff, uint32_t attrOff,
                            ByteSpan data, int32_t delta) = 0;
};

}  // namespace qv
