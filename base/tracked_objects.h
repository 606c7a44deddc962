// Task tracking: per thread and per posting location, how many tasks were
// posted (births) and how long finished tasks waited and ran (deaths). It
// switches itself on when the first thread is named and then counts every
// task of the message loops and worker pools. The statistics stay in memory
// for the life of the process.
//
// Each thread's ThreadData is written only by that thread; insertions into
// its maps also take the map lock so that another thread may read them.
// ThreadData objects are never freed: a worker thread's one is handed to the
// next unnamed thread once the worker has ended.

#ifndef BASE_TRACKED_OBJECTS_H_
#define BASE_TRACKED_OBJECTS_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>
#include <unordered_map>

#include "base/location.h"
#include "base/synchronization/lock.h"

namespace base {
class CommandLine;
}

namespace tracked_objects {

class ThreadData;

// "profiler-timing": "0" switches the timing of tracked tasks off.
extern const char kProfilerTimingSwitch[];

// A tracking clock reading in whole milliseconds, 32 bits. Reads 0 while
// tracking is off or timing is switched off.
class TrackedTime {
 public:
  constexpr TrackedTime() = default;
  constexpr explicit TrackedTime(int32_t ms) : ms_(ms) {}

  // TimeTicks::Now in whole milliseconds (truncated); -1 for the maximum
  // tick value. Ignores whether tracking is on: see ThreadData::Now.
  static TrackedTime Now();

  int32_t ToMilliseconds() const { return ms_; }
  bool is_null() const { return ms_ == 0; }
  // Differences wrap like the 32-bit clock itself.
  int32_t operator-(TrackedTime other) const {
    return static_cast<int32_t>(static_cast<uint32_t>(ms_) -
                                static_cast<uint32_t>(other.ms_));
  }

 private:
  int32_t ms_ = 0;
};

// The tasks posted from one location on one thread.
class Births {
 public:
  Births(const base::Location& location, ThreadData* birth_thread)
      : location_(location), birth_thread_(birth_thread) {}

  const base::Location& location() const { return location_; }
  ThreadData* birth_thread() const { return birth_thread_; }
  int birth_count() const { return birth_count_; }
  void RecordBirth() { ++birth_count_; }

 private:
  const base::Location location_;
  ThreadData* const birth_thread_;
  int birth_count_ = 1;
};

// What the tasks of one Births record cost on the thread that ran them.
class DeathData {
 public:
  // Counts one run, keeping a uniform sample of one run's durations.
  void RecordDeath(int32_t queue_duration, int32_t run_duration,
                   uint32_t random_number);

  int count() const { return count_; }
  int sample_probability_count() const { return sample_probability_count_; }
  int32_t run_duration_sum() const { return run_duration_sum_; }
  int32_t queue_duration_sum() const { return queue_duration_sum_; }
  int32_t run_duration_max() const { return run_duration_max_; }
  int32_t queue_duration_max() const { return queue_duration_max_; }
  int32_t run_duration_sample() const { return run_duration_sample_; }
  int32_t queue_duration_sample() const { return queue_duration_sample_; }

 private:
  int count_ = 0;
  int sample_probability_count_ = 0;
  int32_t run_duration_sum_ = 0;
  int32_t queue_duration_sum_ = 0;
  int32_t run_duration_max_ = 0;
  int32_t queue_duration_max_ = 0;
  int32_t run_duration_sample_ = 0;
  int32_t queue_duration_sample_ = 0;
};

// Times one task run on the calling thread. Stopwatches nest: the time of
// a stopwatch started while another runs is taken off its parent's run
// duration, so a task running a nested loop is charged only its own time.
class TaskStopwatch {
 public:
  TaskStopwatch();
  TaskStopwatch(const TaskStopwatch&) = delete;
  TaskStopwatch& operator=(const TaskStopwatch&) = delete;
  ~TaskStopwatch();

  void Start();
  void Stop();

