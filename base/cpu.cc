#include "base/cpu.h"

#include <string.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define VELNA_X86 1
#endif

namespace base {

namespace {

bool Bit(uint32_t value, int bit) { return (value >> bit) & 1; }

CPU::Registers ProcessorCpuid(uint32_t leaf, uint32_t subleaf) {
  CPU::Registers registers;
#if defined(VELNA_X86)
  __cpuid_count(leaf, subleaf, registers.eax, registers.ebx, registers.ecx,
                registers.edx);
#endif
  return registers;
}

uint64_t ProcessorXgetbv(uint32_t xcr) {
#if defined(VELNA_X86)
  uint32_t eax, edx;
  // Encoded as bytes: older assemblers lack the mnemonic.
  __asm__ volatile(".byte 0x0f, 0x01, 0xd0" : "=a"(eax), "=d"(edx) : "c"(xcr));
  return (uint64_t{edx} << 32) | eax;
#else
  return 0;
#endif
}

void AppendRegister(std::string* text, uint32_t value) {
  char bytes[4];
  memcpy(bytes, &value, sizeof(bytes));
  text->append(bytes, sizeof(bytes));
}

}  // namespace

CPU::CPU() { Identify(&ProcessorCpuid, &ProcessorXgetbv); }

CPU::CPU(CpuidFunction cpuid, XgetbvFunction xgetbv) {
  Identify(cpuid, xgetbv);
}

void CPU::Identify(CpuidFunction cpuid, XgetbvFunction xgetbv) {
  Registers leaf0 = cpuid(0, 0);
  uint32_t max_leaf = leaf0.eax;
  std::string vendor;
  AppendRegister(&vendor, leaf0.ebx);
  AppendRegister(&vendor, leaf0.edx);
  AppendRegister(&vendor, leaf0.ecx);
  cpu_vendor_ = vendor;

  if (max_leaf > 0) {
    Registers leaf1 = cpuid(1, 0);
    signature_ = static_cast<int>(leaf1.eax);
    stepping_ = leaf1.eax & 0xF;
    ext_model_ = (leaf1.eax >> 16) & 0xF;
    model_ = ((leaf1.eax >> 4) & 0xF) + 16 * ext_model_;
    family_ = (leaf1.eax >> 8) & 0xF;
    type_ = (leaf1.eax >> 12) & 0x3;
    ext_family_ = (leaf1.eax >> 20) & 0xFF;
    has_mmx_ = Bit(leaf1.edx, 23);
    has_sse_ = Bit(leaf1.edx, 25);
    has_sse2_ = Bit(leaf1.edx, 26);
    has_sse3_ = Bit(leaf1.ecx, 0);
    has_ssse3_ = Bit(leaf1.ecx, 9);
    has_sse41_ = Bit(leaf1.ecx, 19);
    has_sse42_ = Bit(leaf1.ecx, 20);
    has_aesni_ = Bit(leaf1.ecx, 25);
    // AVX needs the processor's support (bit 28), XSAVE (26) and the
    // system's use of it (OSXSAVE, 27) before XGETBV may even be run, and
    // then the system must save the SSE and AVX register state (XCR0 bits
    // 1 and 2).
    bool avx_usable = Bit(leaf1.ecx, 26) && Bit(leaf1.ecx, 27) &&
                      Bit(leaf1.ecx, 28) && (xgetbv(0) & 6) == 6;
    has_avx_ = avx_usable;
    if (max_leaf >= 7) has_avx2_ = has_avx_ && Bit(cpuid(7, 0).ebx, 5);
  }

  uint32_t max_extended_leaf = cpuid(0x80000000, 0).eax;
  if (max_extended_leaf >= 0x80000004) {
    std::string brand;
    for (uint32_t leaf = 0x80000002; leaf <= 0x80000004; ++leaf) {
      Registers registers = cpuid(leaf, 0);
      AppendRegister(&brand, registers.eax);
      AppendRegister(&brand, registers.ebx);
      AppendRegister(&brand, registers.ecx);
      AppendRegister(&brand, registers.edx);
    }
    cpu_brand_ = brand;
  }
  if (max_extended_leaf >= 0x80000007)
    has_non_stop_time_stamp_counter_ = Bit(cpuid(0x80000007, 0).edx, 8);
}

}  // namespace base
