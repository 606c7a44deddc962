// MessagePump: the waiting half of a MessageLoop. It sleeps until there is
// something to do and then calls its delegate (the loop) to do it. The
// default pump waits on an event; the Windows UI pump also dispatches window
// messages and the IO pump completed overlapped operations
// (message_pump_win.h).
//
// ScheduleWork may be called from any thread; everything else runs on the
// pump's own thread.

#ifndef BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
#define BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_

#include "base/time/time.h"

namespace base {

// What a pump asks of its loop. Each call returns true when it did work,
// so that the pump tries again before it sleeps.
class MessagePumpDelegate {
 public:
  virtual ~MessagePumpDelegate() = default;

  // Runs one immediate task.
  virtual bool DoWork() = 0;
  // Runs one due delayed task. |next_delayed_work_time| receives the run
  // time of the earliest delayed task still waiting, or null when there is
  // none (it may also be left as it was after a task ran).
  virtual bool DoDelayedWork(TimeTicks* next_delayed_work_time) = 0;
  // Called when there is nothing else to do, before the pump sleeps.
  virtual bool DoIdleWork() = 0;
};

class MessagePump {
 public:
  MessagePump();
  MessagePump(const MessagePump&) = delete;
  MessagePump& operator=(const MessagePump&) = delete;
  virtual ~MessagePump();

  // Runs until Quit is called from inside; may be nested.
  virtual void Run(MessagePumpDelegate* delegate) = 0;
  // Ends the innermost Run once the current call into the delegate returns.
  virtual void Quit() = 0;
  // Wakes the pump so that it calls DoWork soon. Any thread.
  virtual void ScheduleWork() = 0;
  // Makes the pump call DoDelayedWork at |delayed_work_time|. Pump thread
  // only.
  virtual void ScheduleDelayedWork(const TimeTicks& delayed_work_time) = 0;
  // Timer slack is accepted and ignored by every pump.
  virtual void SetTimerSlack(int timer_slack);
};

}  // namespace base

#endif  // BASE_MESSAGE_LOOP_MESSAGE_PUMP_H_
