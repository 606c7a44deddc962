// Thread: a named operating-system thread that owns a MessageLoop and runs
// it until stopped. Post work to it through task_runner().
//
//   Thread worker("Package fetcher worker");
//   worker.Start();
//   worker.task_runner()->PostTask(CURRENT_LOCATION, task);
//   worker.Stop();  // runs what is queued, then joins
//
// Start, Stop and StopSoon are called from the thread that owns the Thread
// object (serialised by a lock); the task runner may be used from anywhere.
// The loop is built by Start, so tasks may be posted at once; it is bound,
// run and destroyed on the new thread.

#ifndef BASE_THREADING_THREAD_H_
#define BASE_THREADING_THREAD_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/message_loop/message_loop.h"
#include "base/sequenced_task_runner.h"
#include "base/synchronization/lock.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"

namespace base {

class RunLoop;

class Thread : public PlatformThread::Delegate {
 public:
  struct Options {
    MessageLoop::Type message_loop_type = MessageLoop::TYPE_DEFAULT;
    // Handed to the pump, which ignores it.
    int timer_slack = 0;
    // When set, the loop is a custom one with this pump.
    MessageLoop::MessagePumpFactory message_pump_factory;
    // 0: the system's default stack.
    size_t stack_size = 0;
    ThreadPriority priority = ThreadPriority::kNormal;
    bool joinable = true;
  };

  explicit Thread(const std::string& name);
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // Stops (and joins) the thread.
  ~Thread() override;

  // Starts with default options. False, with no loop left behind, when the
  // system cannot create the thread.
  bool Start();
  bool StartWithOptions(const Options& options);

  // Waits until the new thread runs its loop. False when not started.
  bool WaitUntilThreadStarted() const;

  // Lets the tasks already posted run, then ends the loop and joins the
  // thread. Nothing happens when the thread was never started. The thread
  // may be started again afterwards.
  void Stop();
  // Asks the loop to quit once it is idle, without waiting; one quit task
  // however often it is called.
  void StopSoon();

  // The loop's runner, null when not started. Posts fail once the loop is
  // gone.
  ScopedRefPtr<SequencedTaskRunner> task_runner() const;
  // The loop, for code running on this thread (null when not started).
  MessageLoop* message_loop() const { return message_loop_.get(); }

  const std::string& thread_name() const { return name_; }
  // Waits until the new thread has reported its id.
  PlatformThreadId GetThreadId() const;
  // True while the loop runs.
  bool IsRunning() const;

 protected:
  // On the new thread, after the loop is bound and before it runs.
  virtual void Init() {}
  // Runs the loop; override to wrap it.
  virtual void Run(RunLoop* run_loop);
  // On the new thread, after the loop stopped and before it is destroyed.
  virtual void CleanUp() {}

 private:
  void ThreadMain() override;

  bool joinable_ = true;
  bool stopping_ = false;
  mutable Lock running_lock_;
  bool running_ = false;
  PlatformThreadHandle thread_{};
  bool has_thread_handle_ = false;
  Lock thread_lock_;
  PlatformThreadId id_ = kInvalidThreadId;
  mutable WaitableEvent id_event_;
  std::unique_ptr<MessageLoop> message_loop_;
  // Kept by the starting thread, so that it stays readable while the new
  // thread tears its loop down.
  ScopedRefPtr<SequencedTaskRunner> task_runner_;
  RunLoop* run_loop_ = nullptr;
  int timer_slack_ = 0;
  const std::string name_;
  mutable WaitableEvent start_event_;
};

}  // namespace base

#endif  // BASE_THREADING_THREAD_H_
