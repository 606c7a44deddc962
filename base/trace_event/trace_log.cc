#include "base/trace_event/trace_log.h"

#include <math.h>
#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <sstream>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/sequenced_task_runner.h"
#include "base/strings/stringprintf.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_local_storage.h"
#include "base/threading/thread_name_registry.h"
#include "base/threading/thread_task_runner_registration.h"
#include "base/trace_event/heap_profiler_allocation_context_tracker.h"
#include "base/trace_event/memory_dump_manager.h"
#include "base/trace_event/trace_buffer.h"
#include "base/trace_event/trace_event_etw_export.h"
#include "base/trace_event/trace_event_filter.h"
#include "base/trace_event/trace_event_memory_overhead.h"

namespace base {
namespace trace_event {

namespace {

// The category-group registry: names and state bytes, index for index.
// Names are stored before the count is raised, so lock-free readers never
// see an index without its name.
const char* g_category_groups[TraceLog::kMaxCategoryGroups] = {
    "toplevel",
    "tracing already shutdown",
    "tracing categories exhausted; must increase MAX_CATEGORY_GROUPS",
    "__metadata",
};
unsigned char g_category_group_enabled[TraceLog::kMaxCategoryGroups];
std::atomic<int> g_category_index{TraceLog::kBuiltInCategoryGroups};
// Each group's filters; replaced lists are retired, never freed.
std::atomic<std::vector<std::unique_ptr<TraceEventFilter>>*>
    g_category_group_filters[TraceLog::kMaxCategoryGroups];

constexpr int kTracingAlreadyShutdownIndex = 1;
constexpr char kMetadataGroup[] = "__metadata";
constexpr char kTraceLogProviderName[] = "TraceLog";
constexpr char kThreadBufferProviderName[] = "ThreadLocalEventBuffer";
constexpr char kMainTraceLogDumpName[] = "tracing/main_trace_log";

// 0: none yet; 1: being built; else the log.
std::atomic<uintptr_t> g_trace_log{0};

ThreadLocalStorage::StaticSlot g_thread_state_slot;

constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

uint64_t HashProcessId(int process_id) {
  return (static_cast<uint64_t>(static_cast<int64_t>(process_id)) ^
          kFnvOffsetBasis) *
         kFnvPrime;
}

bool NameListContains(const std::string& names, const std::string& name) {
  size_t start = 0;
  while (start <= names.size()) {
    size_t end = names.find(',', start);
    if (end == std::string::npos) end = names.size();
    if (names.compare(start, end - start, name) == 0) return true;
    start = end + 1;
  }
  return false;
}

// Fills |event| as a metadata event of group "__metadata".
void InitializeMetadataEvent(TraceEvent* event, int thread_id, const char* name,
                             const char* arg_name, unsigned char arg_type,
                             unsigned long long arg_value) {
  if (!event) return;
  event->Initialize(thread_id, TimeTicks(), ThreadTicks(), kPhaseMetadata,
                    &g_category_group_enabled[3], name, nullptr, 0, 0, 1,
                    &arg_name, &arg_type, &arg_value, nullptr, kFlagNone);
}

void InitializeMetadataEvent(TraceEvent* event, int thread_id, const char* name,
                             const char* arg_name, int value) {
  InitializeMetadataEvent(
      event, thread_id, name, arg_name, kArgTypeInt,
      static_cast<unsigned long long>(static_cast<long long>(value)));
}

void InitializeMetadataEvent(TraceEvent* event, int thread_id, const char* name,
                             const char* arg_name, const std::string& value) {
  // Copied string: the record keeps its own copy.
  InitializeMetadataEvent(event, thread_id, name, arg_name, kArgTypeCopyString,
                          reinterpret_cast<uintptr_t>(value.c_str()));
}

}  // namespace

// Per-thread state, in one slot: the re-entrancy guard, the blocking
// marker, the private buffer, and the thread name last seen.
struct TraceLog::ThreadState {
  const int thread_id = static_cast<int>(PlatformThread::CurrentId());
  bool in_trace_log = false;
  bool blocks_message_loop = false;
  ThreadLocalEventBuffer* buffer = nullptr;
  uint32_t seen_name_changes = ~0u;
  std::string last_name;
};

// Sets the re-entrancy guard for one call.
class ScopedTraceLogCall {
 public:
  explicit ScopedTraceLogCall(bool* flag) : flag_(flag) { *flag_ = true; }
  ~ScopedTraceLogCall() { *flag_ = false; }

 private:
  bool* const flag_;
};

// A lock taken on demand and released at the end of the scope.
class TraceLog::OptionalAutoLock {
 public:
  explicit OptionalAutoLock(Lock* lock) : lock_(lock) {}
  OptionalAutoLock(const OptionalAutoLock&) = delete;
  OptionalAutoLock& operator=(const OptionalAutoLock&) = delete;
  ~OptionalAutoLock() {
    if (locked_) lock_->Release();
  }
  void EnsureAcquired() {
    if (locked_) return;
    lock_->Acquire();
    locked_ = true;
  }

