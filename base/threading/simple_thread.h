// SimpleThread: a named thread that runs its virtual Run once and can be
// joined. Subclasses supply Run.
//
// Start returns once the new thread knows its id and carries the name
// prefix + "/" + id (Run may still be starting). A joinable thread must be
// joined before its object is destroyed; destruction itself neither joins
// nor checks.

#ifndef BASE_THREADING_SIMPLE_THREAD_H_
#define BASE_THREADING_SIMPLE_THREAD_H_

#include <stddef.h>

#include <string>

#include "base/synchronization/waitable_event.h"
#include "base/threading/platform_thread.h"

namespace base {

class SimpleThread : public PlatformThread::Delegate {
 public:
  struct Options {
    size_t stack_size = 0;
    ThreadPriority priority = ThreadPriority::kNormal;
    bool joinable = true;
  };

  explicit SimpleThread(const std::string& name_prefix);
  SimpleThread(const std::string& name_prefix, const Options& options);
  SimpleThread(const SimpleThread&) = delete;
  SimpleThread& operator=(const SimpleThread&) = delete;

  // Runs on the new thread: records the id, sets the name, releases Start,
  // then calls Run.
  void ThreadMain() override;
  ~SimpleThread() override;

  // Starts the thread and waits until it has its id and name. False, at
  // once, when the system cannot create the thread.
  virtual bool Start();
  // Waits for Run to return (joinable threads only). A failed wait stops
  // the process.
  virtual void Join();

  virtual void Run() = 0;

  const std::string& name_prefix() const { return name_prefix_; }
  // The prefix until the thread runs, then prefix + "/" + id.
  const std::string& name() const { return name_; }
  // 0 until the thread runs.
  PlatformThreadId tid() const { return tid_; }
  bool HasBeenStarted() const { return started_; }
  bool HasBeenJoined() const { return joined_; }

 private:
  const std::string name_prefix_;
  std::string name_;
  const Options options_;
  PlatformThreadHandle thread_{};
  WaitableEvent start_event_;
  PlatformThreadId tid_ = kInvalidThreadId;
  bool started_ = false;
  bool joined_ = false;
};

}  // namespace base

#endif  // BASE_THREADING_SIMPLE_THREAD_H_
