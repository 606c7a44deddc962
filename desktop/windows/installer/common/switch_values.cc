#include "desktop/windows/installer/common/switch_values.h"

#include "base/strings/string_util.h"

namespace installer {

bool ParseBoolSwitchValue(base::StringPiece16 value) {
  if (value.empty()) return false;
  if (base::EqualsCaseInsensitiveASCII16(value, "yes") ||
      base::EqualsCaseInsensitiveASCII16(value, "true")) {
    return true;
  }
  size_t i = 0;
  if (value[0] == u'+' || value[0] == u'-') ++i;
  // The number is non-zero exactly when one of its digits is; its size
  // does not matter.
  for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
    if (value[i] != u'0') return true;
  }
  return false;
}

bool IsPlainBoolSwitchValue(base::StringPiece16 value) {
  if (value.empty() || base::EqualsCaseInsensitiveASCII16(value, "yes") ||
      base::EqualsCaseInsensitiveASCII16(value, "true") ||
      base::EqualsCaseInsensitiveASCII16(value, "no") ||
      base::EqualsCaseInsensitiveASCII16(value, "false")) {
    return true;
  }
  size_t i = 0;
  if (value[0] == u'+' || value[0] == u'-') ++i;
  if (i == value.size()) return false;
  for (; i < value.size(); ++i) {
    if (value[i] < u'0' || value[i] > u'9') return false;
  }
  return true;
}

std::u16string FormatBoolSwitchValue(bool value) { return value ? u"1" : u"0"; }

}  // namespace installer