 private:
  Lock* const lock_;
  bool locked_ = false;
};

// The private chunk of a thread with a message loop. Lives on its thread
// from the first event to the loop's destruction (or until the log's
// generation moves on); hands its chunk back to the buffer under the log's
// lock.
class TraceLog::ThreadLocalEventBuffer
    : public MessageLoop::DestructionObserver,
      public MemoryDumpProvider {
 public:
  ThreadLocalEventBuffer(TraceLog* log, ThreadState* state, MessageLoop* loop)
      : log_(log), state_(state), loop_(loop), generation_(log->generation()) {
    loop_->AddDestructionObserver(this);
    MemoryDumpManager::GetInstance()->RegisterDumpProvider(
        this, kThreadBufferProviderName, loop_->task_runner(), {});
    AutoLock hold(log_->lock_);
    log_->thread_message_loops_[loop_] = loop_->task_runner();
  }

  ~ThreadLocalEventBuffer() override {
    // Only the thread's own, still current loop knows this observer.
    if (MessageLoop::current() == loop_)
      loop_->RemoveDestructionObserverFor(this);
    MemoryDumpManager::GetInstance()->UnregisterDumpProvider(this);
    {
      AutoLock hold(log_->lock_);
      if (chunk_ && generation_ == log_->generation())
        log_->buffer_->ReturnChunk(chunk_index_, std::move(chunk_));
      log_->thread_message_loops_.erase(loop_);
    }
    state_->buffer = nullptr;
  }

  // A slot for one event; null when none can be had.
  TraceEvent* AddTraceEvent(TraceEventHandle* handle) {
    if (chunk_ && chunk_->IsFull()) {
      AutoLock hold(log_->lock_);
      if (generation_ == log_->generation())
        log_->buffer_->ReturnChunk(chunk_index_, std::move(chunk_));
      chunk_.reset();
    }
    if (!chunk_) {
      AutoLock hold(log_->lock_);
      // A stale buffer must not take a chunk it could never give back.
      if (generation_ != log_->generation()) return nullptr;
      chunk_ = log_->buffer_->GetChunk(&chunk_index_);
      log_->CheckIfBufferIsFullWhileLocked();
    }
    if (!chunk_) return nullptr;
    size_t event_index;
    TraceEvent* event = chunk_->AddTraceEvent(&event_index);
    if (handle)
      *handle = MakeTraceEventHandle(chunk_->seq(), chunk_index_, event_index);
    return event;
  }

  // The event of the own chunk |handle| names, or null.
  TraceEvent* GetEventByHandle(TraceEventHandle handle) {
    if (!chunk_ || chunk_->seq() != handle.chunk_seq ||
        chunk_index_ != handle.chunk_index ||
        handle.event_index >= chunk_->size()) {
      return nullptr;
    }
    return chunk_->GetEventAt(handle.event_index);
  }

  uint32_t generation() const { return generation_; }

  // MessageLoop::DestructionObserver:
  void WillDestroyCurrentMessageLoop() override { delete this; }

  // MemoryDumpProvider: called on this thread's runner.
  bool OnMemoryDump(const MemoryDumpArgs& args,
                    ProcessMemoryDump* pmd) override {
    if (!chunk_) return true;
    TraceEventMemoryOverhead overhead;
    chunk_->EstimateTraceMemoryOverhead(&overhead);
    overhead.DumpInto(
        StringPrintf("tracing/thread_%d", TraceLog::CurrentThreadId()).c_str(),
        pmd);
    return true;
  }

 private:
  TraceLog* const log_;
  ThreadState* const state_;
  MessageLoop* const loop_;
  const uint32_t generation_;
  std::unique_ptr<TraceBufferChunk> chunk_;
  size_t chunk_index_ = 0;
};

// static
TraceLog* TraceLog::GetInstance() {
  uintptr_t value = g_trace_log.load(std::memory_order_acquire);
  while (value <= 1) {
    if (value == 0 && g_trace_log.compare_exchange_strong(
                          value, 1, std::memory_order_acq_rel)) {
      // Never destroyed: call sites keep pointers into the state table.
      value = reinterpret_cast<uintptr_t>(new TraceLog);
      g_trace_log.store(value, std::memory_order_release);
      break;
    }
    if (value == 1) {
      PlatformThread::Sleep(TimeDelta());
      value = g_trace_log.load(std::memory_order_acquire);
    }
  }
  return reinterpret_cast<TraceLog*>(value);
}

TraceLog::TraceLog()
    : buffer_(TraceBuffer::CreateForOptions(kTraceOptionRecordUntilFull)),
      trace_options_(kTraceOptionRecordUntilFull),
      thread_clock_(&ThreadTicks::Now),
      process_id_(internal::GetCurrentProcessIdForTracing()),
      process_id_hash_(HashProcessId(process_id_)) {
  g_thread_state_slot.Initialize(
      [](void* value) { delete static_cast<ThreadState*>(value); });
  // The manager's own construction never comes back here.
  MemoryDumpManager* manager = MemoryDumpManager::GetInstance();
  manager->RegisterDumpProvider(this, kTraceLogProviderName, nullptr, {});
  enabled_state_observers_.push_back(manager);
}

TraceLog::~TraceLog() = default;

bool TraceLog::OnMemoryDump(const MemoryDumpArgs& args,
                            ProcessMemoryDump* pmd) {
  TraceEventMemoryOverhead overhead;
  overhead.Add(kOverheadTraceLog, sizeof(*this));
  {
    AutoLock hold(lock_);
    if (buffer_) buffer_->EstimateTraceMemoryOverhead(&overhead);
    for (const std::unique_ptr<TraceEvent>& event : metadata_events_)
      event->EstimateTraceMemoryOverhead(&overhead);
  }
  overhead.AddSelf();
  overhead.DumpInto(kMainTraceLogDumpName, pmd);
  return true;
}

void TraceLog::InitializeThreadLocalEventBuffer() {
  InitializeThreadLocalEventBufferIfSupported(GetThreadState());
}

// static
TraceLog::ThreadState* TraceLog::GetThreadState() {
  auto* state = static_cast<ThreadState*>(g_thread_state_slot.Get());
  if (!state) {
    state = new ThreadState;
    g_thread_state_slot.Set(state);
  }
  return state;
}

// static
int TraceLog::CurrentThreadId() { return GetThreadState()->thread_id; }

// static
TraceLog::ThreadState* TraceLog::GetThreadStateIfAny() {
  return static_cast<ThreadState*>(g_thread_state_slot.Get());
}

const unsigned char* TraceLog::GetCategoryGroupEnabled(const char* name) {
  int count = g_category_index.load(std::memory_order_acquire);
  for (int i = 0; i < count; ++i) {
    if (strcmp(g_category_groups[i], name) == 0)
      return &g_category_group_enabled[i];
  }

  AutoLock hold(lock_);
  // Another thread may have added the group since the unlocked search.
  count = g_category_index.load(std::memory_order_relaxed);
  for (int i = 0; i < count; ++i) {
    if (strcmp(g_category_groups[i], name) == 0)
      return &g_category_group_enabled[i];
  }
  if (count >= kMaxCategoryGroups)
    return &g_category_group_enabled[kCategoryExhaustedIndex];
  g_category_groups[count] = strdup(name);
  UpdateCategoryGroupEnabledFlag(count);
  g_category_index.store(count + 1, std::memory_order_release);
  return &g_category_group_enabled[count];
}

// static
const char* TraceLog::GetCategoryGroupName(
    const unsigned char* category_state) {
  ptrdiff_t index = category_state - g_category_group_enabled;
  if (index < 0 || index >= g_category_index.load(std::memory_order_acquire))
    return g_category_groups[kTracingAlreadyShutdownIndex];
  return g_category_groups[index];
}

void TraceLog::UpdateCategoryGroupEnabledFlags() {
  int count = g_category_index.load(std::memory_order_acquire);
  for (int i = 0; i < count; ++i) UpdateCategoryGroupEnabledFlag(i);
}

void TraceLog::UpdateCategoryGroupEnabledFlag(int index) {
  lock_.AssertAcquired();
  const char* name = g_category_groups[index];
  unsigned char flags = 0;
  if (mode_ == RECORDING_MODE && trace_config_.IsCategoryGroupEnabled(name))
    flags |= kEnabledForRecording;
  if (event_callback_.load(std::memory_order_relaxed) &&
      event_callback_trace_config_.IsCategoryGroupEnabled(name)) {
    flags |= kEnabledForEventCallback;
  }
  if (TraceEventETWExport::IsCategoryGroupEnabled(name))
    flags |= kEnabledForEtwExport;
  if (mode_ == RECORDING_MODE && strcmp(name, kMetadataGroup) == 0)
    flags |= kEnabledForRecording;

  auto filters = std::make_unique<FilterList>();
  for (const TraceConfig::EventFilterConfig& entry :
       trace_config_.event_filters()) {
    if (!entry.IsCategoryGroupEnabled(name)) continue;
    if (std::unique_ptr<TraceEventFilter> filter = CreateFilter(entry))
      filters->push_back(std::move(filter));
  }
  if (!filters->empty()) flags |= kEnabledForFiltering;
  // A thread may be asking the old filters right now: keep them alive.
  FilterList* old = g_category_group_filters[index].exchange(
      filters->empty() ? nullptr : filters.release(),
      std::memory_order_acq_rel);
  if (old) retired_filter_lists_.emplace_back(old);
  StoreCategoryState(&g_category_group_enabled[index], flags);
}

std::unique_ptr<TraceEventFilter> TraceLog::CreateFilter(
    const TraceConfig::EventFilterConfig& entry) {
  const std::string& predicate = entry.predicate_name();
  if (predicate == kEventWhitelistPredicate)
    return std::make_unique<EventNameFilter>(entry.args());
  if (predicate == kHeapProfilerPredicate)
    return std::make_unique<HeapProfilerEventFilter>();
  if (predicate == kTestingPredicate && filter_factory_for_testing_)
    return filter_factory_for_testing_(predicate);
  return nullptr;
}

bool TraceLog::FilterEvent(const unsigned char* category_state,
                           const TraceEvent& event) {
  ptrdiff_t index = category_state - g_category_group_enabled;
  FilterList* filters =
      g_category_group_filters[index].load(std::memory_order_acquire);
  if (!filters) return false;
  bool kept = false;
  // Every filter is asked, even after one has kept the event.
  for (const auto& filter : *filters) kept |= filter->FilterTraceEvent(event);
  return kept;
}

void TraceLog::SetEnabled(const TraceConfig& config, unsigned int options) {
  std::vector<EnabledStateObserver*> observers;
  std::vector<std::pair<WeakPtr<AsyncEnabledStateObserver>,
                        ScopedRefPtr<SequencedTaskRunner>>>
      async_observers;
  {
    AutoLock hold(lock_);
    if (dispatching_to_observers_) {
      LOG(ERROR) << "Tracing cannot be enabled while observers are told";
      return;
    }
    if (mode_ == RECORDING_MODE && options != trace_options()) {
      LOG(ERROR) << "Tracing is already recording with other options";
      return;
    }
    if (mode_ == DISABLED && options != trace_options()) {
      trace_options_.store(options, std::memory_order_relaxed);
      thread_shared_chunk_.reset();
      buffer_ = TraceBuffer::CreateForOptions(options);
    }
    mode_ = RECORDING_MODE;
    trace_config_ = config;
    generation_.fetch_add(1, std::memory_order_acq_rel);
    UpdateCategoryGroupEnabledFlags();
    observers = enabled_state_observers_;
    for (const auto& entry : async_observers_)
      async_observers.push_back(entry.second);
    dispatching_to_observers_ = true;
  }
  for (EnabledStateObserver* observer : observers)
    observer->OnTraceLogEnabled();
  for (const auto& [observer, runner] : async_observers) {
    runner->PostTask(
        CURRENT_LOCATION,
        Bind(&AsyncEnabledStateObserver::OnTraceLogEnabled, observer));
  }
  AutoLock hold(lock_);
  dispatching_to_observers_ = false;
}

void TraceLog::SetDisabled() {
  AutoLock hold(lock_);
  SetDisabledWhileLocked();
}

bool TraceLog::IsEnabled() {
  AutoLock hold(lock_);
  return mode_ == RECORDING_MODE;
}

TraceConfig TraceLog::GetCurrentTraceConfig() {
  AutoLock hold(lock_);
  return trace_config_;
}

void TraceLog::SetDisabledWhileLocked() {
  lock_.AssertAcquired();
  if (mode_ == DISABLED || dispatching_to_observers_) return;
  mode_ = DISABLED;
  trace_config_.Clear();
  watch_category_.store(nullptr, std::memory_order_relaxed);
  watch_event_name_.clear();
  UpdateCategoryGroupEnabledFlags();
  AddMetadataEventsWhileLocked();
  metadata_events_.clear();
  NotifyDisabledWhileLocked();
}

void TraceLog::NotifyDisabledWhileLocked() {
  dispatching_to_observers_ = true;
  std::vector<EnabledStateObserver*> observers = enabled_state_observers_;
  auto async_observers = async_observers_;
  {
    AutoUnlock unlock(lock_);
    for (EnabledStateObserver* observer : observers)
      observer->OnTraceLogDisabled();
    for (const auto& entry : async_observers) {
      entry.second.second->PostTask(
          CURRENT_LOCATION, Bind(&AsyncEnabledStateObserver::OnTraceLogDisabled,
                                 entry.second.first));
    }
  }
  dispatching_to_observers_ = false;
}

void TraceLog::SetEventCallbackEnabled(const TraceConfig& config,
                                       EventCallback callback) {
  AutoLock hold(lock_);
  event_callback_.store(callback, std::memory_order_release);
  event_callback_trace_config_ = config;
  UpdateCategoryGroupEnabledFlags();
}

void TraceLog::SetEventCallbackDisabled() {
  AutoLock hold(lock_);
  event_callback_.store(nullptr, std::memory_order_release);
  event_callback_trace_config_.Clear();
  UpdateCategoryGroupEnabledFlags();
}

void TraceLog::SetWatchEvent(const std::string& category_name,
                             const std::string& event_name,
                             const Closure& callback) {
  const unsigned char* category =
      GetCategoryGroupEnabled(category_name.c_str());
  AutoLock hold(lock_);
  watch_event_name_ = event_name;
  watch_event_callback_ = callback;
  watch_category_.store(category, std::memory_order_release);
}

void TraceLog::CancelWatchEvent() {
  AutoLock hold(lock_);
  watch_category_.store(nullptr, std::memory_order_release);
  watch_event_name_.clear();
  watch_event_callback_.Reset();
}

void TraceLog::UpdateETWCategoryGroupEnabledFlags() {
  AutoLock hold(lock_);
  UpdateCategoryGroupEnabledFlags();
}

void TraceLog::AddEnabledStateObserver(EnabledStateObserver* observer) {
  AutoLock hold(lock_);
  enabled_state_observers_.push_back(observer);
}

void TraceLog::RemoveEnabledStateObserver(EnabledStateObserver* observer) {
  AutoLock hold(lock_);
  auto found = std::find(enabled_state_observers_.begin(),
                         enabled_state_observers_.end(), observer);
  if (found != enabled_state_observers_.end())
    enabled_state_observers_.erase(found);
}

bool TraceLog::HasEnabledStateObserver(EnabledStateObserver* observer) {
  AutoLock hold(lock_);
  return std::find(enabled_state_observers_.begin(),
                   enabled_state_observers_.end(),
                   observer) != enabled_state_observers_.end();
}

void TraceLog::AddAsyncEnabledStateObserver(
    WeakPtr<AsyncEnabledStateObserver> observer) {
  ScopedRefPtr<SequencedTaskRunner> runner =
      ThreadTaskRunnerRegistration::Get();
  CHECK(runner);
  AutoLock hold(lock_);
  AsyncEnabledStateObserver* key = observer.get();
  async_observers_[key] = {std::move(observer), std::move(runner)};
}

void TraceLog::RemoveAsyncEnabledStateObserver(
    AsyncEnabledStateObserver* observer) {
  AutoLock hold(lock_);
  async_observers_.erase(observer);
}

TimeTicks TraceLog::OffsetTimestamp(TimeTicks timestamp) const {
  // TimeTicks arithmetic saturates at the ends of its range.
  return timestamp - TimeDelta::FromMicroseconds(
                         time_offset_us_.load(std::memory_order_relaxed));
}

TimeTicks TraceLog::OffsetNow() const {
  return OffsetTimestamp(TimeTicks::Now());
}

ThreadTicks TraceLog::ThreadNow() const {
  return thread_clock_.load(std::memory_order_relaxed)();
}

void TraceLog::SetThreadClockForTesting(ThreadClock clock) {
  thread_clock_.store(clock ? clock : &ThreadTicks::Now,
                      std::memory_order_relaxed);
}

TraceLog::ThreadLocalEventBuffer*
TraceLog::InitializeThreadLocalEventBufferIfSupported(ThreadState* state) {
  MessageLoop* loop = MessageLoop::current();
  if (!loop || state->blocks_message_loop) return nullptr;
  if (state->buffer && state->buffer->generation() != generation())
    delete state->buffer;  // clears state->buffer
  if (!state->buffer) {
    HeapProfilerScopedIgnore ignore;
    state->buffer = new ThreadLocalEventBuffer(this, state, loop);
  }
  return state->buffer;
}

void TraceLog::UpdateThreadName(ThreadState* state, int thread_id) {
  ThreadNameRegistry* registry = ThreadNameRegistry::GetInstance();
  // The registry's lock is taken only after a name changed somewhere.
  uint32_t changes = registry->change_count();
  if (changes == state->seen_name_changes) return;
  state->seen_name_changes = changes;
  const char* name =
      registry->GetName(static_cast<PlatformThreadId>(thread_id));
  if (!name || !*name || state->last_name == name) return;
  state->last_name = name;
  AutoLock hold(thread_info_lock_);
  auto [entry, inserted] = thread_names_.emplace(thread_id, name);
  if (!inserted && !NameListContains(entry->second, name))
    entry->second.append(",").append(name);
}

TraceEventHandle TraceLog::AddTraceEventWithThreadIdAndTimestamp(
    char phase, const unsigned char* category_state, const char* name,
    const char* scope, unsigned long long id, unsigned long long bind_id,
    int thread_id, const TimeTicks& timestamp, int num_args,
    const char* const* arg_names, const unsigned char* arg_types,
    const unsigned long long* arg_values,
    std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
    unsigned int flags) {
  TraceEventHandle handle;
  const unsigned char state_bits = LoadCategoryState(category_state);
  if (!(state_bits & kEnabledMask)) return handle;
  ThreadState* state = GetThreadState();
  if (state->in_trace_log) return handle;
  ScopedTraceLogCall guard(&state->in_trace_log);

  if (flags & kFlagMangleId) {
    id ^= process_id_hash_;
    if (flags & (kFlagFlowIn | kFlagFlowOut)) bind_id ^= process_id_hash_;
  }
  const TimeTicks offset_timestamp = OffsetTimestamp(timestamp);
  const ThreadTicks thread_now = ThreadNow();
  ThreadLocalEventBuffer* buffer =
      InitializeThreadLocalEventBufferIfSupported(state);
  if (thread_id == state->thread_id) UpdateThreadName(state, thread_id);

  if (state_bits & kEnabledForEtwExport) {
    TraceEventETWExport::AddEvent(phase, name, num_args, arg_names, arg_types,
                                  arg_values);
  }

  std::unique_ptr<TraceEvent> filtered_event;
  bool filtered_out = false;
  if (state_bits & kEnabledForFiltering) {
    filtered_event = std::make_unique<TraceEvent>();
    filtered_event->Initialize(thread_id, offset_timestamp, thread_now, phase,
                               category_state, name, scope, id, bind_id,
                               num_args, arg_names, arg_types, arg_values,
                               convertable_values, flags);
    filtered_out = !FilterEvent(category_state, *filtered_event);
  }

  if ((state_bits & kEnabledForRecording) && !filtered_out) {
    auto fill = [&](TraceEvent* slot) {
      if (filtered_event) {
        slot->MoveFrom(std::move(filtered_event));
      } else {
        slot->Initialize(thread_id, offset_timestamp, thread_now, phase,
                         category_state, name, scope, id, bind_id, num_args,
                         arg_names, arg_types, arg_values, convertable_values,
                         flags);
      }
      if (trace_options() & kTraceOptionEchoToConsole) {
        LOG(ERROR) << EventToConsoleMessage(
            phase == kPhaseComplete ? kPhaseBegin : phase, offset_timestamp,
            slot);
      }
    };
    if (buffer) {
      if (TraceEvent* slot = buffer->AddTraceEvent(&handle)) fill(slot);
    } else {
      AutoLock hold(lock_);
      if (TraceEvent* slot =
              AddEventToThreadSharedChunkWhileLocked(&handle, true)) {
        fill(slot);
      }
    }
  }

  RunWatchCallback(category_state, name);

  EventCallback callback = event_callback_.load(std::memory_order_acquire);
  if ((state_bits & kEnabledForEventCallback) && callback) {
    callback(offset_timestamp, phase == kPhaseComplete ? kPhaseBegin : phase,
             category_state, name, id, num_args, arg_names, arg_types,
             arg_values, flags);
  }
  return handle;
}

void TraceLog::RunWatchCallback(const unsigned char* category_state,
                                const char* name) {
  if (watch_category_.load(std::memory_order_acquire) != category_state) return;
  Closure callback;
  {
    AutoLock hold(lock_);
    if (watch_category_.load(std::memory_order_relaxed) == category_state &&
        watch_event_name_ == name) {
      callback = watch_event_callback_;
    }
  }
  if (!callback.is_null()) callback.Run();
}

TraceEvent* TraceLog::AddEventToThreadSharedChunkWhileLocked(
    TraceEventHandle* handle, bool check_buffer_full) {
  lock_.AssertAcquired();
  if (thread_shared_chunk_ && thread_shared_chunk_->IsFull()) {
    buffer_->ReturnChunk(thread_shared_chunk_index_,
                         std::move(thread_shared_chunk_));
  }
  if (!thread_shared_chunk_) {
    thread_shared_chunk_ = buffer_->GetChunk(&thread_shared_chunk_index_);
    if (check_buffer_full) CheckIfBufferIsFullWhileLocked();
  }
  // Disabling may have let the lock go for a moment: look again.
  if (!thread_shared_chunk_ || thread_shared_chunk_->IsFull()) return nullptr;
  size_t event_index;
  TraceEvent* event = thread_shared_chunk_->AddTraceEvent(&event_index);
  if (handle) {
    *handle = MakeTraceEventHandle(thread_shared_chunk_->seq(),
                                   thread_shared_chunk_index_, event_index);
  }
  return event;
}

void TraceLog::CheckIfBufferIsFullWhileLocked() {
  lock_.AssertAcquired();
  if (!buffer_->IsFull()) return;
  if (buffer_limit_reached_timestamp_.is_null())
    buffer_limit_reached_timestamp_ = OffsetNow();
  SetDisabledWhileLocked();
}

void TraceLog::UpdateTraceEventDuration(const unsigned char* category_state,
                                        const char* name,
                                        TraceEventHandle handle) {
  const unsigned char state_bits = LoadCategoryState(category_state);
  if (!state_bits) return;
  ThreadState* state = GetThreadState();
  if (state->in_trace_log) return;
  ScopedTraceLogCall guard(&state->in_trace_log);

  const ThreadTicks thread_now = ThreadNow();
  const TimeTicks now = OffsetNow();
  if (state_bits & kEnabledForEtwExport)
    TraceEventETWExport::AddCompleteEndEvent(name);
  if (state_bits & kEnabledForRecording) {
    OptionalAutoLock lock(&lock_);
    if (TraceEvent* event = GetEventByHandleInternal(handle, &lock)) {
      event->UpdateDuration(now, thread_now);
      if (trace_options() & kTraceOptionEchoToConsole)
        LOG(ERROR) << EventToConsoleMessage(kPhaseEnd, now, event);
    }
  }
  EventCallback callback = event_callback_.load(std::memory_order_acquire);
  if ((state_bits & kEnabledForEventCallback) && callback) {
    callback(now, kPhaseEnd, category_state, name, 0, 0, nullptr, nullptr,
             nullptr, kFlagNone);
  }
}

void TraceLog::EndFilteredEvent(const unsigned char* category_state,
                                const char* name, TraceEventHandle handle) {
  ptrdiff_t index = category_state - g_category_group_enabled;
  if (index < 0 || index >= kMaxCategoryGroups) return;
  FilterList* filters =
      g_category_group_filters[index].load(std::memory_order_acquire);
  if (!filters) return;
  const char* group = GetCategoryGroupName(category_state);
  for (const auto& filter : *filters) filter->EndEvent(name, group);
}

TraceEvent* TraceLog::GetEventByHandle(TraceEventHandle handle) {
  OptionalAutoLock lock(&lock_);
  return GetEventByHandleInternal(handle, &lock);
}

TraceEvent* TraceLog::GetEventByHandleInternal(TraceEventHandle handle,
                                               OptionalAutoLock* lock) {
  if (handle.chunk_seq == 0) return nullptr;
  ThreadState* state = GetThreadStateIfAny();
  if (state && state->buffer) {
    if (TraceEvent* event = state->buffer->GetEventByHandle(handle))
      return event;
  }
  lock->EnsureAcquired();
  if (thread_shared_chunk_ &&
      thread_shared_chunk_index_ == handle.chunk_index) {
    return thread_shared_chunk_->seq() == handle.chunk_seq &&
                   handle.event_index < thread_shared_chunk_->size()
               ? thread_shared_chunk_->GetEventAt(handle.event_index)
               : nullptr;
  }
  return buffer_->GetEventByHandle(handle);
}

void TraceLog::AddMetadataEvent(
    const unsigned char* category_state, const char* name, int num_args,
    const char* const* arg_names, const unsigned char* arg_types,
    const unsigned long long* arg_values,
    std::unique_ptr<ConvertableToTraceFormat>* convertable_values,
    unsigned int flags) {
  HeapProfilerScopedIgnore ignore;
  auto event = std::make_unique<TraceEvent>();
  event->Initialize(CurrentThreadId(), OffsetNow(), ThreadNow(), kPhaseMetadata,
                    category_state, name, nullptr, 0, 0, num_args, arg_names,
                    arg_types, arg_values, convertable_values, flags);
  AutoLock hold(lock_);
  metadata_events_.push_back(std::move(event));
}

void TraceLog::AddMetadataEventsWhileLocked() {
  lock_.AssertAcquired();
  for (std::unique_ptr<TraceEvent>& stored : metadata_events_) {
    if (TraceEvent* slot =
            AddEventToThreadSharedChunkWhileLocked(nullptr, false)) {
      slot->MoveFrom(std::move(stored));
    }
  }
  InitializeMetadataEvent(
      AddEventToThreadSharedChunkWhileLocked(nullptr, false), 0, "num_cpus",
      "number", internal::GetLogicalProcessorCount());
  if (process_sort_index_ != 0) {
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false), 0,
        "process_sort_index", "sort_index", process_sort_index_);
  }
  if (!process_name_.empty()) {
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false), 0,
        "process_name", "name", process_name_);
  }
  if (!process_labels_.empty()) {
    std::string labels;
    for (const auto& entry : process_labels_) {
      if (!labels.empty()) labels += ",";
      labels += entry.second;
    }
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false), 0,
        "process_labels", "labels", labels);
  }
  for (const auto& [thread_id, sort_index] : thread_sort_indices_) {
    if (sort_index == 0) continue;
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false), thread_id,
        "thread_sort_index", "sort_index", sort_index);
  }
  {
    AutoLock hold(thread_info_lock_);
    for (const auto& [thread_id, names] : thread_names_) {
      if (names.empty()) continue;
      InitializeMetadataEvent(
          AddEventToThreadSharedChunkWhileLocked(nullptr, false), thread_id,
          "thread_name", "name", names);
    }
  }
  if (!buffer_limit_reached_timestamp_.is_null()) {
    InitializeMetadataEvent(
        AddEventToThreadSharedChunkWhileLocked(nullptr, false), 0,
        "trace_buffer_overflowed", "overflowed_at_ts", kArgTypeInt,
        static_cast<unsigned long long>(
            buffer_limit_reached_timestamp_.ToInternalValue()));
  }
}

