#include "base/win/windows_version.h"

namespace base {
namespace win {

namespace {

// GetProductInfo product types.
bool IsProfessionalProduct(uint32_t type) {
  switch (type) {
    case 0x01:  // Ultimate
    case 0x04:  // Enterprise
    case 0x06:  // Business
    case 0x30:  // Professional
      return true;
  }
  return false;
}

bool IsServerProduct(uint32_t type) {
  switch (type) {
    case 0x07:  // Standard server
    case 0x08:  // Datacenter server
    case 0x09:  // Small business server
    case 0x0A:  // Enterprise server
    case 0x0C:  // Datacenter server core
    case 0x0D:  // Standard server core
    case 0x0E:  // Enterprise server core
    case 0x0F:  // Enterprise server for Itanium
    case 0x11:  // Web server
    case 0x12:  // Cluster server
    case 0x19:  // Small business server premium
      return true;
  }
  return false;
}

constexpr uint8_t kWorkstationProductType = 1;  // VER_NT_WORKSTATION
constexpr uint16_t kSuiteHomeServer = 0x8000;   // VER_SUITE_WH_SERVER
constexpr uint16_t kSuitePersonal = 0x0200;     // VER_SUITE_PERSONAL

}  // namespace

WindowsVersion MajorMinorBuildToVersion(uint32_t major, uint32_t minor,
                                        uint32_t build) {
  switch (major) {
    case 5:
      if (minor == 0) return kVersionPreXP;
      return minor == 1 ? kVersionXP : kVersionServer2003;
    case 6:
      switch (minor) {
        case 0:
          return kVersionVista;
        case 1:
          return kVersionWin7;
        case 2:
          return kVersionWin8;
        default:
          return kVersionWin8_1;
      }
    case 10:
      return build < 10586 ? kVersionWin10 : kVersionWin10TH2;
  }
  return major < 7 ? kVersionPreXP : kVersionWinLast;
}

WindowsArchitecture ProcessorArchitectureToArchitecture(
    uint16_t processor_architecture) {
  switch (processor_architecture) {
    case 0:  // PROCESSOR_ARCHITECTURE_INTEL
      return kX86Architecture;
    case 9:  // PROCESSOR_ARCHITECTURE_AMD64
      return kX64Architecture;
    case 6:  // PROCESSOR_ARCHITECTURE_IA64
      return kIA64Architecture;
  }
  return kOtherArchitecture;
}

EditionClass EditionFactsToEditionClass(const EditionFacts& facts) {
  if (facts.major == 6 || facts.major == 10) {
    if (IsProfessionalProduct(facts.product_info_type))
      return kEditionProfessional;
    if (IsServerProduct(facts.product_info_type)) return kEditionServer;
    return kEditionOtherOrHome;
  }
  if (facts.major == 5 && facts.minor == 2) {
    // Windows XP x64 shares 5.2 with Server 2003.
    if (facts.product_type == kWorkstationProductType &&
        facts.architecture == kX64Architecture) {
      return kEditionProfessional;
    }
    return (facts.suite_mask & kSuiteHomeServer) ? kEditionOtherOrHome
                                                 : kEditionServer;
  }
  if (facts.major == 5 && facts.minor == 1)
    return (facts.suite_mask & kSuitePersonal) ? kEditionOtherOrHome
                                               : kEditionProfessional;
  return kEditionOtherOrHome;
}

}  // namespace win
}  // namespace base
