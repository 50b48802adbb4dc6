#include "deepscan/DeepScan.h"

#include "app/ProgressDialog.h"
#include "deepscan/LogRecordStore.h"

namespace qv {

int RollBackDeletedFiles(DeletedFileMap& files, LogRecordStore&, uint32_t, VolumeReader*,
                         ProgressDialog& progress) {
    // Files without a base record yield nothing; the rollback itself is being built.
    for (auto it = files.begin(); it != files.end();) {
        if (progress.IsCancelled()) break;
        if (!it->second->HasBaseImage()) {
            it = files.erase(it);
        } else {
            ++it;
        }
        progress.Step(1);
    }
    return 0;
}

}  // namespace qv
