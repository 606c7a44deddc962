// Feeds arbitrary names to the check that keeps relative paths inside their
// folder: as UTF-16 (an archive's item names) and as UTF-8 (the lines of a
// file list), and through the unpacking's join of a name with its output
// folder. Holds them to what the unpacking and the elevated copy rely on:
// an accepted name joins to a path strictly inside the folder, component by
// component, with no component the system would read differently, and the
// two spellings of the check agree.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversion_utils.h"
#include "desktop/windows/installer/package_fetcher/archive_item_path.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

// What every component of an accepted name must be.
void CheckComponent(const std::u16string& component) {
  Require(!component.empty() && component != u"." && component != u"..");
  Require(component.back() != u'.' && component.back() != u' ');
  Require(component.front() != u' ');
  for (const char16_t c : component) {
    Require(c >= 0x20);
    Require(std::u16string(u":?\"<>*|/\\").find(c) == std::u16string::npos);
  }
  // No device name before an extension.
  std::u16string stem = component.substr(0, component.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  for (const char16_t* device : {u"CON", u"PRN", u"AUX", u"NUL"})
    Require(!base::EqualsCaseInsensitiveASCII16(stem, device));
}

void CheckJoin(const std::u16string& name) {
  const base::FilePath folder(u"C:\\Velna\\package");
  base::FilePath output(u"untouched");
  const bool accepted =
      installer::GetArchiveItemOutputPath(folder, name, &output);
  Require(accepted == installer::IsSafeArchiveItemPath(name));
  if (!accepted) {
    Require(output.value() == u"untouched");
    return;
  }
  std::vector<std::u16string> folder_components;
  std::vector<std::u16string> output_components;
  folder.GetComponents(&folder_components);
  output.GetComponents(&output_components);
  Require(output_components.size() > folder_components.size());
  for (size_t i = 0; i < folder_components.size(); ++i)
    Require(output_components[i] == folder_components[i]);
  for (size_t i = folder_components.size(); i < output_components.size(); ++i)
    CheckComponent(output_components[i]);
  Require(!output.ReferencesParent());
  Require(output.IsAbsolute());
  // The writer creates the item's parent folders: each is inside too.
  for (base::FilePath parent = output.DirName(); parent != folder;
       parent = parent.DirName()) {
    Require(parent.value().size() > folder.value().size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The bytes as UTF-16 units.
  std::u16string wide(size / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i)
    wide[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  CheckJoin(wide);

  // The bytes as a line of a file list.
  const std::string line(reinterpret_cast<const char*>(data), size);
  const bool line_accepted = installer::IsSafeRelativePathUtf8(line);
  std::u16string converted;
  const bool valid = base::ConvertUTF8ToUTF16(
      line.data(), static_cast<int32_t>(line.size()), &converted);
  Require(line_accepted ==
          (valid && installer::IsSafeArchiveItemPath(converted)));
  CheckJoin(converted);
  return 0;
}
