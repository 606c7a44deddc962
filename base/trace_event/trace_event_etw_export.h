// TraceEventETWExport: passes trace events to Event Tracing for Windows. It
// registers one provider; an ETW controller that enables the provider
// records its level and keywords through the enable callback. While the
// export is enabled (EnableETWExport), the trace log sets state bit 0x08 on
// the groups whose categories the export map enables, and every event of
// those groups is written as one ETW event of eight UTF-8 fields: name,
// phase name, then three argument name/value pairs.
//
// The three ETW functions come from a table: "Advapi32.dll" on Windows,
// nothing elsewhere, or a test's recording stand-in. A missing function
// makes its step a no-op.
//
// The exporter is a process-wide singleton created on first use; the at-exit
// scope unregisters it. Its memory is kept after that, so a thread still
// inside AddEvent never touches freed memory; GetInstance then answers null.
// Thread-safe.

#ifndef BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_H_

#include <stdint.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/strings/string_piece.h"
#include "base/synchronization/lock.h"

namespace base {
namespace trace_event {

// Layouts of the Windows ETW structures (GUID, EVENT_DESCRIPTOR,
// EVENT_DATA_DESCRIPTOR), so that the table can be filled on any platform.
struct EtwGuid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
struct EtwEventDescriptor {
  uint16_t id;
  uint8_t version;
  uint8_t channel;
  uint8_t level;
  uint8_t opcode;
  uint16_t task;
  uint64_t keyword;
};
struct EtwDataDescriptor {
  uint64_t ptr;
  uint32_t size;
  uint32_t reserved;
};

// ENABLECALLBACK: control code 1 enables, 0 disables.
using EtwEnableCallback = void (*)(const EtwGuid* source_id,
                                   uint32_t control_code, uint8_t level,
                                   uint64_t match_any_keyword,
                                   uint64_t match_all_keyword,
                                   void* filter_data, void* context);

// EventRegister, EventWrite and EventUnregister; each may be null.
struct EtwFunctions {
  uint32_t (*event_register)(const EtwGuid* provider_id,
                             EtwEnableCallback callback, void* context,
                             uint64_t* handle) = nullptr;
  uint32_t (*event_write)(uint64_t handle, const EtwEventDescriptor* descriptor,
                          uint32_t count, EtwDataDescriptor* data) = nullptr;
  uint32_t (*event_unregister)(uint64_t handle) = nullptr;
};

class TraceEventETWExport {
 public:
  // {D2D578D9-2936-45B6-A09F-30E32715F42D}
  static const EtwGuid kProviderGuid;
  static const EtwEventDescriptor kEventDescriptor;
  static constexpr int kPayloadFields = 8;

  // The exporter, created on first use; null after the at-exit teardown.
  static TraceEventETWExport* GetInstance();

  // Replaces the platform's table for an exporter created afterwards.
  static void SetFunctionsForTesting(const EtwFunctions& functions);
  // Forgets the exporter (kept in memory) so the next GetInstance makes a
  // new one, with the table then set.
  static void ResetForTesting();

  // Switches the export on with the map entries |categories| set (a name
  // may be "__OTHER_EVENTS" or "__DISABLED_OTHER_EVENTS"), then has the
  // trace log recompute its state bytes. Off by default; production never
  // calls it.
  static void EnableETWExport(const std::vector<std::string>& categories);
  static void DisableETWExport();

  // False without an exporter or while the export is off; otherwise true
  // when one category of the comma-separated |group| is enabled.
  static bool IsCategoryGroupEnabled(StringPiece group);

  // Write one event when the export is on and the controller enabled it.
  // At most three arguments; convertable arguments are written empty.
  static void AddEvent(char phase, const char* name, int num_args,
                       const char* const* arg_names,
                       const unsigned char* arg_types,
                       const unsigned long long* arg_values);
  static void AddCompleteEndEvent(const char* name);

  // The payload's text for |phase| ("Complete" for 'X').
  static std::string PhaseName(char phase);

  // The controller's state, as the enable callback left it.
  bool controller_enabled() const;
  bool event_enabled() const;
  uint64_t registration_handle() const;

  TraceEventETWExport(const TraceEventETWExport&) = delete;
  TraceEventETWExport& operator=(const TraceEventETWExport&) = delete;

 private:
  explicit TraceEventETWExport(const EtwFunctions& functions);
  ~TraceEventETWExport() = delete;

  static void OnEnableCallback(const EtwGuid* source_id, uint32_t control_code,
                               uint8_t level, uint64_t match_any_keyword,
                               uint64_t match_all_keyword, void* filter_data,
                               void* context);
  static void TearDownAtExit(void* unused);

  bool IsCategoryEnabled(StringPiece category) const;
  bool CanWrite() const;
  void Write(const std::string* fields);

  const EtwFunctions functions_;
  std::atomic<uint64_t> handle_{0};
  std::atomic<bool> export_enabled_{false};

  // The provider context of the enable callback.
  std::atomic<bool> controller_enabled_{false};
  std::atomic<uint8_t> enable_level_{0};
  std::atomic<uint64_t> match_any_keyword_{0};
  std::atomic<uint64_t> match_all_keyword_{0};
  std::atomic<bool> event_enabled_{false};

  mutable Lock lock_;
  std::map<std::string, bool> categories_;
};

// The platform's table (Windows: "Advapi32.dll", loaded once and kept).
EtwFunctions GetPlatformEtwFunctions();

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_ETW_EXPORT_H_
