// Event filters: attached by the trace log to the category groups that a
// trace configuration's filter entries accept. Every filter of a group is
// asked about each event of the group; the event is kept when at least one
// says yes.
//
// Filters are owned by the trace log and called on any thread that adds an
// event, so they must be thread-safe; the filters here hold no mutable state.

#ifndef BASE_TRACE_EVENT_TRACE_EVENT_FILTER_H_
#define BASE_TRACE_EVENT_TRACE_EVENT_FILTER_H_

#include <memory>
#include <string>
#include <unordered_set>

#include "base/callback.h"

namespace base {

class DictionaryValue;

namespace trace_event {

class TraceEvent;

// Predicate names of the filter entries.
inline constexpr char kEventWhitelistPredicate[] = "event_whitelist_predicate";
inline constexpr char kHeapProfilerPredicate[] = "heap_profiler_predicate";
inline constexpr char kTestingPredicate[] = "testing_predicate";

class TraceEventFilter {
 public:
  virtual ~TraceEventFilter() = default;
  // True when |event| passes.
  virtual bool FilterTraceEvent(const TraceEvent& event) const = 0;
  // Called when a scoped event of a filtered group ends.
  virtual void EndEvent(const char* event_name,
                        const char* category_group) const {}
};

// Keeps the events whose names are in the entry's "event_name_whitelist".
class EventNameFilter : public TraceEventFilter {
 public:
  // Reads the string elements of the list "event_name_whitelist" of |args|
  // (which may be null); other elements are skipped.
  explicit EventNameFilter(const DictionaryValue* args);
  ~EventNameFilter() override;

  bool FilterTraceEvent(const TraceEvent& event) const override;

 private:
  std::unordered_set<std::string> whitelist_;
};

// Keeps every event. Heap profiling hooks its pseudo stack in here: a
// context tracker, when one is set, is told of each begin and end.
class HeapProfilerEventFilter : public TraceEventFilter {
 public:
  // Receives (phase, event name) of every kept event without the copy
  // flag, and 'E' at the end of a scoped event; see the heap profiler.
  using PseudoStackHook = void (*)(char phase, const char* name);
  static void SetPseudoStackHook(PseudoStackHook hook);

  HeapProfilerEventFilter();
  ~HeapProfilerEventFilter() override;

  bool FilterTraceEvent(const TraceEvent& event) const override;
  void EndEvent(const char* event_name,
                const char* category_group) const override;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_EVENT_FILTER_H_
