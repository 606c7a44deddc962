#include "base/trace_event/memory_dump_manager.h"

#include <string.h>

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/sequenced_task_runner.h"
#include "base/strings/string_util.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread.h"
#include "base/timer/timer.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/heap_profiler_deduplicators.h"
#include "base/trace_event/trace_event.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

constexpr char kEnableHeapProfiling[] = "enable-heap-profiling";
constexpr char kEnableMemoryBenchmarking[] = "enable-memory-benchmarking";
constexpr char kGlobalDumpEventName[] = "GlobalMemoryDump";
constexpr char kMetadataCategory[] = "__metadata";
constexpr char kStackFramesName[] = "stackFrames";
constexpr char kTypeNamesName[] = "typeNames";

// Provider names kept in background dumps (exact match).
constexpr const char* kWhitelistedProviders[] = {
    "LayoutGC",
    "ChildDiscardableSharedMemoryManager",
    "DOMStorage",
    "HostDiscardableSharedMemoryManager",
    "IndexedDBBackingStore",
    "JavaHeap",
    "LeveldbValueStore",
    "Malloc",
    "PoolAlloc",
    "ProcessMemoryMetrics",
    "Graphics",
    "Sql",
    "ScriptIsolate",
    "WinHeap",
};

// 0: none yet; 1: being made; else the manager.
std::atomic<uintptr_t> g_instance{0};

// The ids of global dumps; the manager's construction takes 0.
std::atomic<uint32_t> g_dump_sequence{0};

bool IsWhitelistedProvider(const char* name) {
  for (const char* whitelisted : kWhitelistedProviders) {
    if (strcmp(name, whitelisted) == 0) return true;
  }
  return false;
}

const unsigned char* MemoryInfraCategory() {
  static const unsigned char* const state =
      TraceLog::GetInstance()->GetCategoryGroupEnabled(
          MemoryDumpManager::kTraceCategory);
  return state;
}

// A nestable asynchronous 'b' or 'e' event "GlobalMemoryDump".
void AddGlobalDumpEvent(char phase, const unsigned char* category_state,
                        uint64_t dump_guid, int num_args,
                        const char* const* arg_names,
                        const unsigned char* arg_types,
                        const unsigned long long* arg_values) {
  TraceLog* log = TraceLog::GetInstance();
  log->AddTraceEventWithThreadIdAndTimestamp(
      phase, category_state, kGlobalDumpEventName, nullptr, dump_guid, 0,
      TraceLog::CurrentThreadId(), TimeTicks::Now(), num_args, arg_names,
      arg_types, arg_values, nullptr, kFlagHasId);
}

// The "stackFrames" and "typeNames" arguments: write one table of the
// tracing state, which they keep alive.
class DeduplicatorProxy : public ConvertableToTraceFormat {
 public:
  using Accessor = ConvertableToTraceFormat* (*)(const MemoryDumpTracingState&);

  DeduplicatorProxy(ScopedRefPtr<MemoryDumpTracingState> state,
                    Accessor accessor)
      : state_(std::move(state)), accessor_(accessor) {}

  void AppendAsTraceFormat(std::string* out) const override {
    accessor_(*state_)->AppendAsTraceFormat(out);
  }
  void EstimateTraceMemoryOverhead(
      TraceEventMemoryOverhead* overhead) override {
    accessor_(*state_)->EstimateTraceMemoryOverhead(overhead);
  }

 private:
  const ScopedRefPtr<MemoryDumpTracingState> state_;
  const Accessor accessor_;
};

void AddDeduplicatorMetadata(const char* name,
                             ScopedRefPtr<MemoryDumpTracingState> state,
                             DeduplicatorProxy::Accessor accessor) {
  TraceLog* log = TraceLog::GetInstance();
  const char* arg_names[] = {name};
  const unsigned char arg_types[] = {kArgTypeConvertable};
  const unsigned long long arg_values[] = {0};
  std::unique_ptr<ConvertableToTraceFormat> convertables[] = {
      std::make_unique<DeduplicatorProxy>(std::move(state), accessor)};
  log->AddMetadataEvent(log->GetCategoryGroupEnabled(kMetadataCategory), name,
                        1, arg_names, arg_types, arg_values, convertables,
                        kFlagNone);
}

}  // namespace

