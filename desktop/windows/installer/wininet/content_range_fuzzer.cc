// Feeds arbitrary header text to the Content-Range reader: it must never
// crash, and what it accepts must be a consistent range.

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/logging.h"
#include "desktop/windows/installer/wininet/content_range.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text;
  for (size_t i = 0; i + 1 < size; i += 2)
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  // The same bytes once more as narrow text, the usual shape of a header.
  std::u16string narrow(data, data + size);
  for (const std::u16string* input : {&text, &narrow}) {
    installer::ContentRange range;
    if (installer::ParseContentRange(*input, &range)) {
      CHECK(range.first <= range.last);
      CHECK(range.total == 0 || range.total > range.last);
    }
  }
  return 0;
}
