// ObjectWatcher: waits, without blocking its thread, for a waitable handle
// (a process, an event) to become signalled, then tells a delegate on the
// thread that started the watch. The system thread pool does the waiting;
// the notification is posted to the watching thread's MessageLoop and runs
// there after the current task.
//
// One watch at a time, and it ends after the first signal. A watcher is
// used on its loop's thread only. Stopping the watch (or destroying the
// watcher, or the loop) returns once the system's wait callback is done
// with the watcher, and guarantees the delegate is not called afterwards,
// even when the signal was already posted.

#ifndef BASE_WIN_OBJECT_WATCHER_H_
#define BASE_WIN_OBJECT_WATCHER_H_

#include "base/callback.h"
#include "base/memory/weak_ptr.h"
#include "base/message_loop/message_loop.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_registered_wait.h"

namespace base {
namespace win {

class ObjectWatcher : public MessageLoop::DestructionObserver {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    // The watch has ended when this is called; the delegate may start a
    // new one, or destroy the watcher, from inside.
    virtual void OnObjectSignaled(Handle object) = 0;
  };

  ObjectWatcher();
  ObjectWatcher(const ObjectWatcher&) = delete;
  ObjectWatcher& operator=(const ObjectWatcher&) = delete;
  ~ObjectWatcher() override;

  // Starts watching |object| (not owned; it must stay open while watched)
  // for |delegate| (non-null). False when a watch is active already (it is
  // kept), when the calling thread has no MessageLoop, or when the system
  // refuses the wait (logged).
  bool StartWatchingOnce(Handle object, Delegate* delegate);

  // Cancels the watch, waiting for a wait callback that is running or about
  // to start. True when a watch was cancelled, false when there was none;
  // either way no watch remains.
  bool StopWatching();

  bool IsWatching() const { return wait_.IsRegistered(); }
  // The watched handle, null when idle.
  Handle GetWatchedObject() const { return object_; }

 private:
  // On a system wait thread: posts the signal callback.
  static void __stdcall DoneWaiting(void* context, unsigned char timed_out);
  // On the loop's thread, while the watcher lives.
  void Signal(Delegate* delegate);

  // MessageLoop::DestructionObserver:
  void WillDestroyCurrentMessageLoop() override;

  // Read by the wait callback: set before the wait is registered and
  // changed only once it is unregistered.
  Closure callback_;
  MessageLoop* message_loop_ = nullptr;
  Handle object_ = nullptr;
  ScopedRegisteredWait wait_;
  WeakPtrFactory<ObjectWatcher> weak_factory_{this};
};

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_OBJECT_WATCHER_H_
