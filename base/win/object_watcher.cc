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
  if (wait_object_) return false;
  message_loop_ = MessageLoop::current();
  if (!message_loop_) return false;

  run_once_ = true;
  // Through a weak pointer: a signal posted before StopWatching or the
  // watcher's destruction then does nothing when it arrives.
  callback_ =
      Bind(&ObjectWatcher::Signal, weak_factory_.GetWeakPtr(), delegate);
  object_ = object;
  if (!RegisterWaitForSingleObject(
          &wait_object_, object, &DoneWaiting, this, INFINITE,
          WT_EXECUTEINWAITTHREAD | WT_EXECUTEONLYONCE)) {
    LOG(ERROR) << "RegisterWaitForSingleObject failed, error "
               << GetLastError();
    object_ = nullptr;
    wait_object_ = nullptr;
    return false;
  }
  message_loop_->AddDestructionObserver(this);
  return true;
}

bool ObjectWatcher::StopWatching() {
  if (!wait_object_) return false;
  // INVALID_HANDLE_VALUE: returns only once a running DoneWaiting has
  // finished, so nothing touches this watcher afterwards.
  if (!UnregisterWaitEx(wait_object_, INVALID_HANDLE_VALUE)) {
    LOG(ERROR) << "UnregisterWaitEx failed, error " << GetLastError();
    return false;
  }
  weak_factory_.InvalidateWeakPtrs();
  object_ = nullptr;
  wait_object_ = nullptr;
  message_loop_->RemoveDestructionObserverFor(this);
  return true;
}

// static
void __stdcall ObjectWatcher::DoneWaiting(void* context,
                                          unsigned char timed_out) {
  auto* self = static_cast<ObjectWatcher*>(context);
  self->message_loop_->task_runner()->PostTask(
      Location("DoneWaiting", "base/win/object_watcher", 73,
               GetProgramCounter()),
      self->callback_);
  // The posted copy keeps the bind state alive.
  if (self->run_once_) self->callback_.Reset();
}

void ObjectWatcher::Signal(Delegate* delegate) {
  Handle object = object_;
  if (run_once_) StopWatching();
  delegate->OnObjectSignaled(object);
}

void ObjectWatcher::WillDestroyCurrentMessageLoop() { StopWatching(); }

}  // namespace win
}  // namespace base
