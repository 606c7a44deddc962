#include "base/trace_event/trace_event_filter.h"

#include <atomic>

#include "base/trace_event/trace_event_record.h"
#include "base/values.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kEventNameWhitelist[] = "event_name_whitelist";

std::atomic<HeapProfilerEventFilter::PseudoStackHook> g_pseudo_stack_hook{
    nullptr};

}  // namespace

EventNameFilter::EventNameFilter(const DictionaryValue* args) {
  const ListValue* names = nullptr;
  if (!args || !args->GetList(kEventNameWhitelist, &names)) return;
  for (size_t i = 0; i < names->GetSize(); ++i) {
    std::string name;
    if (names->GetString(i, &name)) whitelist_.insert(name);
  }
}

EventNameFilter::~EventNameFilter() = default;

bool EventNameFilter::FilterTraceEvent(const TraceEvent& event) const {
  return event.name() && whitelist_.count(event.name()) != 0;
}

// static
void HeapProfilerEventFilter::SetPseudoStackHook(PseudoStackHook hook) {
  g_pseudo_stack_hook.store(hook, std::memory_order_release);
}

HeapProfilerEventFilter::HeapProfilerEventFilter() = default;

HeapProfilerEventFilter::~HeapProfilerEventFilter() = default;

bool HeapProfilerEventFilter::FilterTraceEvent(const TraceEvent& event) const {
  PseudoStackHook hook = g_pseudo_stack_hook.load(std::memory_order_acquire);
  // Copied names die with the record; the stack keeps pointers.
  if (hook && !(event.flags() & kFlagCopy)) hook(event.phase(), event.name());
  return true;
}

void HeapProfilerEventFilter::EndEvent(const char* event_name,
                                       const char* category_group) const {
  PseudoStackHook hook = g_pseudo_stack_hook.load(std::memory_order_acquire);
  if (hook) hook('E', event_name);
}

}  // namespace trace_event
}  // namespace base
