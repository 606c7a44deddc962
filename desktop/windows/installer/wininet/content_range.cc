#include "desktop/windows/installer/wininet/content_range.h"

#include <string>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace installer {

namespace {

// Decimal digits only, no sign, no blanks, no overflow.
bool ReadNumber(const std::string& text, uint64_t* value) {
  return !text.empty() && base::StringToUint64DigitsOnly(text, value);
}

}  // namespace

bool ParseContentRange(base::StringPiece16 text, ContentRange* range) {
  if (!base::IsStringASCII16(text)) return false;
  const std::string header =
      base::TrimWhitespaceASCII(base::UTF16ToASCII(text));
  constexpr char kUnit[] = "bytes";
  constexpr size_t kUnitLength = sizeof(kUnit) - 1;
  if (header.size() <= kUnitLength ||
      !base::EqualsCaseInsensitiveASCII(header.substr(0, kUnitLength), kUnit) ||
      (header[kUnitLength] != ' ' && header[kUnitLength] != '\t'))
    return false;
  const std::string spec =
      base::TrimWhitespaceASCII(header.substr(kUnitLength));
  const size_t dash = spec.find('-');
  const size_t slash = spec.find('/');
  if (dash == std::string::npos || slash == std::string::npos || slash < dash)
    return false;

  ContentRange parsed;
  if (!ReadNumber(base::TrimWhitespaceASCII(spec.substr(0, dash)),
                  &parsed.first) ||
      !ReadNumber(
          base::TrimWhitespaceASCII(spec.substr(dash + 1, slash - dash - 1)),
          &parsed.last) ||
      parsed.last < parsed.first)
    return false;
  const std::string total = base::TrimWhitespaceASCII(spec.substr(slash + 1));
  if (total != "*" &&
      (!ReadNumber(total, &parsed.total) || parsed.total <= parsed.last))
    return false;
  *range = parsed;
  return true;
}

}  // namespace installer
