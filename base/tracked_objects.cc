#include "base/tracked_objects.h"

#include <limits.h>

#include <atomic>

#include "base/command_line.h"
#include "base/logging.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_local_storage.h"
#include "base/time/time.h"

namespace tracked_objects {

const char kProfilerTimingSwitch[] = "profiler-timing";

namespace {

// Process-wide state; the list lock guards all of it except the status,
// which is read without the lock on every post.
base::Lock g_list_lock;
ThreadData* g_all_thread_data = nullptr;
ThreadData* g_retired_workers = nullptr;
int g_retired_count = 0;
int g_incarnation_counter = 0;
int g_last_worker_number = 0;
std::atomic<int> g_status{ThreadData::kUninitialized};
base::ThreadLocalStorage::StaticSlot g_thread_data_slot;

// 0 not yet known, 1 on, 2 off.
std::atomic<int> g_timing_state{0};

bool TimingEnabled() {
  int state = g_timing_state.load(std::memory_order_relaxed);
  if (state != 0) return state == 1;
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  // Before the command line exists timing counts as on, and the answer is
  // asked again later.
  if (!command_line) return true;
  bool enabled = ThreadData::IsProfilerTimingEnabledFor(*command_line);
  g_timing_state.store(enabled ? 1 : 2, std::memory_order_relaxed);
  return enabled;
}

int32_t SaturatedAdd(int32_t a, int32_t b) {
  int64_t sum = static_cast<int64_t>(a) + b;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(sum);
}

}  // namespace

// static
TrackedTime TrackedTime::Now() {
  base::TimeTicks now = base::TimeTicks::Now();
  if (now.is_max()) return TrackedTime(-1);
  // The 32-bit millisecond clock wraps after about 24 days, as intended.
  return TrackedTime(static_cast<int32_t>(
      static_cast<uint32_t>(now.ToInternalValue() / 1000)));
}

void DeathData::RecordDeath(int32_t queue_duration, int32_t run_duration,
                            uint32_t random_number) {
  if (count_ < INT_MAX) ++count_;
  if (sample_probability_count_ < INT_MAX) ++sample_probability_count_;
  queue_duration_sum_ = SaturatedAdd(queue_duration_sum_, queue_duration);
  run_duration_sum_ = SaturatedAdd(run_duration_sum_, run_duration);
  if (queue_duration_max_ < queue_duration)
    queue_duration_max_ = queue_duration;
  if (run_duration_max_ < run_duration) run_duration_max_ = run_duration;
  // Reservoir sampling: each run ends up the sample with equal chance.
  if (random_number % static_cast<uint32_t>(sample_probability_count_) == 0) {
    queue_duration_sample_ = queue_duration;
    run_duration_sample_ = run_duration;
  }
}

TaskStopwatch::TaskStopwatch() = default;

TaskStopwatch::~TaskStopwatch() {
#if !defined(NDEBUG)
  DCHECK(state_ != 1);
#endif
}

void TaskStopwatch::Start() {
#if !defined(NDEBUG)
  DCHECK(state_ == 0);
  state_ = 1;
#endif
  start_time_ = ThreadData::Now();
  current_thread_data_ = ThreadData::Get();
  if (!current_thread_data_) return;
  parent_stopwatch_ = current_thread_data_->current_stopwatch_;
  current_thread_data_->current_stopwatch_ = this;
}

void TaskStopwatch::Stop() {
#if !defined(NDEBUG)
  DCHECK(state_ == 1);
  state_ = 2;
#endif
  TrackedTime end_time = ThreadData::Now();
  if (!start_time_.is_null() && !end_time.is_null())
    wallclock_duration_ms_ = end_time - start_time_;
  if (!current_thread_data_) return;
  current_thread_data_->current_stopwatch_ = parent_stopwatch_;
  if (parent_stopwatch_) {
    parent_stopwatch_->excluded_duration_ms_ = SaturatedAdd(
        parent_stopwatch_->excluded_duration_ms_, wallclock_duration_ms_);
  }
}

int32_t TaskStopwatch::RunDurationMs() const {
  return wallclock_duration_ms_ - excluded_duration_ms_;
}

size_t ThreadData::LocationHash::operator()(
    const base::Location& location) const {
  uint64_t pointer = reinterpret_cast<uintptr_t>(location.file_name());
  uint64_t line =
      static_cast<uint64_t>(static_cast<int64_t>(location.line_number()));
  uint64_t hash =
      842304669ull * (pointer & 0xFFFFFFFF) + 619063811ull * (pointer >> 32) +
      937041849ull * (line & 0xFFFFFFFF) + 3309708029ull * (line >> 32);
  return static_cast<size_t>(hash);
}

bool ThreadData::LocationEqual::operator()(const base::Location& a,
                                           const base::Location& b) const {
  return a.file_name() == b.file_name() && a.line_number() == b.line_number() &&
         a.function_name() == b.function_name();
}

ThreadData::ThreadData(const std::string& name, int worker_thread_number)
    : thread_name_(name), worker_thread_number_(worker_thread_number) {
  random_number_ +=
      static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this) / sizeof(*this));
  random_number_ ^= static_cast<uint32_t>(Now().ToMilliseconds());
  base::AutoLock hold(g_list_lock);
  incarnation_count_for_pool_ = g_incarnation_counter;
  next_ = g_all_thread_data;
  g_all_thread_data = this;
}

