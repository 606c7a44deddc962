// Feeds arbitrary bytes to the module readers as a PE file, with and
// without a name, and searches them as version text.

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "desktop/windows/crash_reporter/module_info_impl.h"
#include "desktop/windows/crash_reporter/pe_image_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  crash_reporter::ModuleInfoImpl unnamed(u"", 0x140000000, 0x1000);
  unnamed.ReadImage(data, size);
  crash_reporter::ModuleInfoImpl named(u"named.dll", 0x140000000, 0x1000);
  named.ReadImage(data, size);
  std::string value;
  crash_reporter::FindVersionString(data, size, "FILEVERSION", &value);
  return 0;
}
