#include <stdlib.h>

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"

namespace crash_reporter {

std::u16string ReadEnvironmentString(const char16_t* name) {
  const char* value = getenv(base::UTF16ToUTF8(name).c_str());
  return value ? base::UTF8ToUTF16(value) : std::u16string();
}

}  // namespace crash_reporter
