#include "base/threading/thread.h"

#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/run_loop.h"

namespace base {

namespace {

void QuitCurrentRunLoopWhenIdle() { MessageLoop::current()->QuitWhenIdle(); }

}  // namespace

Thread::Thread(const std::string& name)
    : id_event_(WaitableEvent::ResetPolicy::kManual,
                WaitableEvent::InitialState::kNotSignaled),
      name_(name),
      start_event_(WaitableEvent::ResetPolicy::kManual,
                   WaitableEvent::InitialState::kNotSignaled) {}

Thread::~Thread() { Stop(); }

bool Thread::Start() { return StartWithOptions(Options()); }

bool Thread::StartWithOptions(const Options& options) {
  id_event_.Reset();
  id_ = kInvalidThreadId;

  MessageLoop::Type type = options.message_pump_factory.is_null()
                               ? options.message_loop_type
                               : MessageLoop::TYPE_CUSTOM;
  timer_slack_ = options.timer_slack;
  message_loop_ =
      MessageLoop::CreateUnbound(type, options.message_pump_factory);
  task_runner_ = message_loop_->task_runner();
  start_event_.Reset();

  AutoLock hold(thread_lock_);
  bool created = options.joinable
                     ? PlatformThread::Create(options.stack_size, this,
                                              &thread_, options.priority)
                     : PlatformThread::CreateNonJoinable(
                           options.stack_size, this, options.priority);
  if (!created) {
    LOG(ERROR) << "Could not start the thread " << name_;
    task_runner_.reset();
    message_loop_.reset();
    return false;
  }
  joinable_ = options.joinable;
  has_thread_handle_ = options.joinable;
  return true;
}

bool Thread::WaitUntilThreadStarted() const {
  if (!task_runner_) return false;
  start_event_.Wait();
  return true;
}

void Thread::Stop() {
  AutoLock hold(thread_lock_);
  StopSoon();
  if (!has_thread_handle_) return;
  // The quit task runs after everything posted before it.
  PlatformThread::Join(thread_);
  thread_ = PlatformThreadHandle();
  has_thread_handle_ = false;
  stopping_ = false;
  task_runner_.reset();
}

void Thread::StopSoon() {
  if (stopping_ || !task_runner_) return;
  stopping_ = true;
  task_runner_->PostTask(
      Location("StopSoon", "base/threading/thread", 197, GetProgramCounter()),
      Bind(&QuitCurrentRunLoopWhenIdle));
}

ScopedRefPtr<SequencedTaskRunner> Thread::task_runner() const {
  return task_runner_;
}

PlatformThreadId Thread::GetThreadId() const {
  id_event_.Wait();
  return id_;
}

bool Thread::IsRunning() const {
  AutoLock hold(running_lock_);
  return running_;
}

void Thread::Run(RunLoop* run_loop) { run_loop->Run(); }

void Thread::ThreadMain() {
  id_ = PlatformThread::CurrentId();
  id_event_.Signal();
  PlatformThread::SetName(name_);

  message_loop_->BindToCurrentThread();
  message_loop_->pump()->SetTimerSlack(timer_slack_);
  Init();

  {
    AutoLock hold(running_lock_);
    running_ = true;
  }
  start_event_.Signal();

  {
    RunLoop run_loop;
    run_loop_ = &run_loop;
    Run(run_loop_);
    {
      AutoLock hold(running_lock_);
      running_ = false;
    }
    CleanUp();
    run_loop_ = nullptr;
  }
  // Destroyed here, on its own thread.
  message_loop_.reset();
}

}  // namespace base
