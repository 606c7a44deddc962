#include "base/timer/timer.h"

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/logging.h"
#include "base/threading/thread_task_runner_registration.h"

namespace base {
namespace internal {

// What the posted task owns: a pointer back to the timer, cleared when the
// timer abandons the task. A task dropped unrun with the pointer still set
// stops the timer, so that it never keeps a dangling link.
class TimerTaskLink {
 public:
  explicit TimerTaskLink(Timer* timer) : timer_(timer) {}
  TimerTaskLink(const TimerTaskLink&) = delete;
  TimerTaskLink& operator=(const TimerTaskLink&) = delete;
  ~TimerTaskLink() {
    if (timer_) timer_->OnScheduledTaskDropped();
  }

  static void Run(std::unique_ptr<TimerTaskLink>& link) {
    Timer* timer = link->timer_;
    if (!timer) return;
    timer->scheduled_task_ = nullptr;
    link->timer_ = nullptr;
    timer->RunScheduledTask();
  }

  void Abandon() { timer_ = nullptr; }

 private:
  Timer* timer_;
};

}  // namespace internal

Timer::Timer(bool retain_user_task, bool is_repeating)
    : is_repeating_(is_repeating), retain_user_task_(retain_user_task) {}

Timer::~Timer() {
  Stop();
  AbandonScheduledTask();
}

bool Timer::IsRunning() const { return is_running_; }

TimeDelta Timer::GetCurrentDelay() const { return delay_; }

void Timer::SetTaskRunner(ScopedRefPtr<SequencedTaskRunner> task_runner) {
  task_runner_ = std::move(task_runner);
}

void Timer::Start(const Location& posted_from, TimeDelta delay,
                  const Closure& user_task) {
  posted_from_ = posted_from;
  delay_ = delay;
  user_task_ = user_task;
  Reset();
}

void Timer::Stop() {
  is_running_ = false;
  if (!retain_user_task_) user_task_.Reset();
}

void Timer::Reset() {
  CHECK(!user_task_.is_null());
  if (scheduled_task_) {
    desired_run_time_ =
        delay_ > TimeDelta() ? TimeTicks::Now() + delay_ : TimeTicks();
    // The posted task arrives in time and posts again for the rest.
    if (desired_run_time_ >= scheduled_run_time_) {
      is_running_ = true;
      return;
    }
    AbandonScheduledTask();
  }
  PostNewScheduledTask(delay_);
}

void Timer::PostNewScheduledTask(TimeDelta delay) {
  CHECK(!scheduled_task_);
  is_running_ = true;
  auto link = std::make_unique<internal::TimerTaskLink>(this);
  scheduled_task_ = link.get();
  ScopedRefPtr<SequencedTaskRunner> runner =
      task_runner_ ? task_runner_ : ThreadTaskRunnerRegistration::Get();
  // A timer needs a runner to post to.
  CHECK(runner);
  Closure task = Bind(&internal::TimerTaskLink::Run, std::move(link));
  if (delay < TimeDelta::FromMicroseconds(1)) {
    scheduled_run_time_ = desired_run_time_ = TimeTicks();
    runner->PostTask(posted_from_, task);
  } else {
    scheduled_run_time_ = desired_run_time_ = TimeTicks::Now() + delay;
    runner->PostDelayedTask(posted_from_, task, delay);
  }
  if (thread_id_ == kInvalidThreadId) thread_id_ = PlatformThread::CurrentId();
}

void Timer::AbandonScheduledTask() {
  if (!scheduled_task_) return;
  scheduled_task_->Abandon();
  scheduled_task_ = nullptr;
}

void Timer::OnScheduledTaskDropped() {
  scheduled_task_ = nullptr;
  Stop();
}

void Timer::RunScheduledTask() {
  if (!is_running_) return;
  if (desired_run_time_ > scheduled_run_time_) {
    const TimeTicks now = TimeTicks::Now();
    if (desired_run_time_ > now) {
      PostNewScheduledTask(desired_run_time_ - now);
      return;
    }
  }
  // Run through a copy: the task may stop, restart or destroy this timer.
  Closure task = user_task_;
  if (is_repeating_)
    PostNewScheduledTask(delay_);
  else
    Stop();
  task.Run();
}

}  // namespace base
