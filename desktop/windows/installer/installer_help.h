// The command-line help the installer prints for "help" and "?": the
// user-facing switches with their placeholders, descriptions and defaults,
// the available languages and the installer's experiment switches.
// Portable; any thread once the branding has been read.

#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_HELP_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_HELP_H_

#include <stddef.h>

#include <string>
#include <vector>

namespace installer {

// One switch of the help table. |placeholder| and |default_value| may be
// null; |description| and |default_value| may hold one "%s" for the product
// name.
struct HelpRow {
  const char* switch_name;
  const char* placeholder;
  const char* description;
  const char* default_value;
};

// The 16 rows, in the order printed.
const HelpRow* GetHelpRows(size_t* count);

// The whole help text: the title with the product version and stream, the
// rows, |languages| (the available language codes) joined by ", ", and the
// four installer experiments with their defaults in the current group.
std::string BuildHelpText(const std::vector<std::u16string>& languages);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_HELP_H_
