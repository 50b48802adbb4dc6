#pragma once

#include <cstdint>
#include <set>

#include "deepscan/DeletedFileImages.h"

namespace qv {

class LogRecordStore;
class Progress;
class VolumeReader;

// The advanced scan's pass over the deleted files, between collecting them and building them.
// First drops the entries without a base record; then, for every file spread over extension
// records whose images are loaded, undoes the transaction that deleted it: from the newest LSN
// among its images back to that transaction's first record, never anything older. The result is
// kept only when the file is at least as good as built from its records as found (see
// RollbackKeepsFile); otherwise the images are put back and the log says so in one line.
// Steps the progress once per file in each of the two passes and honours Stop in both.
// Returns the number of files whose rolled-back images were kept, and notes their base record
// numbers in *kept when given.
int RollBackDeletedFiles(DeletedFileMap& files, LogRecordStore& store, uint32_t clusterSize,
                         VolumeReader* reader, Progress& progress,
                         std::set<uint64_t>* kept = nullptr);

}  // namespace qv
