// ThreadInfo: one thread of a crashed process as its snapshot (ProcessState)
// recorded it: id, priority, registers and how much of its stack was in use.
// RegisterSet is the register record that the text crash log prints.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_H_

#include <stdint.h>

namespace crash_reporter {

// The registers of an x64 thread. Each x87 register keeps its 64-bit
// mantissa and its own 16-bit sign-and-exponent word.
struct RegisterSet {
  uint64_t rax = 0;
  uint64_t rbx = 0;
  uint64_t rcx = 0;
  uint64_t rdx = 0;
  uint64_t rsi = 0;
  uint64_t rdi = 0;
  uint64_t rbp = 0;
  uint64_t rsp = 0;
  uint64_t r8 = 0;
  uint64_t r9 = 0;
  uint64_t r10 = 0;
  uint64_t r11 = 0;
  uint64_t r12 = 0;
  uint64_t r13 = 0;
  uint64_t r14 = 0;
  uint64_t r15 = 0;
  uint64_t rip = 0;
  uint32_t flags = 0;
  struct X87Register {
    uint64_t mantissa = 0;
    uint16_t exponent = 0;
  };
  X87Register st[8];
  uint16_t status_word = 0;
  uint16_t control_word = 0;
  struct XmmRegister {
    uint64_t low = 0;
    uint64_t high = 0;
  };
  XmmRegister xmm[16];
};

class ThreadInfo {
 public:
  virtual ~ThreadInfo() = default;

  virtual uint32_t GetThreadId() const = 0;
  virtual int32_t GetPriority() const = 0;
  virtual const RegisterSet& GetRegisters() const = 0;
  // Bytes from the stack pointer to the end of the thread's stack region;
  // 0 when that could not be determined.
  virtual uint64_t GetStackSize() const = 0;
  virtual bool IsCrashed() const = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_THREAD_INFO_H_
