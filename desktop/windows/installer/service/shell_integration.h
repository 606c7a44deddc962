// Shell integration: registers an installation as a handler of web
// protocols and document types, for the current user (HKEY_CURRENT_USER) or
// for all users (HKEY_LOCAL_MACHINE), makes it the default browser in the
// way each Windows version allows, and remembers which program handled
// "http" before it. The queries that answer whether an installation is the
// default browser are members of InstallationInfo (installation_info.h).
//
// Each registration writes its template rows (registry_entry_win.h), with a
// PlaceholderResolver, into a local transaction of its own: the first
// failing row rolls back what that registration wrote and ends it with
// false; success commits at once, and earlier registrations stay. Nothing
// is recorded in an install log. The Windows version and the default-program
// components come from ShellPlatform (shell_platform.h).
//
// Main thread, COM initialised apartment-threaded.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SHELL_INTEGRATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SHELL_INTEGRATION_H_

#include <span>
#include <string>

#include "desktop/windows/installer/service/registry_entry_win.h"

namespace installer {

class InstallationInfo;

// The value under the company's key that keeps the previous http handler.
inline constexpr char16_t kPreviousDefaultBrowserValue[] =
    u"Previous Default Browser";

// The protocol rows ("{Protocol}"); the last one removes the user's choice.
std::span<const RegistryEntryTemplate> GetProtocolRegistryTable();
// The extension rows ("{Extension}", with its dot); the last one removes
// the user's choice.
std::span<const RegistryEntryTemplate> GetExtensionRegistryTable();

// The open command of whatever handles |name|: a protocol ("http") or an
// extension with its dot (".htm"). For the current user (Vista and later)
// the user's choice comes first; a missing choice key or value falls back
// to the class registration (for an extension, its default value names the
// class). REG_EXPAND_SZ data is expanded. False when a value that should be
// there cannot be read (missing, another type, too long).
bool GetHandlerCommand(const std::u16string& name, bool all_users,
                       std::u16string* out);

// Writes |command| as "Previous Default Browser" under the company's key of
// HKEY_LOCAL_MACHINE (|all_users|) or HKEY_CURRENT_USER. True when written.
bool WritePreviousDefaultBrowser(const std::u16string& command, bool all_users);
// Remembers the current http handler for |all_users|, unless it already is
// this installation. Reports nothing.
void SavePreviousDefaultBrowser(InstallationInfo* info, bool all_users);

// The programmatic-identifier rows: for all users the ddeexec key is
// deleted, for the current user empty ddeexec values are written.
bool RegisterProgIdEntries(InstallationInfo* info, bool all_users);

// Makes the installation the handler of the protocol or extension |name| in
// the way the Windows version allows: the Settings page of default programs
// on Windows 10 (current user only, no row written), the Open-With dialog
// on Windows 8 and 8.1 when it is not ours yet (current user only), the
// association registration on Vista and 7 for an installation for all
// users; then the table's rows. The user's own choice is removed only for
// the current user, on Vista and 7, for a per-user installation.
bool RegisterAssociation(InstallationInfo* info, const std::u16string& name,
                         bool all_users);

// Makes the installation the Start menu's internet client (never for all
// users on Windows 8 and later).
bool RegisterStartMenuInternet(InstallationInfo* info, bool all_users);

// The whole default-browser registration: programmatic identifier, then
// "http" (before Windows 8 also https, ftp and the document types), then
// the Start menu. False without doing anything for a single-profile
// installation; otherwise whether the installation is the default browser
// afterwards.
bool RegisterBrowserAssociations(InstallationInfo* info, bool all_users);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SHELL_INTEGRATION_H_
