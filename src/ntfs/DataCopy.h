#pragma once

#include <cstdint>

#include "platform/ByteSink.h"

namespace qv {

class FileRecord;
class Progress;
class RunList;
class VolumeReader;

// Turns run lists into bytes: writes a stream's data, read from the volume, into a sink, with
// progress and Stop. Results: 0 on success and after Stop (the caller asks IsCancelled to tell
// them apart), kErrCopyIncomplete when the runs end before the stream's size (everything the
// runs give was written), or a failure code (kErrRead, kErrSeek, kErrDecompress, kErrWrite,
// kErrNoMemory) with what was written so far left in the sink.
//
// Plain streams are copied cluster range by cluster range; holes (sparse runs) are zeros and so
// is everything past the initialized size (those clusters hold other files' old data). Streams
// whose attribute says compressed are decoded unit by unit with LZNT1.

// Copies the file's content: its unnamed $DATA stream. Announces the stream's size with
// SetSteps first.
int CopyRecordData(ByteSink& output, const FileRecord& record, VolumeReader& reader,
                   Progress& progress);

// Copies one stream (SetSteps is the caller's business).
int CopyTo(const RunList& stream, VolumeReader& reader, ByteSink& output, Progress& progress);

}  // namespace qv