// --- MemoryDumpTracingState

MemoryDumpTracingState::MemoryDumpTracingState(
    const TraceConfig::MemoryDumpConfig& config)
    : config_(config) {}

MemoryDumpTracingState::~MemoryDumpTracingState() = default;

void MemoryDumpTracingState::CreateDeduplicators() {
  stack_frame_deduplicator_ = std::make_unique<StackFrameDeduplicator>();
  type_name_deduplicator_ = std::make_unique<TypeNameDeduplicator>();
}

bool MemoryDumpTracingState::IsDumpModeAllowed(
    MemoryDumpLevelOfDetail level) const {
  return config_.allowed_dump_modes.count(static_cast<int>(level)) != 0;
}

// --- PeriodicDumpSchedule

bool PeriodicDumpSchedule::Start(
    const std::vector<TraceConfig::MemoryDumpConfig::Trigger>& triggers) {
  if (triggers.empty()) return false;
  dump_count_ = 0;
  period_ms_ = triggers[0].periodic_interval_ms;
  uint32_t light_period = 0;
  uint32_t heavy_period = 0;
  for (const auto& trigger : triggers) {
    period_ms_ = std::min(period_ms_, trigger.periodic_interval_ms);
    if (trigger.level_of_detail ==
        static_cast<int>(MemoryDumpLevelOfDetail::LIGHT)) {
      light_period = trigger.periodic_interval_ms;
    } else if (trigger.level_of_detail ==
               static_cast<int>(MemoryDumpLevelOfDetail::DETAILED)) {
      heavy_period = trigger.periodic_interval_ms;
    }
  }
  light_rate_ = light_period / period_ms_;
  heavy_rate_ = heavy_period / period_ms_;
  return true;
}

MemoryDumpLevelOfDetail PeriodicDumpSchedule::NextLevel() {
  MemoryDumpLevelOfDetail level = MemoryDumpLevelOfDetail::BACKGROUND;
  if (light_rate_ && dump_count_ % light_rate_ == 0)
    level = MemoryDumpLevelOfDetail::LIGHT;
  if (heavy_rate_ && dump_count_ % heavy_rate_ == 0)
    level = MemoryDumpLevelOfDetail::DETAILED;
  ++dump_count_;
  return level;
}

// --- MemoryDumpManager

struct MemoryDumpManager::ProviderInfo : RefCounted<ProviderInfo> {
  ProviderInfo(MemoryDumpProvider* provider, const char* name,
               ScopedRefPtr<SequencedTaskRunner> task_runner,
               const MemoryDumpProvider::Options& options)
      : provider(provider),
        name(name),
        task_runner(std::move(task_runner)),
        options(options),
        whitelisted_for_background_mode(IsWhitelistedProvider(name)) {}

  MemoryDumpProvider* const provider;
  const char* const name;
  const ScopedRefPtr<SequencedTaskRunner> task_runner;
  const MemoryDumpProvider::Options options;
  uint32_t consecutive_failures = 0;
  bool disabled = false;
  const bool whitelisted_for_background_mode;

 private:
  friend class RefCounted<ProviderInfo>;
  ~ProviderInfo() = default;
};

// static
MemoryDumpManager* MemoryDumpManager::GetInstance() {
  uintptr_t value = g_instance.load(std::memory_order_acquire);
  while (value <= 1) {
    if (value == 0 && g_instance.compare_exchange_strong(
                          value, 1, std::memory_order_acq_rel)) {
      // Never destroyed: the trace log keeps it as an observer.
      value = reinterpret_cast<uintptr_t>(new MemoryDumpManager);
      g_instance.store(value, std::memory_order_release);
      break;
    }
    if (value == 1) {
      PlatformThread::Sleep(TimeDelta());
      value = g_instance.load(std::memory_order_acquire);
    }
  }
  return reinterpret_cast<MemoryDumpManager*>(value);
}

MemoryDumpManager::MemoryDumpManager() {
  g_dump_sequence.fetch_add(1, std::memory_order_relaxed);
  EnableHeapProfilingIfNeeded();
}

MemoryDumpManager::~MemoryDumpManager() = default;

