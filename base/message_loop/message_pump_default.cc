#include "base/message_loop/message_pump_default.h"

#include <algorithm>

namespace base {

MessagePumpDefault::MessagePumpDefault()
    : event_(WaitableEvent::ResetPolicy::kAutomatic,
             WaitableEvent::InitialState::kNotSignaled) {}

MessagePumpDefault::~MessagePumpDefault() = default;

void MessagePumpDefault::Run(MessagePumpDelegate* delegate) {
  bool did_work = delegate->DoWork();
  if (keep_running_) {
    for (;;) {
      did_work |= delegate->DoDelayedWork(&delayed_work_time_);
      if (!keep_running_) break;
      if (!did_work) {
        did_work = delegate->DoIdleWork();
        if (!keep_running_) break;
        if (!did_work) WaitForWork();
      }
      did_work = delegate->DoWork();
      if (!keep_running_) break;
    }
  }
  // Ready for the following (or the enclosing) Run.
  keep_running_ = true;
}

void MessagePumpDefault::WaitForWork() {
  if (delayed_work_time_.is_null()) {
    event_.Wait();
    return;
  }
  TimeDelta remaining = delayed_work_time_ - TimeTicks::Now();
  if (remaining < TimeDelta::FromMicroseconds(1)) {
    // Due already: the following DoDelayedWork runs it.
    delayed_work_time_ = TimeTicks();
    return;
  }
  do {
    if (event_.TimedWait(std::max(remaining, kMinimumWait))) return;
    remaining = delayed_work_time_ - TimeTicks::Now();
  } while (remaining > TimeDelta());
}

void MessagePumpDefault::Quit() { keep_running_ = false; }

void MessagePumpDefault::ScheduleWork() { event_.Signal(); }

void MessagePumpDefault::ScheduleDelayedWork(
    const TimeTicks& delayed_work_time) {
  delayed_work_time_ = delayed_work_time;
}

}  // namespace base
