#include <errno.h>

#include "base/logging.h"
#include "base/synchronization/lock.h"

namespace base {

Lock::~Lock() { pthread_mutex_destroy(&mutex_); }

void Lock::Acquire() {
  CheckNotHeldByCaller();
  int result = pthread_mutex_lock(&mutex_);
  CHECK(result == 0) << "pthread_mutex_lock: " << result;
  MarkHeld();
}

void Lock::Release() {
  CheckHeldAndUnmark();
  int result = pthread_mutex_unlock(&mutex_);
  CHECK(result == 0) << "pthread_mutex_unlock: " << result;
}

bool Lock::Try() {
  int result = pthread_mutex_trylock(&mutex_);
  if (result == EBUSY) return false;
  CHECK(result == 0) << "pthread_mutex_trylock: " << result;
  MarkHeld();
  return true;
}

}  // namespace base
