#include "base/trace_event/trace_event_etw_export.h"

namespace base {
namespace trace_event {

// No Event Tracing here: every step of the exporter is a no-op.
EtwFunctions GetPlatformEtwFunctions() { return EtwFunctions(); }

}  // namespace trace_event
}  // namespace base
