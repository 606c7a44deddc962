// ThreadInfoImpl: the ThreadInfo of a snapshot, holding what the snapshot
// read of one thread. The conversion from a Windows CONTEXT is in
// thread_info_impl_win.h.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_

#include <stdint.h>

#include "desktop/windows/crash_reporter/thread_info.h"

namespace crash_reporter {

class ThreadInfoImpl : public ThreadInfo {
 public:
  ThreadInfoImpl(uint32_t thread_id, int32_t priority,
                 const RegisterSet& registers, uint64_t stack_size,
                 bool crashed);
  ThreadInfoImpl(const ThreadInfoImpl&) = delete;
  ThreadInfoImpl& operator=(const ThreadInfoImpl&) = delete;
  ~ThreadInfoImpl() override;

  // ThreadInfo:
  uint32_t GetThreadId() const override;
  int32_t GetPriority() const override;
  const RegisterSet& GetRegisters() const override;
  uint64_t GetStackSize() const override;
  bool IsCrashed() const override;

 private:
  const uint32_t thread_id_;
  const int32_t priority_;
  const RegisterSet registers_;
  const uint64_t stack_size_;
  const bool crashed_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_IMPL_H_
