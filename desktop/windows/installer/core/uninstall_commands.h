// The two commands an uninstallation runs after the files are gone: the
// system browser's "ReinstallCommand" (when the browser gives the web back
// to it) and the uninstall survey's browser with its URL. Portable; no
// state.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_COMMANDS_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_COMMANDS_H_

#include <string>

namespace installer {

// The program and arguments of a "ReinstallCommand" text. A quoted program
// ends at its closing quote and the arguments follow the one space after
// it; an unquoted one ends at the first space and the arguments are the
// rest. Without a closing quote or a space the whole text (less an opening
// quote) is the program, with no arguments.
void SplitReinstallCommand(const std::u16string& command,
                           std::u16string* program, std::u16string* arguments);

// The survey's command line: |program| quoted, " -private" when |private|,
// then |url| as one quoted argument. False (leaving |*out| alone) for an
// empty URL or one holding a double quote or a control character, which
// could end the argument or hide another.
bool BuildSurveyCommand(const std::u16string& program, bool in_private,
                        const std::u16string& url, std::u16string* out);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_UNINSTALL_COMMANDS_H_
