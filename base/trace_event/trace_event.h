// The runtime's trace points: a complete event around a scope and the flow
// events that tie a posted task to its run. Every helper tests its category
// group's state byte first and does nothing more while tracing is off.
//
//   static const unsigned char* const kToplevel =
//       TraceCategoryState("toplevel");  // once per call site
//   ScopedTraceEvent event(kToplevel, "MessageLoop::RunTask", "src_file",
//                          file, "src_func", function);

#ifndef BASE_TRACE_EVENT_TRACE_EVENT_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_H_

#include <stdint.h>

#include "base/trace_event/trace_log.h"

namespace base {
namespace trace_event {

// The state byte of |category_group|; call sites keep it in a static.
inline const unsigned char* TraceCategoryState(const char* category_group) {
  return TraceLog::GetInstance()->GetCategoryGroupEnabled(category_group);
}

inline bool IsCategoryEnabled(const unsigned char* category_state) {
  return (LoadCategoryState(category_state) & kEnabledMask) != 0;
}

// A complete event ('X') from construction to destruction, with up to two
// string arguments (a null name leaves the argument out). The texts must
// outlive the scope.
class ScopedTraceEvent {
 public:
  // The category test is inline: a disabled site costs one byte load.
  ScopedTraceEvent(const unsigned char* category_state, const char* name,
                   const char* arg1_name = nullptr,
                   const char* arg1_value = nullptr,
                   const char* arg2_name = nullptr,
                   const char* arg2_value = nullptr)
      : category_state_(category_state), name_(name) {
    if (IsCategoryEnabled(category_state))
      BeginWithStrings(arg1_name, arg1_value, arg2_name, arg2_value);
  }
  // With one integer argument.
  ScopedTraceEvent(const unsigned char* category_state, const char* name,
                   const char* arg_name, int arg_value)
      : category_state_(category_state), name_(name) {
    if (IsCategoryEnabled(category_state)) BeginWithInt(arg_name, arg_value);
  }
  ScopedTraceEvent(const ScopedTraceEvent&) = delete;
  ScopedTraceEvent& operator=(const ScopedTraceEvent&) = delete;
  ~ScopedTraceEvent() {
    if (begun_) End();
  }

 private:
  void BeginWithStrings(const char* arg1_name, const char* arg1_value,
                        const char* arg2_name, const char* arg2_value);
  void BeginWithInt(const char* arg_name, int arg_value);
  void Begin(int num_args, const char* const* arg_names,
             const unsigned char* arg_types,
             const unsigned long long* arg_values);
  void End();

  const unsigned char* const category_state_;
  const char* const name_;
  TraceEventHandle handle_;
  bool begun_ = false;
};

// A flow event: kPhaseFlowBegin where a task is queued, kPhaseFlowEnd
// where it runs, joined by |id|. An argument is added when |arg_name| is
// not null.
void AddFlowEvent(char phase, const unsigned char* category_state,
                  const char* name, uint64_t id, const char* arg_name = nullptr,
                  int64_t arg_value = 0);

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_H_
