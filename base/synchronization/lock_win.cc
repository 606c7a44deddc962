#include <windows.h>

#include "base/synchronization/lock.h"

namespace base {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "the lock word is one SRWLOCK");

namespace {

SRWLOCK* AsSrwLock(void** word) { return reinterpret_cast<SRWLOCK*>(word); }

}  // namespace

Lock::~Lock() = default;

void Lock::Acquire() {
  CheckNotHeldByCaller();
  AcquireSRWLockExclusive(AsSrwLock(&srw_lock_));
  MarkHeld();
}

void Lock::Release() {
  CheckHeldAndUnmark();
  ReleaseSRWLockExclusive(AsSrwLock(&srw_lock_));
}

bool Lock::Try() {
  if (!TryAcquireSRWLockExclusive(AsSrwLock(&srw_lock_))) return false;
  MarkHeld();
  return true;
}

}  // namespace base
