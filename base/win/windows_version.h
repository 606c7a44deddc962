// The Windows release the process runs on, read once per process.
//
// GetWindowsVersion() answers most questions ("is this Windows 7 or
// later?"); OSInfo holds the other facts read at the same time. The version
// is what GetVersionEx reports, which is the truth only for an executable
// whose manifest lists the releases it supports (ours do).
//
// The mappings from raw system values are plain functions, so they build
// and are tested on every platform; OSInfo itself exists only on Windows.

#ifndef BASE_WIN_WINDOWS_VERSION_H_
#define BASE_WIN_WINDOWS_VERSION_H_

#include <stddef.h>
#include <stdint.h>

namespace base {
namespace win {

// Ordered: callers compare with < and >=.
enum WindowsVersion : int {
  kVersionPreXP = 0,       // before 5.1 (5.0 included)
  kVersionXP = 1,          // 5.1
  kVersionServer2003 = 2,  // 5.2 and any later 5.x
  kVersionVista = 3,       // 6.0
  kVersionWin7 = 4,        // 6.1
  kVersionWin8 = 5,        // 6.2
  kVersionWin8_1 = 6,      // 6.3 and any later 6.x
  kVersionWin10 = 7,       // 10.0 before build 10586
  kVersionWin10TH2 = 8,    // 10.0 from build 10586
  kVersionWinLast = 9,     // majors 7, 8, 9 and above 10
};

// Edition classes of OSInfo::edition_class().
enum EditionClass : int {
  kEditionOtherOrHome = 0,
  kEditionProfessional = 1,
  kEditionServer = 2,
};

// Architectures of OSInfo::architecture().
enum WindowsArchitecture : int {
  kX86Architecture = 0,
  kX64Architecture = 1,
  kIA64Architecture = 2,
  kOtherArchitecture = 3,
};

// OSInfo::wow64_status(): whether this 32-bit process runs under WOW64.
enum Wow64Status : int {
  kWow64Disabled = 0,  // not under WOW64, or IsWow64Process is missing
  kWow64Enabled = 1,
  kWow64Unknown = 2,  // the query failed
};

WindowsVersion MajorMinorBuildToVersion(uint32_t major, uint32_t minor,
                                        uint32_t build);

// SYSTEM_INFO's wProcessorArchitecture to an architecture.
WindowsArchitecture ProcessorArchitectureToArchitecture(
    uint16_t processor_architecture);

// The facts that decide the edition class: the version, the product type
// from GetProductInfo (Windows 6 and 10), and the product type (1 for a
// workstation) and suite mask of the extended version record.
struct EditionFacts {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t product_info_type = 0;
  uint8_t product_type = 0;
  uint16_t suite_mask = 0;
  WindowsArchitecture architecture = kOtherArchitecture;
};
EditionClass EditionFactsToEditionClass(const EditionFacts& facts);

#if defined(_WIN32)
class OSInfo {
 public:
  // The process-wide instance, created on first use and never freed.
  static const OSInfo* GetInstance();

  OSInfo(const OSInfo&) = delete;
  OSInfo& operator=(const OSInfo&) = delete;

  WindowsVersion version() const { return version_; }
  uint32_t major_version() const { return major_; }
  uint32_t minor_version() const { return minor_; }
  uint32_t build_number() const { return build_; }
  EditionClass edition_class() const { return edition_class_; }
  int service_pack_major() const { return service_pack_major_; }
  int service_pack_minor() const { return service_pack_minor_; }
  WindowsArchitecture architecture() const { return architecture_; }
  int processor_count() const { return processor_count_; }
  size_t allocation_granularity() const { return allocation_granularity_; }
  Wow64Status wow64_status() const { return wow64_status_; }

 private:
  OSInfo();

  WindowsVersion version_ = kVersionPreXP;
  uint32_t major_ = 0;
  uint32_t minor_ = 0;
  uint32_t build_ = 0;
  EditionClass edition_class_ = kEditionOtherOrHome;
  int service_pack_major_ = 0;
  int service_pack_minor_ = 0;
  WindowsArchitecture architecture_ = kOtherArchitecture;
  int processor_count_ = 0;
  size_t allocation_granularity_ = 0;
  Wow64Status wow64_status_ = kWow64Disabled;
};

// OSInfo::GetInstance()->version().
WindowsVersion GetWindowsVersion();
#endif

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_WINDOWS_VERSION_H_