  TrackedTime StartTime() const { return start_time_; }
  // Wall-clock time between Start and Stop minus the nested stopwatches'.
  int32_t RunDurationMs() const;
  ThreadData* GetThreadData() const { return current_thread_data_; }

 private:
  TrackedTime start_time_;
  int32_t wallclock_duration_ms_ = 0;
  int32_t excluded_duration_ms_ = 0;
  ThreadData* current_thread_data_ = nullptr;
  TaskStopwatch* parent_stopwatch_ = nullptr;
#if !defined(NDEBUG)
  int state_ = 0;  // 0 created, 1 running, 2 stopped
#endif
};

class ThreadData {
 public:
  // Tracking status: tallies happen only above kDeactivated.
  enum Status {
    kUninitialized = 0,
    kDormantDuringTests = 1,
    kDeactivated = 2,
    kProfilingActive = 3,
  };

  // Names the calling thread for tracking, switching tracking on in the
  // process first. A thread that already has its ThreadData keeps it.
  static void InitializeThreadContext(const std::string& name);

  // Makes thread naming (PlatformThread::SetName) switch tracking on and
  // name the thread here. Called by the task runtime before it starts
  // threads; harmless to repeat.
  static void ListenForThreadNames();

  // The calling thread's ThreadData, made (or reused from an ended worker,
  // named "WorkerThread-<n>") on first use. Null while tracking is off.
  static ThreadData* Get();

  // Counts a task posted from |location| on the calling thread; null while
  // tracking is off.
  static Births* TallyABirthIfActive(const base::Location& location);

  // Counts a finished task: |births| is the record of its posting site,
  // |effective_post_time| the time it was posted (or became due). Does
  // nothing without births or when the stopwatch had no thread data.
  static void TallyADeathIfActive(const Births* births,
                                  TrackedTime effective_post_time,
                                  const TaskStopwatch& stopwatch);

  static Status status();
  static bool TrackingStatus() { return status() > kDeactivated; }
  // The tracking clock: TrackedTime::Now while tracking is on and timing is
  // enabled, else 0.
  static TrackedTime Now();

  // Timing is on unless |command_line| has "profiler-timing" with the value
  // "0".
  static bool IsProfilerTimingEnabledFor(const base::CommandLine& command_line);

  const std::string& thread_name() const { return thread_name_; }
  int worker_thread_number() const { return worker_thread_number_; }

  // Readers for the thread that owns this object (or under its map lock).
  const Births* FindBirths(const base::Location& location) const;
  const DeathData* FindDeathData(const Births* births) const;

 private:
  struct LocationHash {
    size_t operator()(const base::Location& location) const;
  };
  struct LocationEqual {
    bool operator()(const base::Location& a, const base::Location& b) const;
  };
  using BirthMap =
      std::unordered_map<base::Location, Births*, LocationHash, LocationEqual>;
  using DeathMap = std::map<const Births*, DeathData>;

  friend class TaskStopwatch;

  ThreadData(const std::string& name, int worker_thread_number);
  ~ThreadData() = delete;

  // Switches tracking on once; false when it could not be.
  static bool Initialize();
  // The slot destructor: retires an ending worker's ThreadData.
  static void OnThreadTermination(void* thread_data);

  Births* TallyABirth(const base::Location& location);
  void TallyADeath(const Births& births, int32_t queue_duration,
                   const TaskStopwatch& stopwatch);

  ThreadData* next_ = nullptr;
  ThreadData* next_retired_worker_ = nullptr;
  const std::string thread_name_;
  const int worker_thread_number_;
  BirthMap birth_map_;
  DeathMap death_map_;
  mutable base::Lock map_lock_;
  uint32_t random_number_ = 0;
  int incarnation_count_for_pool_ = 0;
  TaskStopwatch* current_stopwatch_ = nullptr;
};

}  // namespace tracked_objects

#endif  // BASE_TRACKED_OBJECTS_H_
