#include "desktop/windows/installer/package_fetcher/archive_item_path.h"

#include <stddef.h>
#include <stdint.h>

#include "base/strings/string_piece.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversion_utils.h"
#include "desktop/windows/installer/service/name_utils.h"

namespace installer {

namespace {

constexpr const char16_t* kDeviceNames[] = {u"CON", u"PRN",    u"AUX",
                                            u"NUL", u"CONIN$", u"CONOUT$"};

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// COM and LPT take one digit 0-9 or a superscript 1, 2 or 3.
bool IsNumberedPort(base::StringPiece16 stem) {
  if (stem.size() != 4) return false;
  const base::StringPiece16 prefix = stem.substr(0, 3);
  if (!base::EqualsCaseInsensitiveASCII16(prefix, u"COM") &&
      !base::EqualsCaseInsensitiveASCII16(prefix, u"LPT")) {
    return false;
  }
  const char16_t digit = stem[3];
  return (digit >= u'0' && digit <= u'9') || digit == u'\u00B9' ||
         digit == u'\u00B2' || digit == u'\u00B3';
}

// Windows reads a device in a component's text before the first dot, with
// trailing spaces dropped ("CON .txt" is the console).
bool IsDeviceName(base::StringPiece16 component) {
  base::StringPiece16 stem = component.substr(0, component.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.remove_suffix(1);
  if (IsNumberedPort(stem)) return true;
  for (const char16_t* name : kDeviceNames) {
    if (base::EqualsCaseInsensitiveASCII16(stem, name)) return true;
  }
  return false;
}

bool IsSafeComponent(base::StringPiece16 component) {
  if (component.empty() || component == u"." || component == u"..")
    return false;
  // A lone component "x:" would pass the path check below as a drive.
  if (component.find(u':') != base::StringPiece16::npos) return false;
  if (IsDeviceName(component)) return false;
  return IsValidFileName(std::u16string(component), false);
}

}  // namespace

std::u16string ToWindowsSeparators(std::u16string name) {
  for (char16_t& c : name) {
    if (c == u'/') c = u'\\';
  }
  return name;
}

bool IsSafeArchiveItemPath(const std::u16string& path) {
  const base::StringPiece16 text(path);
  size_t start = 0;
  while (true) {
    size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    if (!IsSafeComponent(text.substr(start, end - start))) return false;
    if (end == text.size()) return true;
    start = end + 1;
  }
}

bool IsSafeRelativePathUtf8(base::StringPiece path) {
  if (path.size() > static_cast<size_t>(INT32_MAX)) return false;
  std::u16string wide;
  return base::ConvertUTF8ToUTF16(path.data(),
                                  static_cast<int32_t>(path.size()), &wide) &&
         IsSafeArchiveItemPath(wide);
}

bool GetArchiveItemOutputPath(const base::FilePath& folder,
                              const std::u16string& item_path,
                              base::FilePath* output) {
  if (!IsSafeArchiveItemPath(item_path)) return false;
  *output = folder.Append(ToWindowsSeparators(item_path));
  return true;
}

}  // namespace installer
