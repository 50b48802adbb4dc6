#pragma once

#include <cstdint>

#include "scan/FileState.h"

namespace qv {

class ClusterBitmap;
class FileRecord;
class RunList;

// A file's state and, when partly overwritten, the share of its clusters allocated now.
struct JudgedState {
    FileState state = FileState::kUnknown;
    uint8_t overwrittenPercent = 0;  // 1 to 99 for kPartlyOverwritten, else 0
};

// Judges one stream's clusters against the bitmap (null: it cannot be read). Sparse runs hold no
// clusters and do not count; a stream without a cluster of its own (all sparse, or empty) has
// nothing another file could have taken: intact. Runs past the bitmap's end, damaged runs or an
// unreadable bitmap: unknown.
JudgedState JudgeStream(const RunList& stream, ClusterBitmap* bitmap);

// Judges a deleted file's content, its unnamed stream: unknown when its record is damaged, it has
// no unnamed stream, or a part of that stream lies in an extension record that is gone.
JudgedState JudgeFile(const FileRecord& record, ClusterBitmap* bitmap);

}  // namespace qv
