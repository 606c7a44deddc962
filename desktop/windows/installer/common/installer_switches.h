// The installer's command-line switches, defined once. Names are lower case:
// the command line stores every switch name lower-cased.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_SWITCHES_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_SWITCHES_H_

namespace installer {
namespace switches {

// Print-and-return modes, tested in this order before anything else.
inline constexpr char kVersion[] = "version";
inline constexpr char kInternalVersion[] = "internal-version";
inline constexpr char kStream[] = "stream";

// The crash reporter's roles and the reporter an installer process reuses.
inline constexpr char kCrashReporterParentId[] = "crash-reporter-parent-id";
inline constexpr char kCrashReporterExceptionInfo[] =
    "crash-reporter-exception-info";
inline constexpr char kCrashReporterPid[] = "crash-reporter-pid";

// The help printer: "help" or "?".
inline constexpr char kHelp[] = "help";
inline constexpr char kHelpShort[] = "?";

// The folder-permission utility: the folder, the user to grant access, and
// whether the grant stays for good.
inline constexpr char kSetFolderPermission[] = "set-folder-permission";
inline constexpr char kPermissionsForUser[] = "permissions-for-user";
inline constexpr char kPermanentPermissions[] = "permanent-permissions";
inline constexpr char kRunUninstallBat[] = "run-uninstall-bat";
// A backend waiting for the package: the package folder (with a trailing
// separator) that will hold the package backend.
inline constexpr char kWaitForPackage[] = "wait-for-package";
// The process id of the front end that started the backends.
inline constexpr char kInitialPid[] = "initial-pid";
// The process id of the backend that started an elevated copy of itself
// or the folder-permission utility.
inline constexpr char kParentPid[] = "parent-pid";
// The file name, in the installer's log folder, of a backend's log: chosen
// by the process that starts the backend, which reads no other log.
inline constexpr char kInstallerLogName[] = "installer-log-name";
// The front end's process as an inheritable handle: the 8 bytes of the
// handle value, little-endian, as hexadecimal text.
inline constexpr char kInitialProcHandle[] = "initial-proc-handle";
// A new installation: how many folders above the install folder its front
// end found missing, and so the installation creates (a backend may start
// after another one made them).
inline constexpr char kCreatedParentFolders[] = "created-parent-folders";

// Roles and flags read by the entry point.
inline constexpr char kBackend[] = "backend";
inline constexpr char kUninstall[] = "uninstall";
inline constexpr char kSilent[] = "silent";
inline constexpr char kRunImmediately[] = "runimmediately";
inline constexpr char kAutoupdate[] = "autoupdate";
inline constexpr char kReplaceTamselInstallation[] =
    "replacetamselinstallation";
inline constexpr char kInstallFolder[] = "installfolder";
// A base folder for the download folder, instead of the temporary folders.
inline constexpr char kTempFolder[] = "temp-folder";

// The settings (values are Boolean unless said otherwise).
inline constexpr char kLanguage[] = "language";  // a language code
inline constexpr char kDeleteUserProfile[] = "deleteuserprofile";
inline constexpr char kLaunchVelna[] = "launchvelna";
inline constexpr char kLaunchBrowser[] = "launchbrowser";
inline constexpr char kCopyOnly[] = "copyonly";
inline constexpr char kImportBrowserData[] = "import-browser-data";
inline constexpr char kEnableStats[] = "enable-stats";
inline constexpr char kEnableInstallerStats[] = "enable-installer-stats";
inline constexpr char kAllUsers[] = "allusers";
inline constexpr char kSetDefaultBrowser[] = "setdefaultbrowser";
inline constexpr char kDesktopShortcut[] = "desktopshortcut";
inline constexpr char kStartMenuShortcut[] = "startmenushortcut";
inline constexpr char kQuickLaunchShortcut[] = "quicklaunchshortcut";
inline constexpr char kPinToTaskbar[] = "pintotaskbar";
inline constexpr char kSingleProfile[] = "singleprofile";
inline constexpr char kProfileFolder[] = "profile-folder";  // a path

// Only on the backend's command line.
// Marks the command line of an install or upgrade; nothing reads it.
inline constexpr char kInstall[] = "install";
// The verbose log level, passed on unchanged.
inline constexpr char kVerboseLevel[] = "v";
// A package backend started after an elevated installation: it only does
// the current user's part.
inline constexpr char kPostElevatedInstallTasks[] =
    "post-elevated-install-tasks";
inline constexpr char kServerTrackingData[] = "server-tracking-data";
// The setting switches (comma-separated names) whose values the process
// that wrote the command line took from the installation's record, not
// from its user: a backend that makes the install folder anew drops them.
inline constexpr char kFromRecord[] = "from-record";
inline constexpr char kImportBookmarks[] = "import-bookmarks";
inline constexpr char kImportSession[] = "import-session";
inline constexpr char kImportTopsitesToSpeeddial[] =
    "import-topsites-to-speeddial";

}  // namespace switches
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_INSTALLER_SWITCHES_H_
