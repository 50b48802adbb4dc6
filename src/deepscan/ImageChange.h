#pragma once

#include <cstdint>

#include "deepscan/ChangeSink.h"
#include "deepscan/DeletedFileImages.h"
#include "deepscan/RecordUndo.h"

namespace qv {

// The image of a deleted file that a change is for: its base image or the extension image of
// that record number; null when the file holds no such record.
RecordImage* FindTargetImage(DeletedFileImages& file, uint64_t recordNumber);

// Undoes a change in the image it is for and leaves a developer trace line ("lsn.r" in
// $QUORVANE_TRACE_DIR when that folder exists). An image the change reaches counts as done: its
// header keeps its LSN, so nothing ever offers it again. kNothingToDo when the file does not hold
// the record.
UndoResult ApplyToFileImages(DeletedFileImages& file, const RecordChange& change);

}  // namespace qv
