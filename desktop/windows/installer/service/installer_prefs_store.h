// InstallerPrefsStore: the installer preferences that an installation keeps
// in "installer_prefs.json" in its folder (where the profile lives, whether
// the installation keeps a single profile, experiment states), as a
// read-only preference store.
//
// The file is read once, when the store is made, with the plain JSON
// reader, and never written, moved or renamed: looking at a folder (one the
// user typed, or the one being uninstalled) must not change it. A file that
// is missing, cannot be read, is not JSON or whose root is not an object
// gives an empty store, exactly as if it did not exist.
//
// Reference counted; used on one thread at a time. Portable.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLER_PREFS_STORE_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLER_PREFS_STORE_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/values.h"
#include "components/prefs/pref_store.h"

namespace installer {

// The file name of the installer preferences in an install folder.
inline constexpr char16_t kInstallerPrefsFileName[] = u"installer_prefs.json";

// Keys of the installer preferences read here.
inline constexpr char kProfilePathPref[] = "profile_path";
inline constexpr char kSingleProfilePref[] = "single_profile";
// The other keys an installation writes (and an inspection reads back).
inline constexpr char kWelcomeUrlPref[] = "welcome-url";
inline constexpr char kLanguagePref[] = "language";
inline constexpr char kAllInstallerExperimentsPref[] =
    "all-installer-experiments";
inline constexpr char kTempFolderPref[] = "temp_folder";
inline constexpr char kAutoupdatePref[] = "autoupdate";
inline constexpr char kImportBrowserDataPref[] = "import_browser_data";
inline constexpr char kEnableStatsPref[] = "enable_stats";
// Failed runs of the autoupdate task, which the browser counts.
inline constexpr char kAutoupdateErrorCountPref[] = "au_task_error_count";

// Larger files count as unreadable: the folder may be anyone's.
inline constexpr size_t kMaxJsonFileSize = 16 * 1024 * 1024;

// The dictionary of the JSON file at |path|, or null when the file is
// missing, unreadable, larger than kMaxJsonFileSize, not JSON or not an
// object. Reads only.
std::unique_ptr<base::DictionaryValue> ReadJsonDictionaryFile(
    const base::FilePath& path);

class InstallerPrefsStore : public prefs::PrefStore {
 public:
  // Reads |path| now (see above).
  static base::ScopedRefPtr<InstallerPrefsStore> Read(
      const base::FilePath& path);

  // PrefStore: dotted paths; always initialised.
  bool GetValue(const std::string& key,
                const base::Value** result) const override;

 private:
  explicit InstallerPrefsStore(std::unique_ptr<base::DictionaryValue> values);
  ~InstallerPrefsStore() override;

  const std::unique_ptr<base::DictionaryValue> values_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALLER_PREFS_STORE_H_
