// Snapshots of what the install operations change, for tests that must find
// the machine exactly as it was: a file tree (names, contents, attributes)
// and a registry subtree (keys, values, types, data). Both are plain maps,
// so a test can also edit one into the state it expects and compare. With
// them, small helpers that set such state up.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_MACHINE_STATE_SNAPSHOT_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_MACHINE_STATE_SNAPSHOT_H_

#include <windows.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace installer {
namespace test {

struct FileEntry {
  bool is_directory = false;
  DWORD attributes = 0;
  // Files only.
  std::string contents;

  bool operator==(const FileEntry& other) const = default;
};

// Keyed by the path relative to the snapshot's root, in UTF-8.
using FileTreeSnapshot = std::map<std::string, FileEntry>;

// Every file and folder below |root| (not |root| itself).
FileTreeSnapshot TakeFileTreeSnapshot(const base::FilePath& root);

// The entries of |snapshot| whose name ends with |suffix|.
std::vector<std::string> FindEntriesEndingWith(const FileTreeSnapshot& snapshot,
                                               const std::string& suffix);

struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;

  bool operator==(const RegistryValue& other) const = default;
};

// Values by name, in UTF-8 ("" is the default value).
using RegistryKeyValues = std::map<std::string, RegistryValue>;
// Keyed by the key path relative to the snapshot's key ("" is that key).
using RegistrySnapshot = std::map<std::string, RegistryKeyValues>;

// The key |path| under |root| and everything below it; empty when the key
// does not exist.
RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::u16string& path);

// Writes |contents| as the whole file; true when all of it was written.
bool WriteFileContents(const base::FilePath& path, const std::string& contents);
// The file's contents; empty when it cannot be read.
std::string ReadFileContents(const base::FilePath& path);
// The data of a text value: the UTF-16 text and its NUL, as bytes.
std::vector<BYTE> RegistryText(const std::u16string& text);

// For test failure messages.
void PrintTo(const FileEntry& entry, std::ostream* out);
void PrintTo(const RegistryValue& value, std::ostream* out);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_MACHINE_STATE_SNAPSHOT_H_
