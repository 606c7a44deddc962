// The registry keys and values that the installer's own rows write for one
// installation of this product: the one check every clean-up of an install
// log goes through. A log lies in the install folder, which others may have
// been able to change; whatever it names, the installer deletes or changes
// only what its own rows write (see CleanUpInstallLogRegistry).
//
// Keys and value names compare ignoring case, as the registry compares
// them; value names and the texts that name the folder also take each run
// of path separators for one backslash, as the file system reads such a
// path (a folder given with trailing separators was written so). Immutable
// after construction; any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_OWN_REGISTRY_ROWS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_OWN_REGISTRY_ROWS_WIN_H_

#include <windows.h>

#include <span>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/registry_entry_win.h"

namespace installer {

// Where the uninstall entries of every program live, below the root key.
inline constexpr char16_t kUninstallKeysPath[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class OwnRegistryRows {
 public:
  // |rows| with their placeholders answered by each of |placeholders| (not
  // owned, used here only): a row stands for each of its expansions. A row
  // whose key is exactly "{Uninstall}" stands for the uninstall entries
  // that the installation wrote: the keys made of |uninstall_key_prefix|
  // and a version with an optional number after it (digits and dots) that
  // are missing, or whose "InstallLocation" names the folder of one of
  // |placeholders| ("{InstallFolder}"), or that have no "InstallLocation"
  // (a write cut short) and no other value of an uninstall row that names
  // a folder other than as such a row writes it for |placeholders|.
  OwnRegistryRows(std::span<const RegistryEntryTemplate> rows,
                  std::span<RegistryEntry::Delegate* const> placeholders,
                  const std::u16string& uninstall_key_prefix);
  OwnRegistryRows(const OwnRegistryRows&) = delete;
  OwnRegistryRows& operator=(const OwnRegistryRows&) = delete;
  ~OwnRegistryRows();

  // The rows the registry step records for the installation of this
  // product in |install_folder| (the main table and the row that hides the
  // uninstall entry), with the folder as written, in its long and in its
  // short form, and as |recorded_folder| (the folder its record names,
  // where it was made; it may have been moved since).
  static OwnRegistryRows ForInstallation(const base::FilePath& install_folder,
                                         const std::u16string& recorded_folder);

  // Empty when the clean-up of |key|, recorded under |root|, touches only
  // what own rows write: for a clean depth d > 0 the key it deletes (d - 1
  // levels above) is one that an own row's clean-up deletes; otherwise
  // each recorded value is one an own row writes into that key. Else what
  // it names, for a log line: "the registry key HKEY_CURRENT_USER\<path>"
  // or "the value <name> of the registry key ...".
  std::string DescribeForeign(HKEY root, const InstallLogKey& key) const;

  // DescribeForeign of the first key of |log| that is not own, its
  // HKEY_CURRENT_USER section first; empty when every key is.
  std::string FindForeign(const InstallLog& log) const;

  // Whether |path| under |root| is an uninstall entry of the installation,
  // by the rule of the constructor (a missing one counts).
  bool IsOwnUninstallKey(HKEY root, const std::u16string& path) const;

 private:
  struct Row {
    // Null: any root.
    HKEY root;
    // The expanded key, or empty for the uninstall key.
    std::u16string key;
    // The expanded value name; empty for the default value.
    std::u16string value_name;
    int clean_depth;
    // For an uninstall row whose text names the install folder, that text
    // expanded; else empty.
    std::u16string folder_data;
  };

  // Whether |path|, under |root|, is |row|'s key.
  bool IsRowKey(const Row& row, HKEY root, const std::u16string& path) const;
  // Whether each value of |key| that an uninstall row naming the folder
  // writes is as such a row writes it here (or missing).
  bool NamesNoOtherFolder(const base::win::RegKey& key) const;
  // Whether the clean-up of |row| deletes |target| under |root|.
  bool DeletesKey(const Row& row, HKEY root,
                  const std::u16string& target) const;

  std::vector<Row> rows_;
  std::u16string uninstall_key_prefix_;
  // "{InstallFolder}" as each placeholder answers it.
  std::vector<std::u16string> install_folders_;
};

// The error that refuses the install log |record| for |foreign| (as
// DescribeForeign gives it), for the local log.
std::string RefusedRecordText(const base::FilePath& record,
                              const std::string& foreign);

// The same refusal as the run's error detail, which also goes out with the
// statistics: the same for every record, since the record's path names the
// user.
inline constexpr char kRefusedRecordReason[] =
    "Refusing the installation status file: it names registry entries that "
    "the installer's own registry entries do not write";

// "HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", or a number for another root.
std::string RegistryRootName(HKEY root);

// |path| with |levels| trailing components removed; empty when that would
// leave fewer than three ("Software\Classes\x"): no clean-up deletes a key
// nearer the root.
std::u16string KeyToDelete(std::u16string path, int levels);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_OWN_REGISTRY_ROWS_WIN_H_
