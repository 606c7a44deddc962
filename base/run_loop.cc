#include "base/run_loop.h"

#include "base/bind.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/tracked_objects.h"

namespace base {

RunLoop::RunLoop() : loop_(MessageLoop::current()) { CHECK(loop_); }

#if defined(_WIN32)
RunLoop::RunLoop(MessagePumpDispatcher* dispatcher)
    : loop_(MessageLoop::current()), dispatcher_(dispatcher) {
  CHECK(loop_);
}
#endif

RunLoop::~RunLoop() = default;

void RunLoop::Run() {
  CHECK(!run_called_);
  run_called_ = true;
  if (quit_called_) return;

  previous_run_loop_ = loop_->current_run_loop_;
  run_depth_ = previous_run_loop_ ? previous_run_loop_->run_depth_ + 1 : 1;
  loop_->current_run_loop_ = this;
  running_ = true;

  // The run's own stopwatch: time spent in tasks run here is not charged
  // to a task that started this (nested) run.
  tracked_objects::TaskStopwatch stopwatch;
  stopwatch.Start();
  loop_->RunHandler(this);
  stopwatch.Stop();

  running_ = false;
  loop_->current_run_loop_ = previous_run_loop_;
  // An outer run quit while this one ran: carry its quit out now.
  if (previous_run_loop_ && previous_run_loop_->quit_called_ &&
      loop_->current_run_loop_) {
    loop_->QuitNow();
  }
}

void RunLoop::RunUntilIdle() {
  quit_when_idle_received_ = true;
  Run();
}

void RunLoop::Quit() {
  quit_called_ = true;
  if (running_ && loop_->current_run_loop_ == this) loop_->QuitNow();
}

void RunLoop::QuitWhenIdle() { quit_when_idle_received_ = true; }

Closure RunLoop::QuitClosure() {
  return Bind(&RunLoop::Quit, weak_factory_.GetWeakPtr());
}

Closure RunLoop::QuitWhenIdleClosure() {
  return Bind(&RunLoop::QuitWhenIdle, weak_factory_.GetWeakPtr());
}

}  // namespace base
