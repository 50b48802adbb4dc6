#pragma once

#include <cstdint>
#include <vector>

namespace qv {

// One FILE record of a deleted file as read from the $MFT copy (fixups not applied), with the
// bookkeeping of the log rollback.
struct RecordImage {
    std::vector<uint8_t> image;  // the volume's record size
    uint64_t lsn = 0;            // the $LogFile sequence number to roll back from next
    uint64_t recordNumber = 0;
    bool done = false;
};

}  // namespace qv
