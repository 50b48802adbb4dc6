#pragma once

#include <cstdint>

namespace qv {

class ChangeSink;
class File;
class ProgressDialog;

// The indexed copy of the log records of the $LogFile. (Being built: Load indexes nothing yet.)
class LogRecordStore {
public:
    LogRecordStore() = default;
    virtual ~LogRecordStore() = default;

    // Reads the log copy page by page, completes the fixups of its record pages and stores its
    // log records with an LSN index. 0 (also after Stop) or a negative code.
    int Load(File& logCopy, uint32_t clusterSize, uint32_t bytesPerSector, uint32_t recordSize,
             ProgressDialog& progress);
};

}  // namespace qv
