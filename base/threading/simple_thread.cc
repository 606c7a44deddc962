#include "base/threading/simple_thread.h"

#include "base/logging.h"

namespace base {

SimpleThread::SimpleThread(const std::string& name_prefix)
    : SimpleThread(name_prefix, Options()) {}

SimpleThread::SimpleThread(const std::string& name_prefix,
                           const Options& options)
    : name_prefix_(name_prefix),
      name_(name_prefix),
      options_(options),
      start_event_(WaitableEvent::ResetPolicy::kManual,
                   WaitableEvent::InitialState::kNotSignaled) {}

SimpleThread::~SimpleThread() = default;

bool SimpleThread::Start() {
  CHECK(!started_) << "SimpleThread started twice";
  started_ = true;
  bool created = options_.joinable
                     ? PlatformThread::Create(options_.stack_size, this,
                                              &thread_, options_.priority)
                     : PlatformThread::CreateNonJoinable(
                           options_.stack_size, this, options_.priority);
  // A thread that never came to be would never signal: do not wait.
  if (!created) {
    LOG(ERROR) << "Cannot start thread " << name_prefix_;
    started_ = false;
    return false;
  }
  start_event_.Wait();
  return true;
}

void SimpleThread::Join() {
  CHECK(options_.joinable) << "Join of a non-joinable thread";
  CHECK(started_ && !joined_) << "Join of a thread not running";
  PlatformThread::Join(thread_);
  thread_ = PlatformThreadHandle();
  joined_ = true;
}

void SimpleThread::ThreadMain() {
  tid_ = PlatformThread::CurrentId();
  name_ = name_prefix_ + "/" + std::to_string(tid_);
  PlatformThread::SetName(name_);
  start_event_.Signal();
  Run();
}

}  // namespace base
