#include <windows.h>
// evntprov.h needs windows.h first.
#include <evntprov.h>
#include <stddef.h>

#include "base/files/file_path.h"
#include "base/process/native_library.h"
#include "base/trace_event/trace_event_etw_export.h"

namespace base {
namespace trace_event {

// The table's structures must be the system's byte for byte.
static_assert(sizeof(EtwGuid) == sizeof(GUID));
static_assert(sizeof(EtwEventDescriptor) == sizeof(EVENT_DESCRIPTOR));
static_assert(offsetof(EtwEventDescriptor, keyword) ==
              offsetof(EVENT_DESCRIPTOR, Keyword));
static_assert(sizeof(EtwDataDescriptor) == sizeof(EVENT_DATA_DESCRIPTOR));
static_assert(offsetof(EtwDataDescriptor, size) ==
              offsetof(EVENT_DATA_DESCRIPTOR, Size));
static_assert(sizeof(REGHANDLE) == sizeof(uint64_t));

namespace {

constexpr char16_t kAdvapiLibrary[] = u"Advapi32.dll";

}  // namespace

EtwFunctions GetPlatformEtwFunctions() {
  // Loaded once and never freed: the exporter may write until the process
  // ends.
  static ScopedNativeLibrary* const library =
      new ScopedNativeLibrary(FilePath(kAdvapiLibrary));
  EtwFunctions functions;
  if (!library->is_valid()) return functions;
  functions.event_register =
      reinterpret_cast<decltype(functions.event_register)>(
          library->GetFunctionPointer("EventRegister"));
  functions.event_write = reinterpret_cast<decltype(functions.event_write)>(
      library->GetFunctionPointer("EventWrite"));
  functions.event_unregister =
      reinterpret_cast<decltype(functions.event_unregister)>(
          library->GetFunctionPointer("EventUnregister"));
  return functions;
}

}  // namespace trace_event
}  // namespace base
