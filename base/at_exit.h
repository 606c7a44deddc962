// AtExitManager: runs the clean-up of process-wide objects when the
// process's at-exit scope ends, the last registered first.
//
// A manager is a stack object, made at the start of the entry point (and of
// each test); while it lives it is the process's top manager, and an inner
// manager shadows the outer one until it is destroyed. Lazily created
// singletons register their deletion with RegisterCallback from any thread.
// Callbacks run on the thread that destroys the manager (or calls
// ProcessCallbacksNow), without the lock held; a callback registered during
// that pass does not run and is released when the manager is destroyed.

#ifndef BASE_AT_EXIT_H_
#define BASE_AT_EXIT_H_

#include <deque>

#include "base/synchronization/lock.h"

namespace base {

class AtExitManager {
 public:
  using AtExitCallbackType = void (*)(void* parameter);

  AtExitManager();
  AtExitManager(const AtExitManager&) = delete;
  AtExitManager& operator=(const AtExitManager&) = delete;
  // Runs this manager's callbacks, then makes the previous manager the top
  // one again.
  ~AtExitManager();

  // Registers |function|(|parameter|) with the top manager. Without a
  // manager the registration is dropped and the function never runs.
  static void RegisterCallback(AtExitCallbackType function, void* parameter);
  // Runs and removes the top manager's callbacks now, last registered first.
  static void ProcessCallbacksNow();
  // True while a manager exists.
  static bool IsActive();

 private:
  struct Callback {
    AtExitCallbackType function;
    void* parameter;
  };

  Lock lock_;
  std::deque<Callback> stack_;
  AtExitManager* const previous_;
};

}  // namespace base

#endif  // BASE_AT_EXIT_H_
