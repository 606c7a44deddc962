// A source of the current wall-clock time, so that code that reads the clock
// can be handed a fake one in tests.

#ifndef BASE_TIME_CLOCK_H_
#define BASE_TIME_CLOCK_H_

#include "base/time/time.h"

namespace base {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Time Now() = 0;
};

// The system's clock: Time::Now().
class DefaultClock : public Clock {
 public:
  ~DefaultClock() override;
  Time Now() override;
};

}  // namespace base

#endif  // BASE_TIME_CLOCK_H_
