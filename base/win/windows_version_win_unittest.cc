#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/win/windows_version.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(OSInfoTest, FactsAreConsistent) {
  const OSInfo* info = OSInfo::GetInstance();
  EXPECT_EQ(info->version(), MajorMinorBuildToVersion(info->major_version(),
                                                      info->minor_version(),
                                                      info->build_number()));
  EXPECT_EQ(info->version(), GetWindowsVersion());
  EXPECT_GE(info->version(), kVersionWin7);
  EXPECT_EQ(kX64Architecture, info->architecture());
  EXPECT_EQ(kWow64Disabled, info->wow64_status());
  SYSTEM_INFO system_info;
  GetNativeSystemInfo(&system_info);
  EXPECT_EQ(static_cast<int>(system_info.dwNumberOfProcessors),
            info->processor_count());
  EXPECT_EQ(system_info.dwAllocationGranularity,
            info->allocation_granularity());
}

TEST(OSInfoTest, RacingThreadsShareOneInstance) {
  // Other threads may only start here, before anybody built the instance
  // in this process.
  std::atomic<bool> go{false};
  const OSInfo* seen[8] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      seen[i] = OSInfo::GetInstance();
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (const OSInfo* info : seen) EXPECT_EQ(OSInfo::GetInstance(), info);
}

// Runs platform_probe.exe under a name of its own, for which Wine reports
// |wine_version| (the per-executable setting), and returns what the probe
// saw. Removes the copy and the setting again.
struct ProbeResult {
  bool ran = false;
  DWORD index = 0;
  std::string printed;
};

ProbeResult RunProbeAs(const std::string& wine_version) {
  ProbeResult result;
  std::u16string folder = GetTestExecutableFolder();
  std::u16string name =
      u"platform_probe_" +
      std::u16string(wine_version.begin(), wine_version.end()) + u"_" +
      std::u16string(
          as_u16cstr(std::to_wstring(GetCurrentProcessId()).c_str())) +
      u".exe";
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::u16string copy = std::u16string(as_u16cstr(temp)) + name;
  if (!CopyFileW(as_wcstr(folder + u"platform_probe.exe"), as_wcstr(copy),
                 FALSE)) {
    return result;
  }
  std::u16string key = u"Software\\Wine\\AppDefaults\\" + name;
  HKEY handle;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, as_wcstr(key), 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &handle,
                      nullptr) == ERROR_SUCCESS) {
    std::wstring value(wine_version.begin(), wine_version.end());
    RegSetValueExW(handle, L"Version", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    result.ran = RunChildProcess(u"\"" + copy + u"\" version", {},
                                 &result.printed, &result.index);
    RegDeleteTreeW(HKEY_CURRENT_USER, as_wcstr(key));
  }
  DeleteFileW(as_wcstr(copy));
  return result;
}

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") !=
         nullptr;
}

TEST(OSInfoTest, ReportsTheVersionTheSystemClaims) {
  if (!RunningUnderWine()) GTEST_SKIP() << "needs Wine's per-program version";
  struct Case {
    const char* wine_version;
    const char* printed_prefix;
    WindowsVersion expected;
  } cases[] = {
      {"vista", "6.0.", kVersionVista},     {"win7", "6.1.", kVersionWin7},
      {"win8", "6.2.", kVersionWin8},       {"win81", "6.3.", kVersionWin8_1},
      {"win10", "10.0.", kVersionWin10TH2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wine_version);
    ProbeResult result = RunProbeAs(c.wine_version);
    ASSERT_TRUE(result.ran);
    EXPECT_EQ(static_cast<DWORD>(c.expected), result.index);
    EXPECT_EQ(0u, result.printed.rfind(c.printed_prefix, 0)) << result.printed;
  }
}

}  // namespace
}  // namespace win
}  // namespace base
