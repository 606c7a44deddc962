#include <windows.h>

#include "base/logging.h"
#include "base/pending_task.h"
#include "base/threading/worker_pool.h"

namespace base {
namespace internal {

namespace {

DWORD CALLBACK WorkItemCallback(void* parameter) {
  RunWorkerPoolItem(static_cast<PendingTask*>(parameter));
  return 0;
}

}  // namespace

bool QueueWorkItemToSystemPool(PendingTask* item, bool task_is_slow) {
  const ULONG flags = task_is_slow ? WT_EXECUTELONGFUNCTION : 0;
  if (::QueueUserWorkItem(&WorkItemCallback, item, flags)) return true;
  DPLOG(ERROR) << "QueueUserWorkItem";
  return false;
}

}  // namespace internal
}  // namespace base
