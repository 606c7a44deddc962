// Checks and names made from text alone, shared by the installer core and
// the UI: the check of a path typed by the user, and the names of kernel
// objects. Portable; no state, any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_NAME_UTILS_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_NAME_UTILS_H_

#include <string>

namespace installer {

// Checks a path typed by the user: 1 to 259 characters (247 for a folder),
// an optional drive (a letter and ":") or UNC prefix ("\\server\share\"), and
// components without control characters (NUL included) or ? " < > * | :, not
// starting with a space, not ending with a space or a dot, and not a reserved
// device name (CON, AUX, COM1-4, LPT1-3, PRN, NUL, also before an extension).
// The server and share names follow the same rules, which keeps out device
// paths ("\\.\..." and "\\?\...").
bool IsValidFileName(const std::u16string& path, bool for_folder);

// Which rule of IsValidFileName() |path| breaks, in a few English words for
// the log ("a name ends with a space or a dot"); empty when it is valid.
std::string FindFileNameProblem(const std::u16string& path, bool for_folder);

// "Global\" or "Local\", then |base| + "/" + |suffix| with every "\" turned
// into "/".
std::u16string MakeKernelObjectName(const std::u16string& suffix,
                                    const std::u16string& base, bool global);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_NAME_UTILS_H_
