#include "base/trace_event/trace_event.h"

#include "base/time/time.h"

namespace base {
namespace trace_event {

namespace {

unsigned long long StringArg(const char* text) {
  return reinterpret_cast<uintptr_t>(text);
}

}  // namespace

void ScopedTraceEvent::BeginWithStrings(const char* arg1_name,
                                        const char* arg1_value,
                                        const char* arg2_name,
                                        const char* arg2_value) {
  const char* names[2];
  unsigned char types[2] = {kArgTypeString, kArgTypeString};
  unsigned long long values[2];
  int count = 0;
  if (arg1_name) {
    names[count] = arg1_name;
    values[count++] = StringArg(arg1_value);
  }
  if (arg2_name) {
    names[count] = arg2_name;
    values[count++] = StringArg(arg2_value);
  }
  Begin(count, names, types, values);
}

void ScopedTraceEvent::BeginWithInt(const char* arg_name, int arg_value) {
  unsigned char type = kArgTypeInt;
  unsigned long long value =
      static_cast<unsigned long long>(static_cast<long long>(arg_value));
  Begin(1, &arg_name, &type, &value);
}

void ScopedTraceEvent::Begin(int num_args, const char* const* arg_names,
                             const unsigned char* arg_types,
                             const unsigned long long* arg_values) {
  begun_ = true;
  handle_ = TraceLog::GetInstance()->AddTraceEventWithThreadIdAndTimestamp(
      kPhaseComplete, category_state_, name_, nullptr, 0, 0,
      TraceLog::CurrentThreadId(), TimeTicks::Now(), num_args, arg_names,
      arg_types, arg_values, nullptr, kFlagNone);
}

void ScopedTraceEvent::End() {
  TraceLog* log = TraceLog::GetInstance();
  log->UpdateTraceEventDuration(category_state_, name_, handle_);
  if (LoadCategoryState(category_state_) & kEnabledForFiltering)
    log->EndFilteredEvent(category_state_, name_, handle_);
}

void AddFlowEvent(char phase, const unsigned char* category_state,
                  const char* name, uint64_t id, const char* arg_name,
                  int64_t arg_value) {
  if (!IsCategoryEnabled(category_state)) return;
  unsigned char type = kArgTypeInt;
  unsigned long long value = static_cast<unsigned long long>(arg_value);
  unsigned int flags = kFlagHasId;
  if (phase == kPhaseFlowEnd) flags |= kFlagBindToEnclosing;
  TraceLog::GetInstance()->AddTraceEventWithThreadIdAndTimestamp(
      phase, category_state, name, nullptr, id, 0, TraceLog::CurrentThreadId(),
      TimeTicks::Now(), arg_name ? 1 : 0, &arg_name, &type, &value, nullptr,
      flags);
}

}  // namespace trace_event
}  // namespace base
