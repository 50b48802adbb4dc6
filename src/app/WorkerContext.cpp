#include "app/WorkerContext.h"

namespace qv {

WorkerContext::WorkerContext() = default;
WorkerContext::~WorkerContext() = default;

}  // namespace qv
