// The registry entries of an installed browser, as template rows (see
// registry_entry_win.h for the row format and the placeholders' meaning).

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_TABLES_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_TABLES_WIN_H_

#include <span>

#include "desktop/windows/installer/service/registry_entry_win.h"

namespace installer {

// The main table, applied in this order by the installer's registry step:
// programmatic identifier, file associations, application paths, the
// Start-menu internet client with its capabilities, the uninstall entry.
std::span<const RegistryEntryTemplate> GetMainRegistryTable();

// The first rows of the main table: the programmatic identifier, which the
// shell integration registers on its own as well.
std::span<const RegistryEntryTemplate> GetProgIdRegistryTable();

// The last install path under the company's key, applied for
// HKEY_CURRENT_USER before an installation or update runs. Other programs
// read this value: its name and data must not change.
extern const RegistryEntryTemplate kSetLastInstallPathRegOp;

// Hides the uninstall entry from the programs list (with the switch
// "installer-hide-from-program-and-features").
extern const RegistryEntryTemplate kHideFromProgramsRegOp;

// Makes the browser the Start menu's internet client (default-browser
// registration).
extern const RegistryEntryTemplate kStartMenuInternetDefaultRegOp;

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_REGISTRY_ENTRY_TABLES_WIN_H_
