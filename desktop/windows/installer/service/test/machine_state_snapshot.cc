#include "desktop/windows/installer/service/test/machine_state_snapshot.h"

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"

namespace installer {
namespace test {

namespace {

void SnapshotKey(HKEY root, const std::u16string& path,
                 const std::string& relative, RegistrySnapshot* snapshot) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, base::as_wcstr(path), 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  RegistryKeyValues& values = (*snapshot)[relative];
  DWORD max_subkey = 0, value_count = 0, max_name = 0, max_data = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, &max_subkey,
                   nullptr, &value_count, &max_name, &max_data, nullptr,
                   nullptr);
  std::vector<wchar_t> name(max_name + 1);
  std::vector<BYTE> data(max_data + 1);
  for (DWORD i = 0; i < value_count; ++i) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    RegistryValue value;
    if (RegEnumValueW(key, i, name.data(), &name_size, nullptr, &value.type,
                      data.data(), &data_size) != ERROR_SUCCESS) {
      continue;
    }
    value.data.assign(data.begin(), data.begin() + data_size);
    values[base::UTF16ToUTF8(std::u16string(base::as_u16cstr(name.data()),
                                            name_size))] = std::move(value);
  }
  std::vector<std::u16string> subkeys;
  std::vector<wchar_t> subkey(max_subkey + 1);
  for (DWORD i = 0;; ++i) {
    DWORD size = static_cast<DWORD>(subkey.size());
    if (RegEnumKeyExW(key, i, subkey.data(), &size, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      break;
    }
    subkeys.emplace_back(base::as_u16cstr(subkey.data()), size);
  }
  RegCloseKey(key);
  for (const std::u16string& child : subkeys) {
    const std::string child_relative =
        (relative.empty() ? "" : relative + "\\") + base::UTF16ToUTF8(child);
    SnapshotKey(root, path + u"\\" + child, child_relative, snapshot);
  }
}

}  // namespace

FileTreeSnapshot TakeFileTreeSnapshot(const base::FilePath& root) {
  FileTreeSnapshot snapshot;
  base::FileEnumerator entries(
      root, true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = entries.Next(); !path.empty();
       path = entries.Next()) {
    base::FilePath relative;
    root.AppendRelativePath(path, &relative);
    FileEntry entry;
    // As listed: also for names beyond MAX_PATH.
    entry.attributes = entries.GetInfo().dwFileAttributes;
    entry.is_directory = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!entry.is_directory)
      base::FileUtil::ReadFileToString(path, &entry.contents);
    snapshot[relative.AsUTF8()] = std::move(entry);
  }
  return snapshot;
}

std::vector<std::string> FindEntriesEndingWith(const FileTreeSnapshot& snapshot,
                                               const std::string& suffix) {
  std::vector<std::string> found;
  for (const auto& [name, entry] : snapshot) {
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      found.push_back(name);
    }
  }
  return found;
}

RegistrySnapshot TakeRegistrySnapshot(HKEY root, const std::u16string& path) {
  RegistrySnapshot snapshot;
  SnapshotKey(root, path, std::string(), &snapshot);
  return snapshot;
}

bool WriteFileContents(const base::FilePath& path,
                       const std::string& contents) {
  const int size = static_cast<int>(contents.size());
  return base::WriteBufferToFile(path, contents.data(), size) == size;
}

std::string ReadFileContents(const base::FilePath& path) {
  std::string contents;
  base::FileUtil::ReadFileToString(path, &contents);
  return contents;
}

std::vector<BYTE> RegistryText(const std::u16string& text) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
  return std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(char16_t));
}

void PrintTo(const FileEntry& entry, std::ostream* out) {
  *out << (entry.is_directory ? "folder" : "file") << " attributes 0x"
       << std::hex << entry.attributes << std::dec;
  if (!entry.is_directory) *out << " \"" << entry.contents << "\"";
}

void PrintTo(const RegistryValue& value, std::ostream* out) {
  *out << "type " << value.type << " data "
       << base::HexEncode(value.data.data(), value.data.size());
}

}  // namespace test
}  // namespace installer
