#include <windows.h>

#include "base/logging.h"
#include "base/synchronization/condition_variable.h"

namespace base {

static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*),
              "the condition is one CONDITION_VARIABLE");

namespace {

CONDITION_VARIABLE* AsCondition(void** word) {
  return reinterpret_cast<CONDITION_VARIABLE*>(word);
}

SRWLOCK* AsSrwLock(void** word) { return reinterpret_cast<SRWLOCK*>(word); }

}  // namespace

ConditionVariable::ConditionVariable(Lock* user_lock) : user_lock_(user_lock) {
  InitializeConditionVariable(AsCondition(&condition_));
}

ConditionVariable::~ConditionVariable() = default;

void ConditionVariable::Wait() { TimedWait(TimeDelta::Max()); }

void ConditionVariable::TimedWait(TimeDelta max) {
  int64_t milliseconds = max.InMillisecondsRoundedUp();
  DWORD timeout = milliseconds < 0           ? 0
                  : milliseconds >= INFINITE ? INFINITE
                                             : static_cast<DWORD>(milliseconds);
  user_lock_->CheckHeldAndUnmark();
  if (!SleepConditionVariableSRW(AsCondition(&condition_),
                                 AsSrwLock(&user_lock_->srw_lock_), timeout,
                                 0)) {
    DCHECK(GetLastError() == ERROR_TIMEOUT);
  }
  user_lock_->MarkHeld();
}

void ConditionVariable::Signal() {
  WakeConditionVariable(AsCondition(&condition_));
}

void ConditionVariable::Broadcast() {
  WakeAllConditionVariable(AsCondition(&condition_));
}

}  // namespace base
