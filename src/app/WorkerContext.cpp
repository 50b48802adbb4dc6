#include "app/WorkerContext.h"

#include "scan/DeletedFileEntry.h"
#include "scan/ScanSession.h"

namespace qv {

WorkerContext::WorkerContext() = default;

WorkerContext::~WorkerContext() {
    session.reset();
    ClearResults();
}

}  // namespace qv
