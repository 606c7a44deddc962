// TraceLog: the process-wide recorder of trace events. The runtime marks its
// work (task posting and running, window-message handling) with named events
// in named category groups. Each call site first asks for its group's
// enabled-state byte and does nothing more while the byte has none of the
// bits in kEnabledMask, so disabled tracing costs one byte test.
//
// This build never switches recording on: every state byte stays 0 and the
// add calls store nothing. The interface is the one a recording log keeps.
// Use the helpers of trace_event.h rather than calling this class directly.

#ifndef BASE_TRACE_EVENT_TRACE_LOG_H_
#define BASE_TRACE_EVENT_TRACE_LOG_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/synchronization/lock.h"
#include "base/time/time.h"

namespace base {
namespace trace_event {

// Bits of a category group's enabled-state byte.
inline constexpr unsigned char kEnabledForRecording = 0x01;
inline constexpr unsigned char kEnabledForEventCallback = 0x04;
inline constexpr unsigned char kEnabledForEtwExport = 0x08;
inline constexpr unsigned char kEnabledForFiltering = 0x10;
// Any of these means "record".
inline constexpr unsigned char kEnabledMask = 0x1D;

// Phases of the events the runtime adds.
inline constexpr char kPhaseComplete = 'X';
inline constexpr char kPhaseFlowBegin = 's';
inline constexpr char kPhaseFlowEnd = 'f';

// Argument types.
inline constexpr unsigned char kArgTypeBool = 1;
inline constexpr unsigned char kArgTypeUInt = 2;
inline constexpr unsigned char kArgTypeInt = 3;
inline constexpr unsigned char kArgTypeDouble = 4;
inline constexpr unsigned char kArgTypePointer = 5;
inline constexpr unsigned char kArgTypeString = 6;
inline constexpr unsigned char kArgTypeCopyString = 7;
inline constexpr unsigned char kArgTypeConvertable = 8;

// Event flags.
inline constexpr unsigned int kFlagNone = 0;
inline constexpr unsigned int kFlagHasId = 0x02;
inline constexpr unsigned int kFlagBindToEnclosing = 0x80;
inline constexpr unsigned int kFlagFlowIn = 0x100;
inline constexpr unsigned int kFlagFlowOut = 0x200;

// Names one stored event, so that the end of a complete event finds it
// again. All zero: no event was stored.
struct TraceEventHandle {
  uint32_t chunk_seq = 0;
  uint32_t chunk_index : 26 = 0;
  uint32_t event_index : 6 = 0;

  bool is_null() const {
    return chunk_seq == 0 && chunk_index == 0 && event_index == 0;
  }
};

// An argument that writes itself as trace-format JSON.
class ConvertableToTraceFormat {
 public:
  virtual ~ConvertableToTraceFormat() = default;
  virtual void AppendAsTraceFormat(std::string* out) const = 0;
};

class TraceLog {
 public:
  // Number of category groups the log can hold.
  static constexpr int kMaxCategoryGroups = 200;

  // The singleton, created on first use and never destroyed.
  static TraceLog* GetInstance();

  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // The enabled-state byte of the group |name| (registered on first use),
  // never null; callers keep the pointer. Once all groups are taken, the
  // byte of the "categories exhausted" group is returned.
  const unsigned char* GetCategoryGroupEnabled(const char* name);
  // The name of the group a state byte belongs to.
  const char* GetCategoryGroupName(const unsigned char* category_state) const;

  // Adds one event; at most two arguments are stored. Returns the null
  // handle when nothing was stored.
  TraceEventHandle AddTraceEventWithThreadIdAndTimestamp(
      char phase, const unsigned char* category_state, const char* name,
      const char* scope, unsigned long long id, unsigned long long bind_id,
      int thread_id, const TimeTicks& timestamp, int num_args,
      const char* const* arg_names, const unsigned char* arg_types,
      const unsigned long long* arg_values,
      std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
      unsigned int flags);

  // Closes the complete event |handle|.
  void UpdateTraceEventDuration(const unsigned char* category_state,
                                const char* name, TraceEventHandle handle);
  // Ends a filtered event (state byte with kEnabledForFiltering).
  void EndFilteredEvent(const unsigned char* category_state, const char* name,
                        TraceEventHandle handle);

 private:
  TraceLog();
  ~TraceLog() = delete;

  // Names and state bytes of the groups, index for index. Names are stored
  // before the count is raised, so lock-free readers never see a missing
  // name.
  const char* group_names_[kMaxCategoryGroups] = {};
  unsigned char group_enabled_[kMaxCategoryGroups] = {};
  std::atomic<int> group_count_{0};
  Lock lock_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_H_