std::string TraceLog::EventToConsoleMessage(char phase, TimeTicks timestamp,
                                            const TraceEvent* event) {
  HeapProfilerScopedIgnore ignore;
  AutoLock hold(thread_info_lock_);
  const int thread_id = event ? event->thread_id() : CurrentThreadId();
  std::stack<TimeTicks>& begin_times = thread_event_start_times_[thread_id];
  TimeDelta duration;
  if (phase == kPhaseEnd && !begin_times.empty()) {
    duration = timestamp - begin_times.top();
    begin_times.pop();
  }
  std::string thread_name;
  auto found_name = thread_names_.find(thread_id);
  if (found_name != thread_names_.end()) thread_name = found_name->second;
  auto [color, inserted] = thread_colors_.emplace(thread_name, 0);
  if (inserted)
    color->second = static_cast<int>((thread_colors_.size() - 1) % 6) + 1;

  std::ostringstream log;
  log << StringPrintf("%s: \033[0;3%dm", thread_name.c_str(), color->second);
  for (size_t i = 0; i < begin_times.size(); ++i) log << "| ";
  if (event) event->AppendPrettyPrinted(&log);
  if (phase == kPhaseEnd) {
    double ms =
        duration == TimeDelta::Max() ? HUGE_VAL : duration.InMillisecondsF();
    log << StringPrintf(" (%.3f ms)", ms);
  }
  log << "\033[0;m";
  if (phase == kPhaseBegin) begin_times.push(timestamp);
  return log.str();
}

