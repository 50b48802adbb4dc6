#pragma once

#include <cstdint>

#include "scan/DeletedFileImages.h"

namespace qv {

class LogRecordStore;
class ProgressDialog;
class VolumeReader;

// The advanced scan's pass over the deleted files: drops the entries without a base record and
// rolls the record images of files with extension records back through the log.
int RollBackDeletedFiles(DeletedFileMap& files, LogRecordStore& store, uint32_t clusterSize,
                         VolumeReader* reader, ProgressDialog& progress);

}  // namespace qv
