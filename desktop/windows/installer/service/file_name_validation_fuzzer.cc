// Feeds arbitrary UTF-16 text to the check of paths typed by the user, and
// holds it to what its callers rely on: a path good for a folder is good
// for a file, nothing beyond the limits or holding a NUL passes, and a valid
// path below a drive stays valid one level deeper.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>

#include "desktop/windows/installer/service/name_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string path(size / 2, u'\0');
  for (size_t i = 0; i < path.size(); ++i)
    path[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));

  const bool for_file = installer::IsValidFileName(path, false);
  const bool for_folder = installer::IsValidFileName(path, true);
  if (for_folder && !for_file) abort();
  if (for_file && (path.empty() || path.size() > 259)) abort();
  if (for_folder && path.size() > 247) abort();
  if (for_file && path.find(u'\0') != std::u16string::npos) abort();

  // Below a drive, a valid folder name stays valid one level deeper.
  const std::u16string longer = path + u"\\Velna";
  if (for_file && path.size() >= 2 && path[1] == u':' && longer.size() <= 259 &&
      !installer::IsValidFileName(longer, false)) {
    abort();
  }

  // Only the scope prefix keeps its backslash.
  const std::u16string name =
      installer::MakeKernelObjectName(path, u"C:\\Velna", size % 2);
  const size_t first = name.find(u'\\');
  if (first == std::u16string::npos ||
      name.find(u'\\', first + 1) != std::u16string::npos) {
    abort();
  }
  return 0;
}
