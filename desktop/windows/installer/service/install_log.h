// The install log: what one installation left on the machine (flags,
// version, identifier, path, files, registry keys and values with their
// clean depths, shortcuts), kept in memory by the installer and stored as
// "installation_status.xml" in the install folder.
//
// The uninstaller and every later update trust what a log lists, and the
// file lies in a folder its user may write: reading is strict and treats
// the file as untrusted (see ReadInstallLogElements).
//
// The document format, in the order written:
//   <install_log version copy_only all_users pinned app_id [complete]>
//    <path subfolder created_parents>installation path</path>
//    <files><file>path</file>...</files>
//    <root_files><file>path</file>...</root_files>          (when any)
//    <registry hive="HKLM"><key path clean><value name type>data</value>
//      ...</key>...</registry>                              (when any)
//    <registry hive="HKCU">...</registry>                   (when any)
//    <shortcut type>path</shortcut>...                       (non-empty ones)
//   </install_log>
// All texts are UTF-8. "created_parents" (written when not 0) counts the
// folders above the installation path that the installation created; the
// uninstallation removes those that are empty by then.
// "complete" is written only as "False", on the record
// an installation keeps while it makes its changes: a log without it (every
// finished installation's, and every older one) reads as complete.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_H_

#include <stdint.h>

#include <string>
#include <vector>

#if defined(_WIN32)
#include "base/files/file_path.h"
#endif

namespace installer {

class XmlCursor;

// The file name of the log in the install folder, and the name an older
// installation may carry instead.
inline constexpr char16_t kInstallLogFileName[] = u"installation_status.xml";
inline constexpr char16_t kFormerInstallLogFileName[] =
    u"velna_install_log.xml";
// The folder in the install folder that keeps the logs of other versions
// (kept logs), each named kInstallLogFileName + "." + seconds since 1970:
// the previous version's, which a later update or the uninstallation
// removes the files of, and the log of a version being installed until its
// files are all in place.
inline constexpr char16_t kOldStatusFolderName[] = u"old_status";

// Registry types as the templates use them, beyond the system's own.
inline constexpr uint32_t kRegTypeRemoveValue = 0xFFFFFFFF;
inline constexpr uint32_t kRegTypeDeleteKey = 0xFFFFFFFE;

struct InstallLogValue {
  std::string type;  // "REG_SZ", "REG_DWORD", ...
  std::string name;  // empty for the key's default value
  std::string data;  // the data as text (see AddRegistryValue)

  bool operator==(const InstallLogValue& other) const = default;
};

struct InstallLogKey {
  // 0: uninstall removes the recorded values only; d > 0: it deletes the
  // key d - 1 levels above this one (1 = this key).
  int clean_depth = 0;
  std::string path;  // relative to the section's root key
  std::vector<InstallLogValue> values;

  bool operator==(const InstallLogKey& other) const = default;
};

// One registry section of a log: the keys recorded under one root.
using InstallLogRegistry = std::vector<InstallLogKey>;

struct InstallLog {
  bool copy_only = false;
  bool all_users = true;
  bool pinned = false;
  std::string app_id;
  std::u16string path;
  std::u16string subfolder;
  // Folders above |path| that the installation created (0 to 128).
  int created_parents = 0;
  std::string version;
  std::u16string desktop_shortcut;
  std::u16string start_menu_shortcut;
  std::u16string quick_launch_shortcut;
  std::vector<std::u16string> files;
  std::vector<std::u16string> root_files;
  InstallLogRegistry hklm_keys;
  InstallLogRegistry hkcu_keys;
  // False while the installation that writes it is still making the
  // changes it lists: it may have made some of them only.
  bool complete = true;

  bool operator==(const InstallLog& other) const = default;
};

// The standard name of registry types 0 to 11 ("REG_NONE" ... "REG_QWORD"),
// empty for any other.
std::string RegistryTypeName(uint32_t type);

// Records one value that is about to be written into |section|. A removal
// (kRegTypeRemoveValue) records nothing. The key is found again whatever
// its ASCII case, and then keeps the larger clean depth. The data text by
// type: REG_SZ and REG_EXPAND_SZ the text (|data| holds UTF-16 units, up to
// the first NUL or |size| bytes; null gives an empty text); REG_BINARY the
// |size| bytes as lower-case hex pairs joined by commas ("01,02,ff");
// REG_DWORD eight lower-case hex digits ("00000020", empty when |size| is
// below 4); any other type an empty text.
void AddRegistryValue(InstallLogRegistry* section, const std::u16string& key,
                      const std::u16string& value_name, const void* data,
                      uint32_t type, uint32_t size, int clean_depth);

// Appends the log's elements under the cursor's current node (the document
// node of an empty document). False when the cursor refuses a step.
bool WriteInstallLogElements(const InstallLog& log, XmlCursor* cursor);

// Reads a log from a document whose cursor is on the document node. Empties
// the four lists of |out| first; other fields keep their values until read,
// and what was read before a failure stays. False when the structure is not
// exactly the one above: a missing required attribute or text, an element
// where another is required (also after the shortcuts), a hive other than
// "HKLM"/"HKCU", a shortcut type other than the five known, a files list
// without a file, a clean depth that is not a decimal number between 0 and
// the number of components of its key path, or a key path that is empty,
// begins or ends with a backslash or holds an empty component. Paths are
// trimmed of white space and cut at a NUL; value data is trimmed of ASCII
// white space; "True" alone reads as true, and "complete" reads as true
// when it is missing.
bool ReadInstallLogElements(XmlCursor* cursor, InstallLog* out);

#if defined(_WIN32)
class XmlDocument;

// Builds the document in |document| (created anew) and writes its bytes to
// |path|, replacing the file. The bytes go to a new file beside it first,
// which then takes its place, so a failure (also one part-way through
// writing) leaves the previous file as it was. False on any failure.
bool WriteInstallLog(XmlDocument* document, const InstallLog& log,
                     const base::FilePath& path);

// Loads |path| into |document| and reads it (see ReadInstallLogElements).
// False also when the file is missing, not XML, or larger than
// XmlDocument::kMaxFileSize.
bool ReadInstallLog(XmlDocument* document, InstallLog* out,
                    const base::FilePath& path);

// kInstallLogFileName in |folder|, or kFormerInstallLogFileName when the
// first does not exist.
base::FilePath InstallLogPathInFolder(const base::FilePath& folder);

// Reads InstallLogPathInFolder(|folder|).
bool ReadInstallLogFromFolder(XmlDocument* document, InstallLog* out,
                              const base::FilePath& folder);

// The kept logs of |install_folder|: the files of its kOldStatusFolderName
// named kInstallLogFileName + "." + a decimal number, the highest number
// (the newest) first.
std::vector<base::FilePath> FindKeptInstallLogs(
    const base::FilePath& install_folder);

// Where a log of |install_folder| is kept from now on: kOldStatusFolderName
// \ kInstallLogFileName + "." + |seconds|, or the next higher number that no
// entry takes.
base::FilePath MakeKeptInstallLogPath(const base::FilePath& install_folder,
                                      int64_t seconds);

// Whether |subfolder|, a log's installation subfolder, names one folder of
// the install folder: no separator, drive, "." or "..". The log lies in a
// folder its user may write.
bool IsPlainSubfolderName(const std::u16string& subfolder);
// Whether it does, and that folder holds |program|.
bool SubfolderHolds(const base::FilePath& install_folder,
                    const std::u16string& subfolder,
                    const std::u16string& program);
#endif

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_INSTALL_LOG_H_
