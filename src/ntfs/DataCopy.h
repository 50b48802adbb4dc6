#pragma once

#include <cstdint>

#include "base/Error.h"
#include "platform/ByteSink.h"

namespace qv {

class FileRecord;
class Progress;
class RunList;
class VolumeReader;

// How a copy that did not fail ended: the whole stream was written; the runs (or the extents)
// end before the stream's size, and everything they give was written; or Stop was pressed and
// the copy ended early.
enum class Copied { kWhole, kIncomplete, kStopped };

// Turns run lists into bytes: writes a stream's data, read from the volume, into a sink, with
// progress and Stop. A failure (kErrRead, kErrSeek, kErrDecompress, kErrWrite, kErrNoMemory)
// leaves what was written so far in the sink.
//
// Plain streams are copied cluster range by cluster range; holes (sparse runs) are zeros and so
// is everything past the initialized size (those clusters hold other files' old data). Streams
// whose attribute says compressed are decoded unit by unit with LZNT1.

// Copies the file's content: its unnamed $DATA stream (nothing when it has none). Announces the
// stream's size with SetSteps first.
Result<Copied> CopyRecordData(ByteSink& output, const FileRecord& record, VolumeReader& reader,
                              Progress& progress);

// Copies one stream (SetSteps is the caller's business).
Result<Copied> CopyTo(const RunList& stream, VolumeReader& reader, ByteSink& output,
                      Progress& progress);

}  // namespace qv
