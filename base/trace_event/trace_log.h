// TraceLog: the process-wide recorder of trace events. The runtime marks its
// work (task posting and running, window-message handling, worker pools)
// with named events in named category groups. Each call site first asks for
// its group's enabled-state byte and does nothing more while the byte has
// none of the bits in kEnabledMask, so disabled tracing costs one byte test.
//
// SetEnabled switches recording on for the groups a TraceConfig accepts;
// events then go into the trace buffer chosen by the options: threads with
// a message loop fill a private chunk of 64 events without a lock, other
// threads share one chunk under the log's lock. FlushAsJSON switches
// recording off, gathers every thread's chunk and writes the trace.
//
// Locks: lock_ guards the buffer, the shared chunk, the configuration,
// metadata and observers; thread_info_lock_ guards thread names, colours
// and begin-time stacks. lock_ is always taken first. Observers and
// callbacks are called with no lock held. Use the helpers of trace_event.h
// rather than calling the add functions directly. All functions may be
// called from any thread.

#ifndef BASE_TRACE_EVENT_TRACE_LOG_H_
#define BASE_TRACE_EVENT_TRACE_LOG_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <map>
#include <memory>
#include <stack>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/trace_event/memory_dump_provider.h"
#include "base/trace_event/trace_config.h"
#include "base/trace_event/trace_event_record.h"
#include "base/trace_event/trace_log_constants.h"

namespace base {

class SequencedTaskRunner;

namespace trace_event {

class TraceBuffer;
class TraceBufferChunk;
class TraceEventFilter;

// Also a memory-dump provider ("TraceLog"): it reports its own memory use
// under "tracing/main_trace_log", and each thread's event buffer under
// "tracing/thread_<id>". Its own allocations are hidden from the heap
// profiler.
class TraceLog : public MemoryDumpProvider {
 public:
  enum Mode { DISABLED = 0, RECORDING_MODE = 1 };

  // Told when recording starts and stops, on the thread that changed it.
  class EnabledStateObserver {
   public:
    virtual ~EnabledStateObserver() = default;
    virtual void OnTraceLogEnabled() = 0;
    virtual void OnTraceLogDisabled() = 0;
  };

  // The same, told on the task runner of the thread that added it, through
  // a weak pointer.
  class AsyncEnabledStateObserver {
   public:
    virtual ~AsyncEnabledStateObserver() = default;
    virtual void OnTraceLogEnabled() = 0;
    virtual void OnTraceLogDisabled() = 0;
  };

  // Receives every event of the groups the callback configuration accepts
  // (phase 'X' is passed as 'B', its end as 'E').
  using EventCallback = void (*)(TimeTicks timestamp, char phase,
                                 const unsigned char* category_state,
                                 const char* name, unsigned long long id,
                                 int num_args, const char* const* arg_names,
                                 const unsigned char* arg_types,
                                 const unsigned long long* arg_values,
                                 unsigned int flags);

  // Makes the filter of a "testing_predicate" entry.
  using FilterFactoryForTesting =
      std::unique_ptr<TraceEventFilter> (*)(const std::string& predicate_name);

  // Number of category groups the log can hold; the first four are built in.
  static constexpr int kMaxCategoryGroups = 200;
  static constexpr int kBuiltInCategoryGroups = 4;
  // Group 2: what every group past the 200th shares.
  static constexpr int kCategoryExhaustedIndex = 2;

  // The singleton, created on first use and never destroyed.
  static TraceLog* GetInstance();

  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // --- Category groups

  // The enabled-state byte of the group |name| (registered on first use),
  // never null; callers keep the pointer. Once all groups are taken, the
  // byte of group 2 ("tracing categories exhausted; ...") is returned.
  const unsigned char* GetCategoryGroupEnabled(const char* name);
  // The name of the group a state byte belongs to.
  static const char* GetCategoryGroupName(const unsigned char* category_state);

  // --- Enabling

  // Starts recording the groups |config| accepts into the buffer |options|
  // (kTraceOption*) pick: the generation moves on, every state byte is
  // recomputed, and the observers are told with no lock held. While
  // recording, a call with other options is refused (logged).
  void SetEnabled(const TraceConfig& config, unsigned int options);
  // Stops recording and writes the metadata events; harmless when off.
  void SetDisabled();
  bool IsEnabled();
  unsigned int trace_options() const {
    return trace_options_.load(std::memory_order_relaxed);
  }
  TraceConfig GetCurrentTraceConfig();