void MemoryDumpManager::EnableHeapProfilingIfNeeded() {
  const CommandLine* command_line = CommandLine::ForCurrentProcess();
  if (!command_line || !command_line->HasSwitch(kEnableHeapProfiling)) return;
  // Only the plain switch is supported; "native" and other values are not.
  if (!command_line->GetSwitchValueASCII(kEnableHeapProfiling).empty()) {
    LOG(ERROR) << "Unsupported value of --" << kEnableHeapProfiling;
    return;
  }
  AllocationContextTracker::SetCaptureMode();
  std::vector<MemoryDumpProvider*> providers;
  {
    AutoLock hold(lock_);
    for (const auto& info : providers_) providers.push_back(info->provider);
    heap_profiling_enabled_.store(true, std::memory_order_release);
  }
  for (MemoryDumpProvider* provider : providers)
    provider->OnHeapProfilingEnabled(true);
}

void MemoryDumpManager::Initialize(Delegate* delegate, bool is_coordinator) {
  AutoLock hold(lock_);
  delegate_ = delegate;
  is_coordinator_ = is_coordinator;
}

void MemoryDumpManager::RegisterDumpProvider(
    MemoryDumpProvider* provider, const char* name,
    ScopedRefPtr<SequencedTaskRunner> task_runner,
    const MemoryDumpProvider::Options& options) {
  bool inserted = false;
  {
    AutoLock hold(lock_);
    auto found =
        std::find_if(providers_.begin(), providers_.end(),
                     [provider](const ScopedRefPtr<ProviderInfo>& info) {
                       return info->provider == provider;
                     });
    if (found == providers_.end()) {
      providers_.push_back(MakeRefCounted<ProviderInfo>(
          provider, name, std::move(task_runner), options));
      inserted = true;
    }
  }
  if (inserted && heap_profiling_enabled())
    provider->OnHeapProfilingEnabled(true);
}

void MemoryDumpManager::UnregisterDumpProvider(MemoryDumpProvider* provider) {
  AutoLock hold(lock_);
  auto found = std::find_if(providers_.begin(), providers_.end(),
                            [provider](const ScopedRefPtr<ProviderInfo>& info) {
                              return info->provider == provider;
                            });
  if (found == providers_.end()) return;
  (*found)->disabled = true;
  providers_.erase(found);
}

bool MemoryDumpManager::IsDumpProviderRegistered(MemoryDumpProvider* provider) {
  AutoLock hold(lock_);
  for (const auto& info : providers_) {
    if (info->provider == provider) return true;
  }
  return false;
}

bool MemoryDumpManager::IsDumpProviderWhitelisted(
    MemoryDumpProvider* provider) {
  AutoLock hold(lock_);
  for (const auto& info : providers_) {
    if (info->provider == provider)
      return info->whitelisted_for_background_mode;
  }
  return false;
}

void MemoryDumpManager::RequestGlobalDump(
    MemoryDumpLevelOfDetail level, const GlobalMemoryDumpCallback& callback) {
  bool allowed = false;
  if (memory_tracing_enabled_.load(std::memory_order_acquire)) {
    AutoLock hold(lock_);
    allowed = tracing_state_ && tracing_state_->IsDumpModeAllowed(level);
  }
  if (!allowed) {
    VLOG(1) << "Memory-infra dump failed because " << kTraceCategory
            << " tracing category is not enabled or the requested dump mode "
               "is not allowed by trace config.";
    if (!callback.is_null()) callback.Run(0, false);
    return;
  }
  const uint64_t dump_guid =
      TraceLog::GetInstance()->process_id_hash() ^
      g_dump_sequence.fetch_add(1, std::memory_order_relaxed);
  const unsigned char* category = MemoryInfraCategory();
  if (IsCategoryEnabled(category))
    AddGlobalDumpEvent(kPhaseNestableAsyncBegin, category, dump_guid, 0,
                       nullptr, nullptr, nullptr);
  GlobalMemoryDumpCallback wrapper =
      Bind(&MemoryDumpManager::FinishGlobalDump, category, callback);
  Delegate* delegate;
  {
    AutoLock hold(lock_);
    delegate = delegate_;
  }
  MemoryDumpRequestArgs args;
  args.dump_guid = dump_guid;
  args.dump_type = MemoryDumpType::PERIODIC_INTERVAL;
  args.level_of_detail = level;
  if (delegate) delegate->RequestGlobalMemoryDump(args, wrapper);
}

