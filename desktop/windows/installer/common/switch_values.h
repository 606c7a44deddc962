// How the installer reads and writes the values of its Boolean switches
// ("copyonly=1", "allusers=yes"). Portable; no state.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_SWITCH_VALUES_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_SWITCH_VALUES_H_

#include <string>

#include "base/strings/string_piece.h"

namespace installer {

// Empty is false; "yes" or "true" in any ASCII letter case is true;
// otherwise true when the decimal number that starts the text (one leading
// sign allowed, read up to the first other character, no digits giving 0)
// is not 0.
bool ParseBoolSwitchValue(base::StringPiece16 value);

// Whether |value| is a plain spelling of a Boolean: empty; "yes", "true",
// "no" or "false" in any ASCII letter case; a whole decimal number with at
// most one leading sign. Other text still has its reading above ("off" and
// "maybe" read as false, "2x" as true), which a caller says in its log.
bool IsPlainBoolSwitchValue(base::StringPiece16 value);

// "1" or "0".
std::u16string FormatBoolSwitchValue(bool value);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_SWITCH_VALUES_H_
