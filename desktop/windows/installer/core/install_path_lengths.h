// Whether the names an installation makes fit the system's path limit.
// Every file call of the installer (copy, move aside, delete) refuses a path
// of MAX_PATH characters or more, and so does the mailslot between front
// end and backend: a folder whose names do not fit would install half-way,
// or install and then leave files behind at the uninstall. These checks
// refuse such a folder before anything is changed. Portable; no state.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALL_PATH_LENGTHS_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALL_PATH_LENGTHS_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "desktop/windows/installer/service/install_log.h"

namespace installer {

// The longest path the file calls take: MAX_PATH less its terminator.
inline constexpr size_t kMaxInstallPathLength = 259;

// Why the engine's own names for |folder| do not fit: the mailslot named
// after it, the versioned subfolder of |version| (with a "_NN" suffix, less
// the room of a short file name, as for any folder) and the kept status
// files, each also moved aside under ".<seconds>.old" when removed. Empty
// when they fit.
std::string FindInstallFolderLengthProblem(const std::u16string& folder,
                                           const std::u16string& version);

// Why the package's files do not fit into |folder|: each line of |files|
// (UTF-8, relative to the versioned subfolder of |version|) and of
// |root_files| (relative to |folder|), also when moved aside. Empty when
// they fit.
std::string FindPackagePathLengthProblem(
    const std::u16string& folder, const std::u16string& version,
    const std::vector<std::string>& files,
    const std::vector<std::string>& root_files);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALL_PATH_LENGTHS_H_
