// The rollback side of DeletedFileImages.
#include "scan/DeletedFileImages.h"

namespace qv {

int DeletedFileImages::PopNewest(uint64_t& lsn, uint64_t& recordNumber) {
    lsn = 0;
    recordNumber = 0;
    return 0;
}

int DeletedFileImages::ApplyChange(uint64_t, uint32_t, uint32_t, ByteSpan, int32_t) {
    return 0;
}

}  // namespace qv
