#include "desktop/windows/crash_reporter/thread_info_impl_win.h"

#include "base/logging.h"
#include "base/strings/stringprintf.h"

namespace crash_reporter {

RegisterSet RegisterSetFromContext(const CONTEXT& context) {
  RegisterSet registers;
  registers.rax = context.Rax;
  registers.rbx = context.Rbx;
  registers.rcx = context.Rcx;
  registers.rdx = context.Rdx;
  registers.rsi = context.Rsi;
  registers.rdi = context.Rdi;
  registers.rbp = context.Rbp;
  registers.rsp = context.Rsp;
  registers.r8 = context.R8;
  registers.r9 = context.R9;
  registers.r10 = context.R10;
  registers.r11 = context.R11;
  registers.r12 = context.R12;
  registers.r13 = context.R13;
  registers.r14 = context.R14;
  registers.r15 = context.R15;
  registers.rip = context.Rip;
  registers.flags = context.EFlags;
  // Each x87 register is 80 bits at the start of its 16-byte slot: the
  // 64-bit mantissa, then the sign and exponent.
  for (int i = 0; i < 8; ++i) {
    registers.st[i].mantissa = context.FltSave.FloatRegisters[i].Low;
    registers.st[i].exponent =
        static_cast<uint16_t>(context.FltSave.FloatRegisters[i].High);
  }
  registers.status_word = context.FltSave.StatusWord;
  registers.control_word = context.FltSave.ControlWord;
  const M128A* xmm = &context.Xmm0;
  for (int i = 0; i < 16; ++i) {
    registers.xmm[i].low = xmm[i].Low;
    registers.xmm[i].high = static_cast<uint64_t>(xmm[i].High);
  }
  return registers;
}

uint64_t GetStackSizeInUse(HANDLE process, uint64_t stack_pointer) {
  MEMORY_BASIC_INFORMATION info = {};
  const SIZE_T result = VirtualQueryEx(
      process, reinterpret_cast<void*>(stack_pointer), &info, sizeof(info));
  if (result != sizeof(info)) {
    LOG(ERROR) << "VirtualQueryEx failed, address=0x"
               << base::StringPrintf(
                      "%llx", static_cast<unsigned long long>(stack_pointer))
               << ", result=" << result << ", expected=" << sizeof(info);
    return 0;
  }
  const uint64_t base = reinterpret_cast<uint64_t>(info.BaseAddress);
  const uint64_t size = info.RegionSize;
  if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE &&
      info.Protect == PAGE_READWRITE && stack_pointer >= base &&
      stack_pointer - base < size) {
    return base + size - stack_pointer;
  }
  LOG(ERROR) << "Sanity checks failed"
             << base::StringPrintf(
                    ", state=0x%lx, type=0x%lx, protect=0x%lx, sp=0x%llx, "
                    "base=0x%llx, size=%llu",
                    static_cast<unsigned long>(info.State),
                    static_cast<unsigned long>(info.Type),
                    static_cast<unsigned long>(info.Protect),
                    static_cast<unsigned long long>(stack_pointer),
                    static_cast<unsigned long long>(base),
                    static_cast<unsigned long long>(size));
  return 0;
}

}  // namespace crash_reporter
