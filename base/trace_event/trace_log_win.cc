#include <windows.h>

#include "base/trace_event/trace_log.h"
#include "base/win/windows_version.h"

namespace base {
namespace trace_event {
namespace internal {

int GetCurrentProcessIdForTracing() {
  return static_cast<int>(::GetCurrentProcessId());
}

int GetLogicalProcessorCount() {
  return win::OSInfo::GetInstance()->processor_count();
}

}  // namespace internal
}  // namespace trace_event
}  // namespace base
