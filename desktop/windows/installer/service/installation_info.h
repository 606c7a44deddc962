// InstallationInfo: what is known of one installation folder of the
// browser: the folder, the installation status the finalising step left
// there ("installation_status.xml", read on demand), the installer
// preferences beside it ("installer_prefs.json", see InstallerPrefsStore),
// and the name under which the browser registers itself with Windows
// (product name, a space and the release stream).
//
// The default-browser queries on an installation are implemented with the
// rest of the shell integration (shell_integration.h).
//
// An InstallationInfo is built on demand for a given folder; the one of the
// running program's installation comes from GetInstance(). Reading the
// status needs COM on the calling thread. An object is used on one thread
// at a time; only GetInstance() may be called from several threads.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_INFO_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_INFO_H_

#include <string>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"

namespace installer {

// The program that the browser's shortcuts, handlers and scheduled task
// start, in the install folder.
inline constexpr char16_t kLauncherFileName[] = u"launcher.exe";

// Stands for the logon name in a profile-path template.
inline constexpr char16_t kUserNamePlaceholder[] = u"<USERNAME>";

// The folder in the install folder that holds a single-profile
// installation's profile.
inline constexpr char16_t kSingleProfileFolderName[] = u"profile";

class InstallationInfoBase {
 public:
  InstallationInfoBase(const InstallationInfoBase&) = delete;
  InstallationInfoBase& operator=(const InstallationInfoBase&) = delete;
  virtual ~InstallationInfoBase();

  // The installer preferences of the folder, read on the first call; every
  // call returns a reference to the same store.
  base::ScopedRefPtr<InstallerPrefsStore> GetInstallerPrefs();

  const base::FilePath& install_folder() const { return install_folder_; }
  // The preference "profile_path"; empty when it is missing or no string.
  const std::u16string& profile_path_template() const {
    return profile_path_template_;
  }
  // Product name, " " and release stream: the value name under
  // Software\RegisteredApplications.
  const std::u16string& registered_application_name() const {
    return registered_application_name_;
  }

 protected:
  // The status record stays at its defaults (copy only false, all users
  // true) until it is read.
  explicit InstallationInfoBase(const base::FilePath& install_folder);
  // The status counts as read.
  InstallationInfoBase(const base::FilePath& install_folder,
                       const InstallLog& status);

  // Reads the profile-path template and builds the registered name.
  void Init();

  bool status_loaded_ = false;
  InstallLog status_;

 private:
  void ReadProfilePath();

  base::ScopedRefPtr<InstallerPrefsStore> installer_prefs_;
  base::FilePath install_folder_;
  std::u16string profile_path_template_;
  std::u16string registered_application_name_;
};

class InstallationInfo : public InstallationInfoBase {
 public:
  explicit InstallationInfo(const base::FilePath& install_folder);
  InstallationInfo(const base::FilePath& install_folder,
                   const InstallLog& status);
  ~InstallationInfo() override;

  // The installation of the running program: the executable's folder, or
  // its parent when only the parent holds "launcher.exe" (the installer of
  // an installation runs from a version subfolder) or, from an update cut
  // between the two renames of its replacement, only an aside copy of it
  // ("launcher.exe.<digits>.old"), or, from an uninstallation cut once it
  // took the launcher, the status file. Built by the first
  // caller, deleted by the at-exit manager (after which a call builds a new
  // one); never null. Get() is the same call.
  static InstallationInfo* GetInstance();
  static InstallationInfo* Get();

  // The preference "single_profile" when it is a Boolean, else false.
  bool IsSingleProfile();

  // Reads "installation_status.xml" of the folder, at most once per object
  // (a status given to the constructor counts as read). A file that is
  // missing or does not load leaves the defaults; one that loads is read as
  // far as it is well-formed.
  void LoadInstallationStatus();
  // The status record, read first when it was not.
  const InstallLog& GetInstallationStatus();
  // The status's copy-only flag (a stand-alone installation).
  bool IsCopyOnly();

  // For a single-profile installation, install folder\profile; false
  // (leaving |*out| alone) otherwise.
  bool GetSingleProfileFolder(base::FilePath* out);

  // The profile folder. Without a template: the roaming application-data
  // folder and the branding's default profile folder (its
  // "{InternalStream}" replaced, '/' made '\'); false when either is
  // missing or the branding template is empty. With a template: the
  // template, its first "<USERNAME>" replaced by the logon name (false when
  // that cannot be read), cut at a NUL. |*out| is untouched on failure.
  bool GetProfilePath(base::FilePath* out);

  // The browser's user-data folder: profile\data for a single-profile
  // installation, else GetProfilePath(). With |parent_of_user_folder|, when
  // the template's last component is the user name, the folder above it
  // (the one holding every user's folder). False for an empty install
  // folder or when GetProfilePath() fails.
  bool GetUserDataPath(base::FilePath* out, bool parent_of_user_folder);

  // Shell integration (shell_integration.cc).

  // Whether the current user's open command for |name| (a protocol, or an
  // extension with its dot) contains, ignoring ASCII case, this folder's
  // "launcher.exe", or with |use_browser_executable| the browser
  // executable. False when no command can be read.
  bool IsHandlerCommandOurs(const std::u16string& name,
                            bool use_browser_executable);
  // Whether the Start menu's internet client is this browser: asked of the
  // association registration for an installation for all users (Vista and
  // later), else read from the StartMenuInternet default value of the
  // current user or, when the user has none, of the machine.
  bool IsStartMenuInternetDefault();
  // Whether this installation handles http and https (and, before Windows
  // 8, is the Start menu's internet client).
  bool IsDefaultBrowser();
};

// |in| under the local application-data folder when it lies under the
// roaming one and |info| has no profile-path template (the default
// profile's cache side); otherwise |in| itself.
void RebaseRoamingToLocalAppData(const InstallationInfo& info,
                                 const base::FilePath& in, base::FilePath* out);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLATION_INFO_H_
