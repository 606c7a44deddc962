#include "base/win/object_watcher.h"

#include <windows.h>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"

namespace base {
namespace win {

ObjectWatcher::ObjectWatcher() = default;

ObjectWatcher::~ObjectWatcher() {
  StopWatching();
  weak_factory_.InvalidateWeakPtrs();
  callback_.Reset();
}

bool ObjectWatcher::StartWatchingOnce(Handle object, Delegate* delegate) {
  CHECK(delegate);
  if (IsWatching()) return false;
  message_loop_ = MessageLoop::current();
  if (!message_loop_) return false;

  // Through a weak pointer: a signal posted before StopWatching or the
  // watcher's destruction then does nothing when it arrives.
  callback_ =
      Bind(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(), delegate);
  object_ = object;
  if (!wait_.Register(object, &DoneWaiting, this, INFINITE,
                      WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE)) {
    LOG(ERROR) << "RegisterWaitForSingleObject failed, error "
               << GetLastError();
    object_ = nullptr;
    callback_.Reset();
    return false;
  }
  message_loop_->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!IsWatching()) return false;
  // Returns once DoneWaiting has finished or will never run: nothing of
  // the system touches this watcher afterwards. Never called from
  // DoneWaiting, which would wait for itself.
  wait_.Unregister();
  weak_factory_.InvalidateWeakPtrs();
  callback_.Reset();
  object_ = nullptr;
  message_loop_->RemoveDestructionObserverFor(this);
  return true;
}

// static
void __stdcall ObjectWatcher::DoneWaiting(void* context,
                                          unsigned char timed_out) {
  auto* self = static_cast<ObjectWatcher*>(context);
  // A copy: |callback_| itself is reset on the loop's thread, once this
  // has returned.
  self->message_loop_->task_runner()->PostTask(
      Location("DoneWaiting", "base/win/object_watcher", 73,
               GetProgramCounter()),
      self->callback_);
}

void ObjectWatcher::Signal(Delegate* delegate) {
  Handle object = object_;
  StopWatching();
  delegate->OnObjectSignaled(object);
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() { StopWatching(); }

}  // namespace win
}  // namespace base
