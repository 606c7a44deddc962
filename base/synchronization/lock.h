// Lock: the non-recursive mutual-exclusion lock of every thread in the
// process, and the scoped holders AutoLock and AutoUnlock.
//
// On Windows the lock is one slim reader/writer lock word taken exclusively;
// elsewhere a pthread mutex. A thread must never take a Lock it already
// holds: that deadlocks (and is caught by a check in debug builds).

#ifndef BASE_SYNCHRONIZATION_LOCK_H_
#define BASE_SYNCHRONIZATION_LOCK_H_

#include <atomic>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace base {

class Lock {
 public:
  // Constant-initialised, so a Lock at namespace scope is usable before
  // any static constructor has run.
  constexpr Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;
  ~Lock();

  // Takes the lock, waiting as long as another thread holds it.
  void Acquire();
  // Releases the lock; the calling thread must hold it.
  void Release();
  // Takes the lock when it is free; false, without waiting, when it is held.
  bool Try();

  // Debug builds check that the calling thread holds the lock; release
  // builds do nothing.
  void AssertAcquired() const;

 private:
  friend class ConditionVariable;

  // Bookkeeping for AssertAcquired, only in debug builds.
  void CheckNotHeldByCaller() const;
  void MarkHeld();
  void CheckHeldAndUnmark();

#if defined(_WIN32)
  // An SRWLOCK: one pointer-sized word, zero when free. Kept opaque so that
  // this header does not pull in windows.h.
  void* srw_lock_ = nullptr;
#else
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
#endif
#if !defined(NDEBUG)
  // An opaque token of the holding thread, 0 when free.
  std::atomic<unsigned long long> owner_{0};
#endif
};

// Holds |lock| for the life of the object.
class AutoLock {
 public:
  explicit AutoLock(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  AutoLock(const AutoLock&) = delete;
  AutoLock& operator=(const AutoLock&) = delete;
  ~AutoLock() { lock_.Release(); }

 private:
  Lock& lock_;
};

// Releases a held |lock| for the life of the object and takes it again at
// the end, for calls that must run unlocked inside a locked block.
class AutoUnlock {
 public:
  explicit AutoUnlock(Lock& lock) : lock_(lock) {
    lock_.AssertAcquired();
    lock_.Release();
  }
  AutoUnlock(const AutoUnlock&) = delete;
  AutoUnlock& operator=(const AutoUnlock&) = delete;
  ~AutoUnlock() { lock_.Acquire(); }

 private:
  Lock& lock_;
};

}  // namespace base

#endif  // BASE_SYNCHRONIZATION_LOCK_H_
