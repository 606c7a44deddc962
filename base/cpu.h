// CPU: identification of the running x86 processor (vendor, brand text,
// family, model, stepping and instruction-set features) through CPUID and
// XGETBV. Built on demand; afterwards a read-only value. On a processor
// without CPUID every feature is false and the vendor is "unknown".

#ifndef BASE_CPU_H_
#define BASE_CPU_H_

#include <stdint.h>

#include <string>

namespace base {

class CPU {
 public:
  struct Registers {
    uint32_t eax = 0;
    uint32_t ebx = 0;
    uint32_t ecx = 0;
    uint32_t edx = 0;
  };
  // CPUID with EAX = |leaf| and ECX = |subleaf|.
  using CpuidFunction = Registers (*)(uint32_t leaf, uint32_t subleaf);
  // XGETBV of the extended control register |xcr|.
  using XgetbvFunction = uint64_t (*)(uint32_t xcr);

  // Identifies the running processor.
  CPU();
  // For tests: identifies the processor that |cpuid| and |xgetbv| describe.
  CPU(CpuidFunction cpuid, XgetbvFunction xgetbv);

  // Leaf 1 EAX whole, and its fields. family is the base family (bits
  // 8-11, the extended family not added); model adds 16 x the extended
  // model for every family.
  int signature() const { return signature_; }
  int type() const { return type_; }
  int family() const { return family_; }
  int model() const { return model_; }
  int stepping() const { return stepping_; }
  int ext_model() const { return ext_model_; }
  int ext_family() const { return ext_family_; }

  bool has_mmx() const { return has_mmx_; }
  bool has_sse() const { return has_sse_; }
  bool has_sse2() const { return has_sse2_; }
  bool has_sse3() const { return has_sse3_; }
  bool has_ssse3() const { return has_ssse3_; }
  bool has_sse41() const { return has_sse41_; }
  bool has_sse42() const { return has_sse42_; }
  // Only when the operating system also saves the AVX state.
  bool has_avx() const { return has_avx_; }
  bool has_avx2() const { return has_avx2_; }
  bool has_aesni() const { return has_aesni_; }
  // The time-stamp counter runs at a constant rate in every power state.
  bool has_non_stop_time_stamp_counter() const {
    return has_non_stop_time_stamp_counter_;
  }

  // The 12-character vendor text, e.g. "GenuineIntel"; "unknown" when the
  // processor could not be identified.
  const std::string& vendor_name() const { return cpu_vendor_; }
  // The 48 bytes of the brand text as the processor gives them (trailing
  // NUL bytes included); empty when the processor has no brand leaves.
  const std::string& cpu_brand() const { return cpu_brand_; }

 private:
  void Identify(CpuidFunction cpuid, XgetbvFunction xgetbv);

  int signature_ = 0;
  int type_ = 0;
  int family_ = 0;
  int model_ = 0;
  int stepping_ = 0;
  int ext_model_ = 0;
  int ext_family_ = 0;
  bool has_mmx_ = false;
  bool has_sse_ = false;
  bool has_sse2_ = false;
  bool has_sse3_ = false;
  bool has_ssse3_ = false;
  bool has_sse41_ = false;
  bool has_sse42_ = false;
  bool has_avx_ = false;
  bool has_avx2_ = false;
  bool has_aesni_ = false;
  bool has_non_stop_time_stamp_counter_ = false;
  std::string cpu_vendor_ = "unknown";
  std::string cpu_brand_;
};

}  // namespace base

#endif  // BASE_CPU_H_
