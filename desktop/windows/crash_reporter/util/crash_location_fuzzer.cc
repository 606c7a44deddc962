// Feeds duplicate-check Location values (UTF-16, from the crash server's
// reply) to the id parser and checks what it answers against the value.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "base/logging.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string location(size / 2, u'\0');
  if (!location.empty()) memcpy(&location[0], data, location.size() * 2);
  std::u16string id;
  if (crash_reporter::ParseDuplicateCheckLocation(location, &id)) {
    CHECK(id.find(u'&') == std::u16string::npos);
    CHECK(location.find(u"?id=" + id + u"&") != std::u16string::npos);
  }
  return 0;
}