// static
bool ThreadData::Initialize() {
  base::AutoLock hold(g_list_lock);
  if (g_status.load(std::memory_order_relaxed) >= kDeactivated) return true;
  if (!g_thread_data_slot.initialized())
    g_thread_data_slot.Initialize(&OnThreadTermination);
  ++g_incarnation_counter;
  g_status.store(kProfilingActive, std::memory_order_release);
  return true;
}

// static
void ThreadData::InitializeThreadContext(const std::string& name) {
  if (!Initialize()) return;
  if (g_thread_data_slot.Get()) return;
  g_thread_data_slot.Set(new ThreadData(name, 0));
}

// static
void ThreadData::ListenForThreadNames() {
  base::PlatformThread::SetTaskTrackingNameObserver(&InitializeThreadContext);
}

// static
ThreadData* ThreadData::Get() {
  if (!g_thread_data_slot.initialized()) return nullptr;
  if (auto* existing = static_cast<ThreadData*>(g_thread_data_slot.Get()))
    return existing;

  // An unnamed thread: take over an ended worker's record when there is
  // one, so that short-lived pool threads do not pile up records.
  ThreadData* worker = nullptr;
  int worker_number = 0;
  {
    base::AutoLock hold(g_list_lock);
    if (g_retired_workers) {
      worker = g_retired_workers;
      g_retired_workers = worker->next_retired_worker_;
      worker->next_retired_worker_ = nullptr;
    } else {
      worker_number = ++g_last_worker_number;
    }
  }
  if (!worker) {
    worker = new ThreadData("WorkerThread-" + std::to_string(worker_number),
                            worker_number);
  }
  g_thread_data_slot.Set(worker);
  return worker;
}

// static
void ThreadData::OnThreadTermination(void* value) {
  auto* thread_data = static_cast<ThreadData*>(value);
  base::AutoLock hold(g_list_lock);
  if (thread_data->incarnation_count_for_pool_ != g_incarnation_counter) return;
  ++g_retired_count;
  if (thread_data->worker_thread_number_ == 0) return;
  thread_data->next_retired_worker_ = g_retired_workers;
  g_retired_workers = thread_data;
}

// static
ThreadData::Status ThreadData::status() {
  return static_cast<Status>(g_status.load(std::memory_order_acquire));
}

// static
TrackedTime ThreadData::Now() {
  if (!TrackingStatus() || !TimingEnabled()) return TrackedTime();
  return TrackedTime::Now();
}

// static
bool ThreadData::IsProfilerTimingEnabledFor(
    const base::CommandLine& command_line) {
  return !(command_line.HasSwitch(kProfilerTimingSwitch) &&
           command_line.GetSwitchValueASCII(kProfilerTimingSwitch) == "0");
}

// static
Births* ThreadData::TallyABirthIfActive(const base::Location& location) {
  if (!TrackingStatus()) return nullptr;
  ThreadData* thread_data = Get();
  return thread_data ? thread_data->TallyABirth(location) : nullptr;
}

Births* ThreadData::TallyABirth(const base::Location& location) {
  auto it = birth_map_.find(location);
  if (it != birth_map_.end()) {
    it->second->RecordBirth();
    return it->second;
  }
  Births* births = new Births(location, this);
  base::AutoLock hold(map_lock_);
  birth_map_.emplace(location, births);
  return births;
}

// static
void ThreadData::TallyADeathIfActive(const Births* births,
                                     TrackedTime effective_post_time,
                                     const TaskStopwatch& stopwatch) {
  if (!births || !TrackingStatus()) return;
  ThreadData* thread_data = stopwatch.GetThreadData();
  if (!thread_data) return;
  int32_t queue_duration = stopwatch.StartTime().is_null()
                               ? 0
                               : stopwatch.StartTime() - effective_post_time;
  thread_data->TallyADeath(*births, queue_duration, stopwatch);
}

void ThreadData::TallyADeath(const Births& births, int32_t queue_duration,
                             const TaskStopwatch& stopwatch) {
  int32_t run_duration = stopwatch.RunDurationMs();
  random_number_ += static_cast<uint32_t>(queue_duration) +
                    static_cast<uint32_t>(run_duration) + 0x7FFFFFFFu;
  random_number_ ^= static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&births) /
                                          sizeof(Births));

  DeathData* death_data;
  auto it = death_map_.find(&births);
  if (it != death_map_.end()) {
    death_data = &it->second;
  } else {
    base::AutoLock hold(map_lock_);
    death_data = &death_map_[&births];
  }
  death_data->RecordDeath(queue_duration, run_duration, random_number_);
}

const Births* ThreadData::FindBirths(const base::Location& location) const {
  base::AutoLock hold(map_lock_);
  auto it = birth_map_.find(location);
  return it == birth_map_.end() ? nullptr : it->second;
}

const DeathData* ThreadData::FindDeathData(const Births* births) const {
  base::AutoLock hold(map_lock_);
  auto it = death_map_.find(births);
  return it == death_map_.end() ? nullptr : &it->second;
}

}  // namespace tracked_objects
