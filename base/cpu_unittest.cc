#include "base/cpu.h"

#include <string.h>

#include <map>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

// The processor the fake CPUID describes: registers by leaf, and XCR0.
std::map<uint32_t, CPU::Registers> g_leaves;
uint64_t g_xcr0 = 0;
bool g_xgetbv_called = false;

CPU::Registers FakeCpuid(uint32_t leaf, uint32_t subleaf) {
  auto found = g_leaves.find(leaf);
  return found == g_leaves.end() ? CPU::Registers() : found->second;
}

uint64_t FakeXgetbv(uint32_t xcr) {
  g_xgetbv_called = true;
  return xcr == 0 ? g_xcr0 : 0;
}

CPU::Registers Text(const char* four_by_four) {
  CPU::Registers registers;
  memcpy(&registers.eax, four_by_four, 4);
  memcpy(&registers.ebx, four_by_four + 4, 4);
  memcpy(&registers.ecx, four_by_four + 8, 4);
  memcpy(&registers.edx, four_by_four + 12, 4);
  return registers;
}

// A processor with every feature, AVX enabled by the system.
void SetUpFullProcessor() {
  g_leaves.clear();
  CPU::Registers leaf0;
  leaf0.eax = 7;
  memcpy(&leaf0.ebx, "Genu", 4);
  memcpy(&leaf0.edx, "ineI", 4);
  memcpy(&leaf0.ecx, "ntel", 4);
  g_leaves[0] = leaf0;
  CPU::Registers leaf1;
  // Stepping 10, model 14, family 6, type 0, extended model 9, extended
  // family 0.
  leaf1.eax = 0x000906EA;
  leaf1.edx = (1u << 23) | (1u << 25) | (1u << 26);
  leaf1.ecx = (1u << 0) | (1u << 9) | (1u << 19) | (1u << 20) | (1u << 25) |
              (1u << 26) | (1u << 27) | (1u << 28);
  g_leaves[1] = leaf1;
  CPU::Registers leaf7;
  leaf7.ebx = 1u << 5;
  g_leaves[7] = leaf7;
  CPU::Registers extended;
  extended.eax = 0x80000008;
  g_leaves[0x80000000] = extended;
  g_leaves[0x80000002] = Text("Velna Test CPU @");
  g_leaves[0x80000003] = Text(" 3.00GHz\0\0\0\0\0\0\0\0");
  g_leaves[0x80000004] = Text("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0");
  CPU::Registers power;
  power.edx = 1u << 8;
  g_leaves[0x80000007] = power;
  g_xcr0 = 0x7;
  g_xgetbv_called = false;
}

TEST(CPUTest, IdentifiesEveryField) {
  SetUpFullProcessor();
  CPU cpu(&FakeCpuid, &FakeXgetbv);
  EXPECT_EQ("GenuineIntel", cpu.vendor_name());
  EXPECT_EQ(0x000906EA, cpu.signature());
  EXPECT_EQ(10, cpu.stepping());
  EXPECT_EQ(6, cpu.family());
  EXPECT_EQ(9, cpu.ext_model());
  EXPECT_EQ(14 + 16 * 9, cpu.model());
  EXPECT_EQ(0, cpu.type());
  EXPECT_EQ(0, cpu.ext_family());
  EXPECT_TRUE(cpu.has_mmx());
  EXPECT_TRUE(cpu.has_sse());
  EXPECT_TRUE(cpu.has_sse2());
  EXPECT_TRUE(cpu.has_sse3());
  EXPECT_TRUE(cpu.has_ssse3());
  EXPECT_TRUE(cpu.has_sse41());
  EXPECT_TRUE(cpu.has_sse42());
  EXPECT_TRUE(cpu.has_aesni());
  EXPECT_TRUE(cpu.has_avx());
  EXPECT_TRUE(cpu.has_avx2());
  EXPECT_TRUE(cpu.has_non_stop_time_stamp_counter());
  // The 48 brand bytes are kept whole, trailing NULs included.
  EXPECT_EQ(48u, cpu.cpu_brand().size());
  EXPECT_EQ(0, cpu.cpu_brand().compare(0, 24, "Velna Test CPU @ 3.00GHz"));
  EXPECT_EQ('\0', cpu.cpu_brand().back());
}

TEST(CPUTest, ExtendedFamilyIsNotAdded) {
  SetUpFullProcessor();
  // Base family 15, extended family 8, extended model 1, model 2.
  g_leaves[1].eax = 0x00810F20;
  CPU cpu(&FakeCpuid, &FakeXgetbv);
  EXPECT_EQ(15, cpu.family());
  EXPECT_EQ(8, cpu.ext_family());
  EXPECT_EQ(2 + 16, cpu.model());
}

TEST(CPUTest, AvxNeedsTheSystemsSupport) {
  struct Case {
    uint64_t xcr0;
    uint32_t leaf1_ecx_cleared;
    bool may_call_xgetbv;
  } cases[] = {
      {0x3, 0, true},          // AVX state not saved
      {0x5, 0, true},          // SSE state not saved
      {0x7, 1u << 27, false},  // no OSXSAVE: XGETBV must not even run
      {0x7, 1u << 26, true},   // no XSAVE
      {0x7, 1u << 28, true},   // no AVX
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "xcr0 " << c.xcr0 << " ecx without "
                                    << c.leaf1_ecx_cleared);
    SetUpFullProcessor();
    g_xcr0 = c.xcr0;
    g_leaves[1].ecx &= ~c.leaf1_ecx_cleared;
    CPU cpu(&FakeCpuid, &FakeXgetbv);
    EXPECT_FALSE(cpu.has_avx());
    EXPECT_FALSE(cpu.has_avx2());
    if (!c.may_call_xgetbv) {
      EXPECT_FALSE(g_xgetbv_called);
    }
  }
}

TEST(CPUTest, LowExtendedLeavesLeaveBrandAndCounterFlagUnset) {
  SetUpFullProcessor();
  g_leaves[0x80000000].eax = 0x80000006;
  CPU without_counter_leaf(&FakeCpuid, &FakeXgetbv);
  EXPECT_EQ(48u, without_counter_leaf.cpu_brand().size());
  EXPECT_FALSE(without_counter_leaf.has_non_stop_time_stamp_counter());

  g_leaves[0x80000000].eax = 0x80000003;
  CPU without_brand(&FakeCpuid, &FakeXgetbv);
  EXPECT_TRUE(without_brand.cpu_brand().empty());
  EXPECT_FALSE(without_brand.has_non_stop_time_stamp_counter());
}

TEST(CPUTest, NoStandardLeavesMeansNoFeatures) {
  SetUpFullProcessor();
  g_leaves[0].eax = 0;
  CPU cpu(&FakeCpuid, &FakeXgetbv);
  EXPECT_EQ("GenuineIntel", cpu.vendor_name());
  EXPECT_EQ(0, cpu.signature());
  EXPECT_FALSE(cpu.has_sse2());
  EXPECT_FALSE(cpu.has_avx2());
}

TEST(CPUTest, AvxTwoNeedsLeafSeven) {
  SetUpFullProcessor();
  g_leaves[0].eax = 6;
  CPU cpu(&FakeCpuid, &FakeXgetbv);
  EXPECT_TRUE(cpu.has_avx());
  EXPECT_FALSE(cpu.has_avx2());
}

TEST(CPUTest, RunningProcessorHasSse2) {
  // Every x86-64 processor has SSE2; the installer refuses to run without.
  CPU cpu;
  EXPECT_TRUE(cpu.has_sse2());
  EXPECT_EQ(12u, cpu.vendor_name().size());
}

}  // namespace
}  // namespace base
