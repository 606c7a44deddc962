#include "base/win/windows_version.h"

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(WindowsVersionTest, MajorMinorBuildMapping) {
  struct Case {
    uint32_t major, minor, build;
    WindowsVersion expected;
  } cases[] = {
      {4, 0, 1381, kVersionPreXP},      {5, 0, 2195, kVersionPreXP},
      {5, 1, 2600, kVersionXP},         {5, 2, 3790, kVersionServer2003},
      {5, 3, 0, kVersionServer2003},    {6, 0, 6002, kVersionVista},
      {6, 1, 7601, kVersionWin7},       {6, 2, 9200, kVersionWin8},
      {6, 3, 9600, kVersionWin8_1},     {6, 4, 9841, kVersionWin8_1},
      {10, 0, 10240, kVersionWin10},    {10, 0, 10585, kVersionWin10},
      {10, 0, 10586, kVersionWin10TH2}, {10, 0, 19045, kVersionWin10TH2},
      {7, 0, 0, kVersionWinLast},       {9, 0, 0, kVersionWinLast},
      {11, 0, 0, kVersionWinLast},      {0, 0, 0, kVersionPreXP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.major << "." << c.minor << "." << c.build);
    EXPECT_EQ(c.expected, MajorMinorBuildToVersion(c.major, c.minor, c.build));
  }
  // Callers compare: the order matters.
  EXPECT_LT(kVersionWin7, kVersionWin10);
  EXPECT_LT(kVersionWin10TH2, kVersionWinLast);
}

TEST(WindowsVersionTest, ArchitectureMapping) {
  EXPECT_EQ(kX86Architecture, ProcessorArchitectureToArchitecture(0));
  EXPECT_EQ(kX64Architecture, ProcessorArchitectureToArchitecture(9));
  EXPECT_EQ(kIA64Architecture, ProcessorArchitectureToArchitecture(6));
  EXPECT_EQ(kOtherArchitecture, ProcessorArchitectureToArchitecture(12));
  EXPECT_EQ(kOtherArchitecture, ProcessorArchitectureToArchitecture(0xFFFF));
}

TEST(WindowsVersionTest, EditionClassMapping) {
  struct Case {
    EditionFacts facts;
    EditionClass expected;
  } cases[] = {
      {{10, 0, 0x30, 1, 0, kX64Architecture}, kEditionProfessional},
      {{10, 0, 0x04, 1, 0, kX64Architecture}, kEditionProfessional},
      {{6, 1, 0x01, 1, 0, kX64Architecture}, kEditionProfessional},
      {{6, 1, 0x06, 1, 0, kX86Architecture}, kEditionProfessional},
      {{10, 0, 0x65, 1, 0, kX64Architecture}, kEditionOtherOrHome},  // Core
      {{6, 3, 0x07, 3, 0, kX64Architecture}, kEditionServer},
      {{6, 3, 0x19, 3, 0, kX64Architecture}, kEditionServer},
      {{6, 0, 0x11, 3, 0, kX64Architecture}, kEditionServer},
      {{6, 0, 0x00, 1, 0, kX64Architecture}, kEditionOtherOrHome},
      // 5.2: XP x64 is a workstation, Home Server is home, the rest server.
      {{5, 2, 0, 1, 0, kX64Architecture}, kEditionProfessional},
      {{5, 2, 0, 1, 0, kX86Architecture}, kEditionServer},
      {{5, 2, 0, 3, 0, kX64Architecture}, kEditionServer},
      {{5, 2, 0, 3, 0x8000, kX86Architecture}, kEditionOtherOrHome},
      // 5.1: Home edition has the personal suite.
      {{5, 1, 0, 1, 0, kX86Architecture}, kEditionProfessional},
      {{5, 1, 0, 1, 0x0200, kX86Architecture}, kEditionOtherOrHome},
      {{5, 0, 0, 1, 0, kX86Architecture}, kEditionOtherOrHome},
      {{11, 0, 0x30, 1, 0, kX64Architecture}, kEditionOtherOrHome},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.facts.major << "." << c.facts.minor
                                    << " product " << c.facts.product_info_type
                                    << " suite " << c.facts.suite_mask);
    EXPECT_EQ(c.expected, EditionFactsToEditionClass(c.facts));
  }
}

}  // namespace
}  // namespace win
}  // namespace base
