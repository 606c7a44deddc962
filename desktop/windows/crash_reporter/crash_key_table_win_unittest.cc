#include "desktop/windows/crash_reporter/crash_key_table_win.h"

#include <windows.h>

#include <string>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "desktop/windows/crash_reporter/crash_client_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/exception_policy_win.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

std::u16string Value(size_t slot) {
  return CrashKeyTable::GetInstance()->GetEntries().entries[slot].value;
}

DWORD Protection(const void* address) {
  MEMORY_BASIC_INFORMATION info = {};
  VirtualQuery(address, &info, sizeof(info));
  return info.Protect;
}

// Sets an environment variable for the life of the object.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(const char16_t* name, const std::u16string& value)
      : name_(name) {
    SetEnvironmentVariableW(base::as_wcstr(name_), base::as_wcstr(value));
  }
  ~ScopedEnvironmentVariable() {
    SetEnvironmentVariableW(base::as_wcstr(name_), nullptr);
  }

 private:
  std::u16string name_;
};

TEST(CrashKeyTableTest, BuiltWithTheBuildsValuesAndReadOnly) {
  const CrashKeyEntries entries = CrashKeyTable::GetInstance()->GetEntries();
  ASSERT_NE(entries.entries, nullptr);
  ASSERT_EQ(entries.count, kCrashKeyCount);
  using installer::VersionInfo;
  EXPECT_EQ(Value(kVersionSlot),
            base::UTF8ToUTF16(VersionInfo::GetProductVersion()));
  EXPECT_EQ(Value(kBuildSlot),
            base::IntToString16(VersionInfo::GetBuildNumber()));
  EXPECT_EQ(Value(kBuildSetSlot),
            base::IntToString16(VersionInfo::GetBuildSetNumber()));
  EXPECT_EQ(Value(kBuildRequestTimeSlot),
            base::UTF8ToUTF16(VersionInfo::GetBuildTimestamp()));
  // A 64-bit process.
  EXPECT_EQ(Value(kIsWow64Slot), u"0");
  for (size_t i = 0; i < kCrashKeyLayoutSize; ++i) {
    const CrashKeyRange& key = kCrashKeyLayout[i];
    for (size_t slot = key.first; slot <= key.last; ++slot)
      EXPECT_EQ(std::u16string(entries.entries[slot].name), key.name) << slot;
  }
  // A stray write faults: the whole block is read-only between setters.
  EXPECT_EQ(Protection(entries.entries), static_cast<DWORD>(PAGE_READONLY));
  EXPECT_EQ(Protection(&entries.entries[kCrashKeyCount - 1].value[63]),
            static_cast<DWORD>(PAGE_READONLY));
}

TEST(CrashKeyTableTest, SettersWriteThroughTheProtection) {
  CrashKeyTable* table = CrashKeyTable::GetInstance();
  const CrashKeyEntries entries = table->GetEntries();
  table->SetValue(kCrashKeyCount - 1, std::u16string(64, u'v').c_str());
  EXPECT_EQ(Value(kCrashKeyCount - 1), std::u16string(63, u'v'));
  table->SetValueRange(kModulesFirstSlot, kModulesLastSlot,
                       std::u16string(64, u'm'));
  EXPECT_EQ(Value(kModulesFirstSlot), std::u16string(63, u'm'));
  EXPECT_EQ(Value(kModulesFirstSlot + 1), u"m");
  EXPECT_EQ(Value(kModulesFirstSlot + 2), u"");
  table->SetNameRange(kCrashKeyCount - 1, kCrashKeyCount - 1, u"ab_tests");
  EXPECT_EQ(Value(kCrashKeyCount - 1), u"");
  EXPECT_EQ(Protection(entries.entries), static_cast<DWORD>(PAGE_READONLY));
}