// static
void MemoryDumpManager::FinishGlobalDump(const unsigned char* category_state,
                                         GlobalMemoryDumpCallback callback,
                                         uint64_t dump_guid, bool success) {
  if (IsCategoryEnabled(category_state)) {
    const char* arg_names[] = {"success"};
    const unsigned char arg_types[] = {kArgTypeBool};
    const unsigned long long arg_values[] = {success ? 1ull : 0ull};
    AddGlobalDumpEvent(kPhaseNestableAsyncEnd, category_state, dump_guid, 1,
                       arg_names, arg_types, arg_values);
  }
  if (!callback.is_null()) callback.Run(dump_guid, success);
}

void MemoryDumpManager::OnTraceLogEnabled() {
  TraceLog* log = TraceLog::GetInstance();
  if (!IsCategoryEnabled(MemoryInfraCategory())) return;

  // The buffer first: the dump thread's start must not be the first event
  // of this thread.
  log->InitializeThreadLocalEventBuffer();
  auto dump_thread = std::make_unique<Thread>(kDumpThreadName);
  if (!dump_thread->Start()) {
    LOG(ERROR) << "Failed to start the memory-infra thread for tracing";
    return;
  }

  auto state = MakeRefCounted<MemoryDumpTracingState>(
      log->GetCurrentTraceConfig().memory_dump_config());
  if (heap_profiling_enabled()) {
    state->CreateDeduplicators();
    AddDeduplicatorMetadata(
        kStackFramesName, state,
        [](const MemoryDumpTracingState& s) -> ConvertableToTraceFormat* {
          return s.stack_frame_deduplicator();
        });
    AddDeduplicatorMetadata(
        kTypeNamesName, state,
        [](const MemoryDumpTracingState& s) -> ConvertableToTraceFormat* {
          return s.type_name_deduplicator();
        });
  }

  bool start_timer = false;
  {
    AutoLock hold(lock_);
    tracing_state_ = state;
    dump_thread_ = std::move(dump_thread);
    memory_tracing_enabled_.store(true, std::memory_order_release);
    const CommandLine* command_line = CommandLine::ForCurrentProcess();
    start_timer =
        is_coordinator_ &&
        !(command_line && command_line->HasSwitch(kEnableMemoryBenchmarking));
  }
  if (start_timer) StartPeriodicDumpTimer(state->config());
}

void MemoryDumpManager::OnTraceLogDisabled() {
  memory_tracing_enabled_.store(false, std::memory_order_release);
  std::unique_ptr<Thread> dump_thread;
  {
    AutoLock hold(lock_);
    dump_thread = std::move(dump_thread_);
    tracing_state_ = nullptr;
  }
  if (periodic_timer_ && periodic_timer_->IsRunning()) periodic_timer_->Stop();
  if (dump_thread) dump_thread->Stop();
}

void MemoryDumpManager::StartPeriodicDumpTimer(
    const TraceConfig::MemoryDumpConfig& config) {
  if (!schedule_.Start(config.triggers)) return;
  if (!periodic_timer_) periodic_timer_ = std::make_unique<RepeatingTimer>();
  periodic_timer_->Start(CURRENT_LOCATION,
                         TimeDelta::FromMilliseconds(schedule_.period_ms()),
                         Bind(&MemoryDumpManager::RequestPeriodicDump, this));
}

void MemoryDumpManager::RequestPeriodicDump() {
  RequestGlobalDump(schedule_.NextLevel(), GlobalMemoryDumpCallback());
}

bool MemoryDumpManager::IsDumpThreadRunningForTesting() {
  AutoLock hold(lock_);
  return dump_thread_ != nullptr;
}

ScopedRefPtr<MemoryDumpTracingState>
MemoryDumpManager::GetTracingStateForTesting() {
  AutoLock hold(lock_);
  return tracing_state_;
}

bool MemoryDumpManager::IsPeriodicDumpTimerRunningForTesting() {
  return periodic_timer_ && periodic_timer_->IsRunning();
}

}  // namespace trace_event
}  // namespace base
