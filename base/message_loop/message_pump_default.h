// MessagePumpDefault: the pump of worker threads. It sleeps on an automatic
// event that ScheduleWork signals, or until the next delayed task is due.

#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_

#include "base/message_loop/message_pump.h"
#include "base/synchronization/waitable_event.h"
#include "base/time/time.h"

namespace base {

class MessagePumpDefault : public MessagePump {
 public:
  MessagePumpDefault();
  ~MessagePumpDefault() override;

  void Run(MessagePumpDelegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;
  void ScheduleDelayedWork(const TimeTicks& delayed_work_time) override;

  // A timed wait for |remaining| waits at least this long, so a task due
  // in a fraction of a millisecond never turns the pump into a busy loop.
  static constexpr TimeDelta kMinimumWait = TimeDelta::FromMicroseconds(1000);

 private:
  // Sleeps until signalled or until the delayed work time has come.
  void WaitForWork();

  bool keep_running_ = true;
  WaitableEvent event_;
  TimeTicks delayed_work_time_;
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_DEFAULT_H_