TEST(CrashKeyTableTest, InstallerKeysComeFromTheEnvironmentAndModules) {
  const std::u16string test_value(70, u't');
  ScopedEnvironmentVariable test(kCrashTestVariable, test_value);
  ScopedEnvironmentVariable origin(kCrashOriginVariable, u"installer-test");
  FillInstallerCrashKeys();
  EXPECT_EQ(Value(kProcessTypeSlot), u"installer");
  EXPECT_EQ(Value(kVelautoTestFirstSlot), test_value.substr(0, 63));
  EXPECT_EQ(Value(kVelautoTestFirstSlot + 1), test_value.substr(63));
  EXPECT_EQ(Value(kOriginSlot), u"installer-test");
  // The main executable comes first, named after its path's last part.
  std::u16string modules;
  for (size_t slot = kModulesFirstSlot; slot <= kModulesLastSlot; ++slot)
    modules += Value(slot);
  const std::u16string executable =
      base::GetTestExecutableFolder() + u"crash_reporter_unittests.exe";
  EXPECT_EQ(modules.find(u"crash_reporter_unittests.exe:"), 0u)
      << base::UTF16ToUTF8(modules);
  EXPECT_NE(modules.find(u":" + executable + u"::"), std::u16string::npos);
  EXPECT_NE(modules.find(u"::ntdll.dll:"), std::u16string::npos);
  EXPECT_LE(modules.size(), 16u * 63u);
}

TEST(CrashKeyTableTest, EnvironmentValuesOf512CharactersAreAbsent) {
  const char16_t kName[] = u"VELNA_CRASH_TEST_VARIABLE";
  const struct {
    std::u16string value;
    std::u16string expected;
  } cases[] = {
      {u"", u""},
      {u"x", u"x"},
      {std::u16string(511, u'y'), std::u16string(511, u'y')},
      {std::u16string(512, u'z'), u""},
      {std::u16string(2000, u'z'), u""},
  };
  for (const auto& test : cases) {
    ScopedEnvironmentVariable variable(kName, test.value);
    EXPECT_EQ(GetCrashEnvironmentString(kName), test.expected)
        << test.value.size();
  }
  EXPECT_EQ(GetCrashEnvironmentString(kName), u"");
}

DWORD g_policy = 0;
int g_set_calls = 0;
BOOL g_get_result = TRUE;
BOOL WINAPI GetPolicy(LPDWORD flags) {
  *flags = g_policy;
  return g_get_result;
}
BOOL WINAPI SetPolicy(DWORD flags) {
  ++g_set_calls;
  g_policy = flags;
  return TRUE;
}

// Wine has no policy functions: fakes stand in.
TEST(ExceptionPolicyTest, SwallowingBitIsClearedWhenThePolicyIsOffered) {
  const struct {
    ExceptionPolicyFunctions functions;
    BOOL get_result;
    DWORD initial;
    DWORD after;
    int set_calls;
  } cases[] = {
      {{&GetPolicy, &SetPolicy}, TRUE, 0x7, 0x6, 1},
      {{&GetPolicy, &SetPolicy}, TRUE, 0x0, 0x0, 1},
      {{&GetPolicy, &SetPolicy}, FALSE, 0x7, 0x7, 0},
      {{&GetPolicy, nullptr}, TRUE, 0x7, 0x7, 0},
      {{nullptr, &SetPolicy}, TRUE, 0x7, 0x7, 0},
  };
  for (const auto& test : cases) {
    g_policy = test.initial;
    g_get_result = test.get_result;
    g_set_calls = 0;
    SetExceptionPolicyFunctionsForTesting(&test.functions);
    DisableCallbackExceptionSwallowing();
    SetExceptionPolicyFunctionsForTesting(nullptr);
    EXPECT_EQ(g_policy, test.after);
    EXPECT_EQ(g_set_calls, test.set_calls);
  }
  // The real lookup: Wine's kernel32 has neither function.
  const ExceptionPolicyFunctions real = GetExceptionPolicyFunctions();
  EXPECT_EQ(real.get_policy == nullptr, real.set_policy == nullptr);
}

}  // namespace
}  // namespace crash_reporter
