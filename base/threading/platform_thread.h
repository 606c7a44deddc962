// PlatformThread: the only place that creates operating-system threads.
//
// A thread runs one Delegate's ThreadMain. While it runs, it is registered
// by handle and id in the ThreadNameRegistry (thread_name_registry.h), which
// keeps the names given with SetName for the life of the process.

#ifndef BASE_THREADING_PLATFORM_THREAD_H_
#define BASE_THREADING_PLATFORM_THREAD_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/time/time.h"

#if !defined(_WIN32)
#include <pthread.h>
#include <sys/types.h>
#endif

namespace base {

#if defined(_WIN32)
// A Windows thread id (DWORD) and thread handle (HANDLE).
using PlatformThreadId = uint32_t;
using PlatformThreadHandle = void*;
#else
using PlatformThreadId = pid_t;
using PlatformThreadHandle = pthread_t;
#endif

inline constexpr PlatformThreadId kInvalidThreadId = 0;

// On Windows: THREAD_PRIORITY_LOWEST, THREAD_PRIORITY_NORMAL,
// THREAD_PRIORITY_ABOVE_NORMAL and THREAD_PRIORITY_TIME_CRITICAL. Elsewhere
// every thread runs at the normal priority.
enum class ThreadPriority : int {
  kLowest = 0,
  kNormal = 1,
  kAboveNormal = 2,
  kTimeCritical = 3,
};

class PlatformThread {
 public:
  // What a new thread runs. The creator keeps the delegate alive until
  // ThreadMain has returned.
  class Delegate {
   public:
    virtual void ThreadMain() = 0;

   protected:
    virtual ~Delegate() = default;
  };

  PlatformThread() = delete;

  static PlatformThreadId CurrentId();
  static void YieldCurrentThread();

  // Sleeps at least |duration|: the remaining time is asked for in whole
  // milliseconds rounded up, and again until the monotonic clock has passed
  // the end. Zero or negative durations return at once.
  static void Sleep(TimeDelta duration);

  // Names the calling thread in the registry, hands the name to task
  // tracking (except "BrokerEvent"), and, under a debugger, to the debugger.
  static void SetName(const std::string& name);
  // The calling thread's registered name, "" when it has none. The pointer
  // stays valid until the process ends.
  static const char* GetName();

  // Starts a thread running |delegate|. With |handle_out| the thread is
  // joinable and its handle is stored there; the caller must Join it.
  // Without, the handle is closed at once and the thread cannot be joined.
  // A non-zero |stack_size| is the stack's reserved size. False when the
  // system cannot create the thread.
  static bool CreateThreadInternal(size_t stack_size, Delegate* delegate,
                                   PlatformThreadHandle* handle_out,
                                   ThreadPriority priority);
  static bool Create(size_t stack_size, Delegate* delegate,
                     PlatformThreadHandle* handle_out,
                     ThreadPriority priority = ThreadPriority::kNormal);
  static bool CreateNonJoinable(
      size_t stack_size, Delegate* delegate,
      ThreadPriority priority = ThreadPriority::kNormal);

  // Waits without limit for the thread to end and releases its handle. A
  // failed wait stops the process.
  static void Join(PlatformThreadHandle handle);

  // The calling thread's priority; kNormal for a value outside the four.
  static ThreadPriority GetCurrentThreadPriority();
  static void SetCurrentThreadPriority(ThreadPriority priority);

  // Task tracking registers here to learn every thread name given with
  // SetName (other than "BrokerEvent"). Null turns it off.
  using NameObserver = void (*)(const std::string& name);
  static void SetTaskTrackingNameObserver(NameObserver observer);
};

namespace internal {

// The system sleep behind PlatformThread::Sleep, in whole milliseconds.
using SystemSleepFunction = void (*)(uint32_t milliseconds);
// Replaces it for tests; null restores the system's.
void SetSystemSleepFunctionForTesting(SystemSleepFunction function);
// The replacement when one is set, else the platform's sleep below.
void SystemSleep(uint32_t milliseconds);
void PlatformSleepMilliseconds(uint32_t milliseconds);

// Hands |name| to task tracking unless it is "BrokerEvent".
void NotifyTaskTrackingOfName(const std::string& name);

}  // namespace internal

}  // namespace base

#endif  // BASE_THREADING_PLATFORM_THREAD_H_
