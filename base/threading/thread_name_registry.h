// ThreadNameRegistry: the process-wide record of thread names.
//
// Names are interned: each distinct name is stored once and never freed, so
// a pointer from GetName stays valid for the life of the process. Threads
// started by PlatformThread are registered by handle and id while their
// delegate runs; a thread that was not started here (the main thread) keeps
// its name in a slot of its own. All operations are thread-safe.

#ifndef BASE_THREADING_THREAD_NAME_REGISTRY_H_
#define BASE_THREADING_THREAD_NAME_REGISTRY_H_

#include <stdint.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>

#include "base/synchronization/lock.h"
#include "base/threading/platform_thread.h"

namespace base {

class ThreadNameRegistry {
 public:
  // Heap profiling's receiver for the interned name of the thread that is
  // being named; called on that thread, outside the registry's lock.
  using InternedNameObserver = void (*)(const char* interned_name);

  // Tests make their own registry; the process uses GetInstance().
  ThreadNameRegistry();
  ThreadNameRegistry(const ThreadNameRegistry&) = delete;
  ThreadNameRegistry& operator=(const ThreadNameRegistry&) = delete;
  ~ThreadNameRegistry();

  // The process's registry, created on first use and never destroyed.
  static ThreadNameRegistry* GetInstance();

  // Null turns the hand-over off.
  static void SetInternedNameObserver(InternedNameObserver observer);

  // Records a thread started here: id -> handle, handle -> "".
  void RegisterThread(PlatformThreadHandle handle, PlatformThreadId id);
  // Names the registered thread |id|, or, when |id| is not registered, sets
  // the main thread's name and id.
  void SetName(PlatformThreadId id, const std::string& name);
  // The same for the calling thread.
  void SetName(const std::string& name);
  // The name of |id|: the main thread's name for the main id, "" for an id
  // that is not registered.
  const char* GetName(PlatformThreadId id);
  // Forgets the thread's handle entry, and its id entry unless the system
  // has since given the id to a newer thread with another handle.
  void RemoveName(PlatformThreadHandle handle, PlatformThreadId id);

  // Rises with every change of a name or registration, so that a caller
  // can cache names and ask again only after a change (without the lock).
  uint32_t change_count() const {
    return change_count_.load(std::memory_order_acquire);
  }

 private:
  // Finds or makes the interned copy of |name|; the lock must be held.
  const std::string* Intern(const std::string& name);

  Lock lock_;
  std::map<std::string, std::unique_ptr<std::string>, std::less<>> interned_;
  std::map<PlatformThreadId, PlatformThreadHandle> id_to_handle_;
  std::map<PlatformThreadHandle, const std::string*> handle_to_name_;
  const std::string* default_name_ = nullptr;
  const std::string* main_name_ = nullptr;
  PlatformThreadId main_id_ = kInvalidThreadId;
  std::atomic<uint32_t> change_count_{0};
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_NAME_REGISTRY_H_
