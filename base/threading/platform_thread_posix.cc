#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include "base/logging.h"
#include "base/threading/platform_thread.h"
#include "base/threading/thread_name_registry.h"

namespace base {

namespace {

struct ThreadStartRecord {
  PlatformThread::Delegate* delegate;
  bool joinable;
  ThreadPriority priority;
};

void* ThreadFunc(void* parameter) {
  auto* record = static_cast<ThreadStartRecord*>(parameter);
  PlatformThread::Delegate* delegate = record->delegate;
  PlatformThreadHandle self = pthread_self();
  PlatformThreadId id = PlatformThread::CurrentId();
  ThreadNameRegistry::GetInstance()->RegisterThread(self, id);
  delete record;
  delegate->ThreadMain();
  ThreadNameRegistry::GetInstance()->RemoveName(self, id);
  return nullptr;
}

}  // namespace

namespace internal {

void PlatformSleepMilliseconds(uint32_t milliseconds) {
  timespec duration;
  duration.tv_sec = milliseconds / 1000;
  duration.tv_nsec = (milliseconds % 1000) * 1000000L;
  while (nanosleep(&duration, &duration) == -1 && errno == EINTR) {
  }
}

}  // namespace internal

// static
PlatformThreadId PlatformThread::CurrentId() {
  return static_cast<PlatformThreadId>(syscall(SYS_gettid));
}

// static
void PlatformThread::YieldCurrentThread() { sched_yield(); }

// static
void PlatformThread::SetName(const std::string& name) {
  ThreadNameRegistry::GetInstance()->SetName(CurrentId(), name);
  internal::NotifyTaskTrackingOfName(name);
  // The kernel keeps at most 15 characters.
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

// static
bool PlatformThread::CreateThreadInternal(size_t stack_size, Delegate* delegate,
                                          PlatformThreadHandle* handle_out,
                                          ThreadPriority priority) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (!handle_out)
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (stack_size && pthread_attr_setstacksize(&attributes, stack_size) != 0) {
    LOG(ERROR) << "Stack size refused: " << stack_size;
    pthread_attr_destroy(&attributes);
    return false;
  }
  auto* record =
      new ThreadStartRecord{delegate, handle_out != nullptr, priority};
  pthread_t thread;
  int result = pthread_create(&thread, &attributes, &ThreadFunc, record);
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    LOG(ERROR) << "pthread_create failed: " << result;
    delete record;
    return false;
  }
  if (handle_out) *handle_out = thread;
  return true;
}

// static
void PlatformThread::Join(PlatformThreadHandle handle) {
  int result = pthread_join(handle, nullptr);
  CHECK(result == 0) << "pthread_join failed: " << result;
}

// Thread priorities are not changed here: every thread runs at the normal
// priority.

// static
ThreadPriority PlatformThread::GetCurrentThreadPriority() {
  return ThreadPriority::kNormal;
}

// static
void PlatformThread::SetCurrentThreadPriority(ThreadPriority priority) {}

}  // namespace base