  void SetEventCallbackEnabled(const TraceConfig& config,
                               EventCallback callback);
  void SetEventCallbackDisabled();
  // Runs |callback| (on the adding thread, no lock held) whenever an event
  // |event_name| of the group |category_name| is added.
  void SetWatchEvent(const std::string& category_name,
                     const std::string& event_name, const Closure& callback);
  void CancelWatchEvent();
  // Recomputes the ETW bit of every group (after the export changed).
  void UpdateETWCategoryGroupEnabledFlags();

  void AddEnabledStateObserver(EnabledStateObserver* observer);
  // Removes the first equal entry.
  void RemoveEnabledStateObserver(EnabledStateObserver* observer);
  bool HasEnabledStateObserver(EnabledStateObserver* observer);
  // Told on the calling thread's task runner.
  void AddAsyncEnabledStateObserver(
      WeakPtr<AsyncEnabledStateObserver> observer);
  void RemoveAsyncEnabledStateObserver(AsyncEnabledStateObserver* observer);

  // --- Adding events

  // Adds one event; at most two arguments are stored. Returns the null
  // handle when nothing was stored (recording off, filtered out, buffer
  // full, or a re-entrant call from inside the log on this thread).
  TraceEventHandle AddTraceEventWithThreadIdAndTimestamp(
      char phase, const unsigned char* category_state, const char* name,
      const char* scope, unsigned long long id, unsigned long long bind_id,
      int thread_id, const TimeTicks& timestamp, int num_args,
      const char* const* arg_names, const unsigned char* arg_types,
      const unsigned long long* arg_values,
      std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
      unsigned int flags);

  // Closes the complete event |handle|; nothing for the null handle.
  void UpdateTraceEventDuration(const unsigned char* category_state,
                                const char* name, TraceEventHandle handle);
  // Ends a filtered event (state byte with kEnabledForFiltering): every
  // filter of the group is told, in order.
  void EndFilteredEvent(const unsigned char* category_state, const char* name,
                        TraceEventHandle handle);
  // Keeps a phase 'M' event that is written with the metadata when
  // recording stops.
  void AddMetadataEvent(
      const unsigned char* category_state, const char* name, int num_args,
      const char* const* arg_names, const unsigned char* arg_types,
      const unsigned long long* arg_values,
      std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
      unsigned int flags);

  // The calling thread's id, read from the system once per thread.
  static int CurrentThreadId();

  // The calling thread stops using a private chunk: it blocks its loop, so
  // a flush could not reach it.
  void SetCurrentThreadBlocksMessageLoop();
  // Gives the calling thread its private event buffer now, when it has a
  // message loop (and does not block it).
  void InitializeThreadLocalEventBuffer();

  // MemoryDumpProvider: the log's and its buffer's cost, always true.
  bool OnMemoryDump(const MemoryDumpArgs& args,
                    ProcessMemoryDump* pmd) override;

  // --- Metadata

  void SetProcessName(const std::string& name);
  void UpdateProcessLabel(int label_id, const std::string& label);
  void RemoveProcessLabel(int label_id);
  void SetProcessSortIndex(int sort_index);
  void SetThreadSortIndex(int thread_id, int sort_index);
  // Subtracted (saturating) from every event's timestamp.
  void SetTimeOffset(TimeDelta offset);
  int process_id() const { return process_id_; }
  uint64_t process_id_hash() const { return process_id_hash_; }

  // --- Output

  // Stops recording, gathers every thread's chunk (threads with a message
  // loop hand theirs back in a posted task; one that does not answer within
  // |thread_wait| is skipped and logged, never read while it writes), moves
  // the generation on and returns the whole trace as
  // {"traceEvents":[...]} with a fresh buffer left behind.
  std::string FlushAsJSON(TimeDelta thread_wait);

  // --- For tests

  // The stored event |handle| names, or null (same thread or under the
  // lock: only for single-threaded tests).
  TraceEvent* GetEventByHandle(TraceEventHandle handle);
  uint32_t generation() const {
    return generation_.load(std::memory_order_acquire);
  }
  void SetFilterFactoryForTesting(FilterFactoryForTesting factory);
  // Every thread name recorded for |thread_id|, joined by ",".
  std::string GetThreadNameForTesting(int thread_id);
  // Replaces the buffer (recording must be off).
  void SetTraceBufferForTesting(std::unique_ptr<TraceBuffer> buffer);
  // Replaces the thread CPU clock (ThreadTicks::Now); benchmarks use it to
  // tell the clock's cost from the log's own.
  using ThreadClock = ThreadTicks (*)();
  void SetThreadClockForTesting(ThreadClock clock);