void TraceLog::SetCurrentThreadBlocksMessageLoop() {
  ThreadState* state = GetThreadState();
  state->blocks_message_loop = true;
  // Its chunk goes back now; a flush could not reach it later.
  delete state->buffer;
}

void TraceLog::SetProcessName(const std::string& name) {
  AutoLock hold(lock_);
  process_name_ = name;
}

void TraceLog::UpdateProcessLabel(int label_id, const std::string& label) {
  AutoLock hold(lock_);
  if (label.empty())
    process_labels_.erase(label_id);
  else
    process_labels_[label_id] = label;
}

void TraceLog::RemoveProcessLabel(int label_id) {
  AutoLock hold(lock_);
  process_labels_.erase(label_id);
}

void TraceLog::SetProcessSortIndex(int sort_index) {
  AutoLock hold(lock_);
  process_sort_index_ = sort_index;
}

void TraceLog::SetThreadSortIndex(int thread_id, int sort_index) {
  AutoLock hold(lock_);
  thread_sort_indices_[thread_id] = sort_index;
}

void TraceLog::SetTimeOffset(TimeDelta offset) {
  time_offset_us_.store(offset.InMicroseconds(), std::memory_order_relaxed);
}

void TraceLog::SetFilterFactoryForTesting(FilterFactoryForTesting factory) {
  AutoLock hold(lock_);
  filter_factory_for_testing_ = factory;
}

