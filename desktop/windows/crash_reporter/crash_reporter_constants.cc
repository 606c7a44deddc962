#include "desktop/windows/crash_reporter/crash_reporter_constants.h"

#include "base/strings/string_number_conversions.h"

namespace crash_reporter {

bool FormatObjectName(const char16_t* prefix, uint32_t pid,
                      std::u16string* name) {
  std::u16string formatted = std::u16string(prefix) + base::UintToString16(pid);
  if (formatted.size() + 1 > kObjectNameCapacity) {
    name->clear();
    return false;
  }
  *name = std::move(formatted);
  return true;
}

}  // namespace crash_reporter
