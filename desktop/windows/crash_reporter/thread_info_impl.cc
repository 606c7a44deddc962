#include "desktop/windows/crash_reporter/thread_info_impl.h"

namespace crash_reporter {

ThreadInfoImpl::ThreadInfoImpl(uint32_t thread_id, int32_t priority,
                               const RegisterSet& registers,
                               uint64_t stack_size, bool crashed)
    : thread_id_(thread_id),
      priority_(priority),
      registers_(registers),
      stack_size_(stack_size),
      crashed_(crashed) {}

ThreadInfoImpl::~ThreadInfoImpl() = default;

uint32_t ThreadInfoImpl::GetThreadId() const { return thread_id_; }

int32_t ThreadInfoImpl::GetPriority() const { return priority_; }

const RegisterSet& ThreadInfoImpl::GetRegisters() const { return registers_; }

uint64_t ThreadInfoImpl::GetStackSize() const { return stack_size_; }

bool ThreadInfoImpl::IsCrashed() const { return crashed_; }

}  // namespace crash_reporter
