// Timer: runs a task once after a delay (one-shot) or every delay
// (repeating) on a task runner, by default the registered runner of the
// thread that starts it.
//
//   OneShotTimer commit_timer;
//   commit_timer.Start(CURRENT_LOCATION, TimeDelta::FromSeconds(10),
//                      Bind(&Writer::DoScheduledWrite, Unretained(this)));
//
// Restarting a running timer with a later deadline does not post again: the
// task already posted notices the later deadline when it arrives and posts
// itself for the remainder. Stop does not cancel the posted task either; it
// makes its arrival do nothing. A timer is used on one thread; its task runs
// there. Destroying the timer stops it.

#ifndef BASE_TIMER_TIMER_H_
#define BASE_TIMER_TIMER_H_

#include "base/callback.h"
#include "base/location.h"
#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"

namespace base {

namespace internal {
class TimerTaskLink;
}  // namespace internal

class Timer {
 public:
  // |retain_user_task|: keep the task across Stop, so that Reset can start
  // the timer again without a new Start.
  Timer(bool retain_user_task, bool is_repeating);
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;
  virtual ~Timer();

  virtual bool IsRunning() const;
  virtual TimeDelta GetCurrentDelay() const;

  // Posts later tasks through |task_runner| instead of the thread's runner.
  virtual void SetTaskRunner(ScopedRefPtr<SequencedTaskRunner> task_runner);

  // Stores the three and restarts the timer (Reset).
  virtual void Start(const Location& posted_from, TimeDelta delay,
                     const Closure& user_task);

  // The timer stops; its task is released unless retained.
  virtual void Stop();

  // Starts the timer again with its delay from now. A posted task that is
  // due no later than the new deadline is kept; an earlier deadline posts
  // anew.
  virtual void Reset();

  const Closure& user_task() const { return user_task_; }
  // Null when posted without delay.
  TimeTicks desired_run_time() const { return desired_run_time_; }

 private:
  friend class internal::TimerTaskLink;

  void PostNewScheduledTask(TimeDelta delay);
  // Forgets the posted task, whose arrival then does nothing.
  void AbandonScheduledTask();
  // The arrival of the posted task.
  void RunScheduledTask();
  // The posted task was destroyed unrun.
  void OnScheduledTaskDropped();

  // The link carried by the posted task, null when nothing is posted.
  internal::TimerTaskLink* scheduled_task_ = nullptr;
  ScopedRefPtr<SequencedTaskRunner> task_runner_;
  Location posted_from_;
  TimeDelta delay_;
  Closure user_task_;
  TimeTicks scheduled_run_time_;
  TimeTicks desired_run_time_;
  PlatformThreadId thread_id_ = kInvalidThreadId;
  const bool is_repeating_;
  const bool retain_user_task_;
  bool is_running_ = false;
};

class OneShotTimer : public Timer {
 public:
  OneShotTimer() : Timer(false, false) {}
};

class RepeatingTimer : public Timer {
 public:
  RepeatingTimer() : Timer(true, true) {}
};

}  // namespace base

#endif  // BASE_TIMER_TIMER_H_
