#include <windows.h>

#include <atomic>

#include "base/win/windows_version.h"

namespace base {
namespace win {

namespace {

Wow64Status QueryWow64Status() {
  using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto is_wow64_process =
      reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  if (!is_wow64_process) return kWow64Disabled;
  BOOL is_wow64 = FALSE;
  if (!is_wow64_process(GetCurrentProcess(), &is_wow64)) return kWow64Unknown;
  return is_wow64 ? kWow64Enabled : kWow64Disabled;
}

uint32_t QueryProductInfoType(uint32_t major, uint32_t minor) {
  using GetProductInfoFunction =
      BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
  auto get_product_info =
      reinterpret_cast<GetProductInfoFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProductInfo")));
  DWORD type = 0;
  if (get_product_info) get_product_info(major, minor, 0, 0, &type);
  return type;
}

std::atomic<OSInfo*> g_os_info{nullptr};

}  // namespace

OSInfo::OSInfo() : wow64_status_(QueryWow64Status()) {
  OSVERSIONINFOEXW version_info = {};
  version_info.dwOSVersionInfoSize = sizeof(version_info);
  // Deprecated for callers without a manifest, which are told 6.2; ours
  // list the releases they support and hear the truth.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version_info));
#pragma GCC diagnostic pop
  major_ = version_info.dwMajorVersion;
  minor_ = version_info.dwMinorVersion;
  build_ = version_info.dwBuildNumber;
  service_pack_major_ = version_info.wServicePackMajor;
  service_pack_minor_ = version_info.wServicePackMinor;
  version_ = MajorMinorBuildToVersion(major_, minor_, build_);

  SYSTEM_INFO system_info = {};
  GetNativeSystemInfo(&system_info);
  architecture_ =
      ProcessorArchitectureToArchitecture(system_info.wProcessorArchitecture);
  processor_count_ = static_cast<int>(system_info.dwNumberOfProcessors);
  allocation_granularity_ = system_info.dwAllocationGranularity;

  EditionFacts facts;
  facts.major = major_;
  facts.minor = minor_;
  if (major_ == 6 || major_ == 10)
    facts.product_info_type = QueryProductInfoType(major_, minor_);
  facts.product_type = version_info.wProductType;
  facts.suite_mask = version_info.wSuiteMask;
  facts.architecture = architecture_;
  edition_class_ = EditionFactsToEditionClass(facts);
}

// static
const OSInfo* OSInfo::GetInstance() {
  OSInfo* info = g_os_info.load(std::memory_order_acquire);
  if (info) return info;
  // Racing threads each build one; the first published wins and the others
  // drop theirs. The instance is never freed.
  auto* candidate = new OSInfo();
  OSInfo* expected = nullptr;
  if (g_os_info.compare_exchange_strong(expected, candidate,
                                        std::memory_order_acq_rel)) {
    return candidate;
  }
  delete candidate;
  return expected;
}

WindowsVersion GetWindowsVersion() { return OSInfo::GetInstance()->version(); }

}  // namespace win
}  // namespace base
