#include "deepscan/LogRecordStore.h"

namespace qv {

int LogRecordStore::Load(File&, uint32_t, uint32_t, uint32_t, ProgressDialog&) {
    return 0;
}

}  // namespace qv
