#include "base/trace_event/trace_log.h"

#include <stddef.h>
#include <string.h>

namespace base {
namespace trace_event {

namespace {

// The built-in groups, in their fixed order.
constexpr const char* kBuiltInGroups[] = {
    "toplevel",
    "tracing already shutdown",
    "tracing categories exhausted; must increase MAX_CATEGORY_GROUPS",
    "__metadata",
};
constexpr int kCategoryExhausted = 2;

}  // namespace

// static
TraceLog* TraceLog::GetInstance() {
  // Leaked on purpose: call sites keep pointers into its state table.
  static TraceLog* const instance = new TraceLog;
  return instance;
}

TraceLog::TraceLog() {
  int count = 0;
  for (const char* name : kBuiltInGroups) group_names_[count++] = name;
  group_count_.store(count, std::memory_order_release);
}

const unsigned char* TraceLog::GetCategoryGroupEnabled(const char* name) {
  int count = group_count_.load(std::memory_order_acquire);
  for (int i = 0; i < count; ++i) {
    if (strcmp(group_names_[i], name) == 0) return &group_enabled_[i];
  }

  AutoLock hold(lock_);
  // Another thread may have added the group since the unlocked search.
  count = group_count_.load(std::memory_order_relaxed);
  for (int i = 0; i < count; ++i) {
    if (strcmp(group_names_[i], name) == 0) return &group_enabled_[i];
  }
  if (count >= kMaxCategoryGroups) return &group_enabled_[kCategoryExhausted];
  group_names_[count] = strdup(name);
  // Nothing ever enables recording here, so the new group's state is 0.
  group_enabled_[count] = 0;
  group_count_.store(count + 1, std::memory_order_release);
  return &group_enabled_[count];
}

const char* TraceLog::GetCategoryGroupName(
    const unsigned char* category_state) const {
  ptrdiff_t index = category_state - group_enabled_;
  if (index < 0 || index >= group_count_.load(std::memory_order_acquire))
    return kBuiltInGroups[1];
  return group_names_[index];
}

TraceEventHandle TraceLog::AddTraceEventWithThreadIdAndTimestamp(
    char phase, const unsigned char* category_state, const char* name,
    const char* scope, unsigned long long id, unsigned long long bind_id,
    int thread_id, const TimeTicks& timestamp, int num_args,
    const char* const* arg_names, const unsigned char* arg_types,
    const unsigned long long* arg_values,
    std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
    unsigned int flags) {
  return TraceEventHandle();
}

void TraceLog::UpdateTraceEventDuration(const unsigned char* category_state,
                                        const char* name,
                                        TraceEventHandle handle) {}

void TraceLog::EndFilteredEvent(const unsigned char* category_state,
                                const char* name, TraceEventHandle handle) {}

}  // namespace trace_event
}  // namespace base
