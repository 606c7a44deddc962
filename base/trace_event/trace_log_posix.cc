#include <unistd.h>

#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {
namespace internal {

int GetCurrentProcessIdForTracing() { return static_cast<int>(getpid()); }

int GetLogicalProcessorCount() {
  long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count > 0 ? static_cast<int>(count) : 1;
}

}  // namespace internal
}  // namespace trace_event
}  // namespace base
