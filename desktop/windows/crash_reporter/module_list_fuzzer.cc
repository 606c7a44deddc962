// Parses arbitrary UTF-16 text as the "modules" crash key.

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "desktop/windows/crash_reporter/module_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  if (!text.empty()) memcpy(text.data(), data, text.size() * 2);
  crash_reporter::ParseModuleList(text);
  return 0;
}
