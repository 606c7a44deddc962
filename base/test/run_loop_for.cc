#include "base/test/run_loop_for.h"

#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/time/time.h"

namespace base {

void RunLoopFor(int milliseconds) {
  RunLoop run_loop;
  MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION, run_loop.QuitClosure(),
      TimeDelta::FromMilliseconds(milliseconds));
  run_loop.Run();
}

bool RunLoopUntil(const std::function<bool()>& condition, int timeout_ms) {
  const TimeTicks end =
      TimeTicks::Now() + TimeDelta::FromMilliseconds(timeout_ms);
  while (!condition()) {
    if (TimeTicks::Now() > end) return false;
    RunLoopFor(20);
  }
  return true;
}

}  // namespace base
