#include "base/time/clock.h"

namespace base {

DefaultClock::~DefaultClock() = default;

Time DefaultClock::Now() { return Time::Now(); }

}  // namespace base
