// MemoryDumpManager: the process-wide registry of memory-dump providers and
// the driver of memory-infra tracing. While the trace log records with the
// category "disabled-by-default-memory-infra", the manager runs a
// "MemoryInfra" thread, keeps the trace configuration's dump settings in a
// tracing state, writes the heap profiler's tables into the trace when heap
// profiling is on ("enable-heap-profiling"), and, as the coordinating
// process with dump triggers configured, requests global dumps
// periodically. Each request goes to the embedder's delegate, bracketed by
// "GlobalMemoryDump" trace events. This program supplies no delegate and
// makes no process the coordinator.
//
// The manager is made on first use and never destroyed. Its construction
// must not reach the trace log: the trace log's own construction registers
// with the manager. Thread-safe; observers are told by the trace log with
// no lock held.

#ifndef BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_
#define BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <set>
#include <vector>

#include "base/memory/ref_counted.h"
#include "base/synchronization/lock.h"
#include "base/trace_event/memory_dump_provider.h"
#include "base/trace_event/memory_dump_request_args.h"
#include "base/trace_event/trace_config.h"
#include "base/trace_event/trace_log.h"

namespace base {

class RepeatingTimer;
class SequencedTaskRunner;
class Thread;

namespace trace_event {

class StackFrameDeduplicator;
class TypeNameDeduplicator;

// What memory-infra tracing keeps while it runs: the configuration's dump
// settings and, with heap profiling, the heap profiler's tables.
class MemoryDumpTracingState : public RefCounted<MemoryDumpTracingState> {
 public:
  explicit MemoryDumpTracingState(const TraceConfig::MemoryDumpConfig& config);

  // Makes both tables (heap profiling on).
  void CreateDeduplicators();
  StackFrameDeduplicator* stack_frame_deduplicator() const {
    return stack_frame_deduplicator_.get();
  }
  TypeNameDeduplicator* type_name_deduplicator() const {
    return type_name_deduplicator_.get();
  }
  bool IsDumpModeAllowed(MemoryDumpLevelOfDetail level) const;
  const TraceConfig::MemoryDumpConfig& config() const { return config_; }

 private:
  friend class RefCounted<MemoryDumpTracingState>;
  ~MemoryDumpTracingState();

  const TraceConfig::MemoryDumpConfig config_;
  std::unique_ptr<StackFrameDeduplicator> stack_frame_deduplicator_;
  std::unique_ptr<TypeNameDeduplicator> type_name_deduplicator_;
};

// The levels of the periodic dumps: the smallest trigger period is the
// tick; every light-period-th tick is light, every heavy-period-th
// detailed (that wins), the rest background.
class PeriodicDumpSchedule {
 public:
  // Nothing to run when |triggers| is empty (false). Periods of 0 are
  // outside the contract.
  bool Start(
      const std::vector<TraceConfig::MemoryDumpConfig::Trigger>& triggers);
  uint32_t period_ms() const { return period_ms_; }
  MemoryDumpLevelOfDetail NextLevel();

 private:
  uint32_t period_ms_ = 0;
  uint32_t light_rate_ = 0;
  uint32_t heavy_rate_ = 0;
  uint32_t dump_count_ = 0;
};

class MemoryDumpManager : public TraceLog::EnabledStateObserver {
 public:
  static constexpr char kTraceCategory[] = "disabled-by-default-memory-infra";
  static constexpr char kDumpThreadName[] = "MemoryInfra";

  // The embedder's global-dump service: collects every process's dump and
  // completes the request through |callback|.
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void RequestGlobalMemoryDump(
        const MemoryDumpRequestArgs& args,
        const GlobalMemoryDumpCallback& callback) = 0;
  };

  static MemoryDumpManager* GetInstance();

  // The embedder's hook (nothing in this program calls it): the delegate
  // and whether this process coordinates the periodic dumps.
  void Initialize(Delegate* delegate, bool is_coordinator);

  // |name| must be a literal; |task_runner| may be null.
  void RegisterDumpProvider(MemoryDumpProvider* provider, const char* name,
                            ScopedRefPtr<SequencedTaskRunner> task_runner,
                            const MemoryDumpProvider::Options& options);
  // Nothing for a provider that is not registered.
  void UnregisterDumpProvider(MemoryDumpProvider* provider);

  // Hands a dump request to the delegate when memory-infra tracing is on
  // and |level| is allowed; otherwise |callback| (may be null) hears
  // failure with id 0.
  void RequestGlobalDump(MemoryDumpLevelOfDetail level,
                         const GlobalMemoryDumpCallback& callback);

  // TraceLog::EnabledStateObserver:
  void OnTraceLogEnabled() override;
  void OnTraceLogDisabled() override;

  bool heap_profiling_enabled() const {
    return heap_profiling_enabled_.load(std::memory_order_acquire);
  }
  bool IsDumpProviderRegistered(MemoryDumpProvider* provider);
  // False for an unregistered provider.
  bool IsDumpProviderWhitelisted(MemoryDumpProvider* provider);
  bool IsDumpThreadRunningForTesting();
  ScopedRefPtr<MemoryDumpTracingState> GetTracingStateForTesting();
  bool IsPeriodicDumpTimerRunningForTesting();

 private:
  struct ProviderInfo;

  MemoryDumpManager();
  // Never destroyed.
  ~MemoryDumpManager() override;

  void EnableHeapProfilingIfNeeded();
  void StartPeriodicDumpTimer(const TraceConfig::MemoryDumpConfig& config);
  void RequestPeriodicDump();
  static void FinishGlobalDump(const unsigned char* category_state,
                               GlobalMemoryDumpCallback callback,
                               uint64_t dump_guid, bool success);

  Lock lock_;
  // Under lock_.
  std::vector<ScopedRefPtr<ProviderInfo>> providers_;
  ScopedRefPtr<MemoryDumpTracingState> tracing_state_;
  Delegate* delegate_ = nullptr;
  bool is_coordinator_ = false;
  std::unique_ptr<Thread> dump_thread_;

  std::atomic<bool> memory_tracing_enabled_{false};
  std::atomic<bool> heap_profiling_enabled_{false};
  // On the thread that enabled tracing.
  std::unique_ptr<RepeatingTimer> periodic_timer_;
  PeriodicDumpSchedule schedule_;
};

}  // namespace trace_event
}  // namespace base

#endif  // BASE_TRACE_EVENT_MEMORY_DUMP_MANAGER_H_
