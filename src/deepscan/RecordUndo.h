#pragma once

#include <cstdint>
#include <vector>

#include "deepscan/ChangeSink.h"

namespace qv {

// The plain form of a change (ChangeSink::ApplyChange) without an operation: bytes written in
// place inside the attribute area. Not an NTFS operation code.
constexpr uint16_t kPlainWrite = 0xFFFF;

enum class UndoResult {
    kApplied,      // the image changed
    kNothingToDo,  // an operation that leaves record images as they are
    kDropped,      // the change does not fit the record: the image is left untouched
};

// Undoes one logged change in a FILE record image. The image is held as on disk, its update
// sequence in place: the change is made on a copy with the fixups applied, so that bytes at the
// end of a 512-byte block land in the block and not in the update sequence array, and the copy
// is protected again before it replaces the image. Every write stays inside the image, moves
// attributes the way NTFS does (insertions, removals, resized values and mapping pairs) and
// keeps the record walkable; a change that cannot be placed that way is dropped whole.
//
// The undo of a deallocation (and of an initialisation) rewrites only header fields: the in-use
// flag, the sequence number and the LSN. Those are never written back, so that the record still
// reads as the deleted file it is.
UndoResult UndoIntoImage(std::vector<uint8_t>& image, const RecordChange& change);

// True when a record image (held as on disk) is a FILE record whose attributes all lie inside
// its bytes in use, 8-byte aligned, up to an end marker.
bool IsSoundRecordImage(ByteSpan image);

}  // namespace qv