std::string TraceLog::GetThreadNameForTesting(int thread_id) {
  AutoLock hold(thread_info_lock_);
  auto found = thread_names_.find(thread_id);
  return found == thread_names_.end() ? std::string() : found->second;
}

void TraceLog::SetTraceBufferForTesting(std::unique_ptr<TraceBuffer> buffer) {
  AutoLock hold(lock_);
  CHECK_EQ(mode_, DISABLED);
  thread_shared_chunk_.reset();
  buffer_ = std::move(buffer);
  // Chunks handed out by the old buffer must not come back to this one.
  generation_.fetch_add(1, std::memory_order_acq_rel);
}

namespace {

// What a flush waits for: one answer per thread that was asked.
class FlushWaiter : public RefCounted<FlushWaiter> {
 public:
  explicit FlushWaiter(int expected)
      : pending_(expected),
        done_(WaitableEvent::ResetPolicy::kManual,
              WaitableEvent::InitialState::kNotSignaled) {
    if (expected == 0) done_.Signal();
  }
  void Answered() {
    AutoLock hold(lock_);
    if (--pending_ == 0) done_.Signal();
  }
  // The threads that did not answer in time.
  int Wait(TimeDelta max) {
    done_.TimedWait(max);
    AutoLock hold(lock_);
    return pending_;
  }

