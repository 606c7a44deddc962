// Expansion of the placeholders in braces ("{Product}", "{InstallFolder}")
// of registry templates.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_PLACEHOLDER_EXPANSION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_PLACEHOLDER_EXPANSION_H_

#include <functional>
#include <string>

#include "base/strings/string_piece.h"

namespace installer {

// Gives the value of a placeholder's name (without braces).
using PlaceholderResolveFunction =
    std::function<std::u16string(const std::u16string& name)>;

// One pass from left to right: each "{" with a "}" after it is replaced,
// with everything up to that "}", by |resolve| of the text between them;
// from a "{" without a "}" on, the text stays as it is. A resolved value is
// never searched again, so a value that holds braces (an install folder
// "C:\a{InstallFolder}") is written as it is and expansion always ends.
std::u16string ExpandPlaceholders(base::StringPiece16 text,
                                  const PlaceholderResolveFunction& resolve);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_PLACEHOLDER_EXPANSION_H_