 private:
  class ThreadLocalEventBuffer;
  struct ThreadState;
  class OptionalAutoLock;
  using FilterList = std::vector<std::unique_ptr<TraceEventFilter>>;

  TraceLog();
  // Never destroyed: call sites keep pointers into its state table.
  ~TraceLog() override;

  static ThreadState* GetThreadState();
  static ThreadState* GetThreadStateIfAny();

  void UpdateCategoryGroupEnabledFlags();
  void UpdateCategoryGroupEnabledFlag(int index);
  std::unique_ptr<TraceEventFilter> CreateFilter(
      const TraceConfig::EventFilterConfig& entry);
  // False when every filter of the group refuses |event|.
  bool FilterEvent(const unsigned char* category_state,
                   const TraceEvent& event);

  ThreadLocalEventBuffer* InitializeThreadLocalEventBufferIfSupported(
      ThreadState* state);
  void UpdateThreadName(ThreadState* state, int thread_id);
  TraceEvent* AddEventToThreadSharedChunkWhileLocked(TraceEventHandle* handle,
                                                     bool check_buffer_full);
  void CheckIfBufferIsFullWhileLocked();
  TraceEvent* GetEventByHandleInternal(TraceEventHandle handle,
                                       OptionalAutoLock* lock);
  void SetDisabledWhileLocked();
  void AddMetadataEventsWhileLocked();
  void NotifyDisabledWhileLocked();
  std::string EventToConsoleMessage(char phase, TimeTicks timestamp,
                                    const TraceEvent* event);
  void RunWatchCallback(const unsigned char* category_state, const char* name);
  TimeTicks OffsetNow() const;
  ThreadTicks ThreadNow() const;
  TimeTicks OffsetTimestamp(TimeTicks timestamp) const;

  mutable Lock lock_;
  Lock thread_info_lock_;

  // Under lock_.
  Mode mode_ = DISABLED;
  bool dispatching_to_observers_ = false;
  std::unique_ptr<TraceBuffer> buffer_;
  std::vector<std::unique_ptr<TraceEvent>> metadata_events_;
  std::vector<EnabledStateObserver*> enabled_state_observers_;
  std::map<AsyncEnabledStateObserver*,
           std::pair<WeakPtr<AsyncEnabledStateObserver>,
                     ScopedRefPtr<SequencedTaskRunner>>>
      async_observers_;
  std::string process_name_;
  std::map<int, std::string> process_labels_;
  int process_sort_index_ = 0;
  std::map<int, int> thread_sort_indices_;
  TimeTicks buffer_limit_reached_timestamp_;
  TraceConfig trace_config_;
  TraceConfig event_callback_trace_config_;
  std::string watch_event_name_;
  Closure watch_event_callback_;
  // Loops whose threads hold a private chunk, with their runners.
  std::map<const void*, ScopedRefPtr<SequencedTaskRunner>>
      thread_message_loops_;
  std::unique_ptr<TraceBufferChunk> thread_shared_chunk_;
  size_t thread_shared_chunk_index_ = 0;
  FilterFactoryForTesting filter_factory_for_testing_ = nullptr;
  // Filter lists replaced while another thread may still read them.
  std::vector<std::unique_ptr<FilterList>> retired_filter_lists_;

  // Under thread_info_lock_.
  std::unordered_map<int, std::string> thread_names_;
  std::map<std::string, int> thread_colors_;
  std::unordered_map<int, std::stack<TimeTicks>> thread_event_start_times_;

  // Read without a lock.
  std::atomic<unsigned int> trace_options_;
  std::atomic<uint32_t> generation_{0};
  std::atomic<int64_t> time_offset_us_{0};
  std::atomic<const unsigned char*> watch_category_{nullptr};
  std::atomic<EventCallback> event_callback_{nullptr};
  std::atomic<ThreadClock> thread_clock_;
  const int process_id_;
  const uint64_t process_id_hash_;
};

namespace internal {

// What the platform says (trace_log_win.cc, trace_log_posix.cc).
int GetCurrentProcessIdForTracing();
int GetLogicalProcessorCount();

}  // namespace internal

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_TRACE_LOG_H_