 private:
  friend class RefCounted<FlushWaiter>;
  ~FlushWaiter() = default;

  Lock lock_;
  int pending_;
  WaitableEvent done_;
};

}  // namespace

std::string TraceLog::FlushAsJSON(TimeDelta thread_wait) {
  std::vector<ScopedRefPtr<SequencedTaskRunner>> runners;
  {
    AutoLock hold(lock_);
    SetDisabledWhileLocked();
    for (const auto& [loop, runner] : thread_message_loops_) {
      if (loop != MessageLoop::current()) runners.push_back(runner);
    }
  }
  // This thread's chunk goes back at once; the others in a task of their
  // own loops, so that no chunk is read while its thread writes.
  if (ThreadState* state = GetThreadStateIfAny()) delete state->buffer;
  auto waiter = MakeRefCounted<FlushWaiter>(static_cast<int>(runners.size()));
  for (const ScopedRefPtr<SequencedTaskRunner>& runner : runners) {
    bool posted = runner->PostTask(
        CURRENT_LOCATION, Bind(
                              [](ScopedRefPtr<FlushWaiter> waiter) {
                                if (ThreadState* state = GetThreadStateIfAny())
                                  delete state->buffer;
                                waiter->Answered();
                              },
                              waiter));
    // A loop that is going away hands its chunk back as it goes.
    if (!posted) waiter->Answered();
  }
  int unanswered = waiter->Wait(thread_wait);
  if (unanswered > 0) {
    LOG(ERROR) << "Trace flush: " << unanswered
               << " thread(s) did not answer; their events are left out";
  }

  std::unique_ptr<TraceBuffer> flushed;
  {
    AutoLock hold(lock_);
    if (thread_shared_chunk_) {
      buffer_->ReturnChunk(thread_shared_chunk_index_,
                           std::move(thread_shared_chunk_));
    }
    // Chunks still held by silent threads are now stale: they are deleted
    // when their threads next touch them.
    generation_.fetch_add(1, std::memory_order_acq_rel);
    flushed = std::move(buffer_);
    buffer_ = TraceBuffer::CreateForOptions(trace_options());
  }

  std::string json = "{\"traceEvents\":[";
  bool first = true;
  while (const TraceBufferChunk* chunk = flushed->NextChunk()) {
    for (size_t i = 0; i < chunk->size(); ++i) {
      if (!first) json += ",\n";
      first = false;
      chunk->GetEventAt(i)->AppendAsJSON(&json, nullptr);
    }
  }
  json += "]}\n";
  return json;
}

}  // namespace trace_event
}  // namespace base
