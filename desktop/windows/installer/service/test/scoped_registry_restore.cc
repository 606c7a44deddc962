#include "desktop/windows/installer/service/test/scoped_registry_restore.h"

#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"

namespace installer {
namespace test {

namespace {

// Below HKEY_CURRENT_USER: a key per live object, named after its process
// (its start time and id) and its place among the process's objects, with
// an entry per guarded key: "Root" (0 the current user, 1 the machine, 2
// the classes root), "Path", "Existed" and a copy of the tree under "Tree".
constexpr char16_t kJournalRoot[] =
    u"Software\\VelnaTest\\PendingRegistryRestores";

const HKEY kRoots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                       HKEY_CLASSES_ROOT};

// "<start time>-<process id>" of |process|, in fixed widths, so that the
// names sort by the start; empty when it cannot be read.
constexpr size_t kTimeDigits = 20;
std::u16string ProcessStamp(HANDLE process) {
  FILETIME created = {}, exited = {}, kernel = {}, user = {};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return u"";
  char stamp[64];
  snprintf(stamp, sizeof(stamp), "%010lu%010lu-%010lu",
           static_cast<unsigned long>(created.dwHighDateTime),
           static_cast<unsigned long>(created.dwLowDateTime),
           static_cast<unsigned long>(GetProcessId(process)));
  return base::UTF8ToUTF16(stamp);
}

// Whether the process that wrote the journal key |name| still runs.
bool WriterRuns(const std::u16string& name) {
  if (name.size() < kTimeDigits + 11) return false;
  const DWORD id = static_cast<DWORD>(
      strtoul(base::UTF16ToUTF8(name.substr(kTimeDigits + 1, 10)).c_str(),
              nullptr, 10));
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
  if (!process) return false;
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
                    base::StartsWith16(name, ProcessStamp(process) + u"-");
  CloseHandle(process);
  return runs;
}

// Whether one of |a| and |b| lies in the other.
bool Overlap(const RegistryLocation& a, const RegistryLocation& b) {
  if (a.first != b.first) return false;
  const std::u16string x = base::ToLowerASCII(a.second) + u"\\";
  const std::u16string y = base::ToLowerASCII(b.second) + u"\\";
  return base::StartsWith16(x, y) || base::StartsWith16(y, x);
}

std::vector<std::u16string> SubkeyNames(HKEY key) {
  std::vector<std::u16string> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      break;
    }
    names.push_back(base::as_u16cstr(name));
  }
  return names;
}

// Puts back what the journal entry |entry_path| kept when it overlaps one
// of |keys|, then removes the entry; false when it does not overlap.
bool RecoverEntry(const std::u16string& entry_path,
                  const std::vector<RegistryLocation>& keys) {
  base::win::RegKey entry(HKEY_CURRENT_USER, entry_path.c_str(), KEY_READ);
  DWORD root = 0, existed = 0;
  std::u16string path;
  if (entry.ReadValueDW(u"Root", &root) != ERROR_SUCCESS || root > 2 ||
      entry.ReadValue(u"Path", &path) != ERROR_SUCCESS ||
      entry.ReadValueDW(u"Existed", &existed) != ERROR_SUCCESS) {
    // Half written: its writer died before it changed anything.
    entry.Close();
    RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(entry_path));
    return true;
  }
  const RegistryLocation kept = {kRoots[root], path};
  if (std::none_of(keys.begin(), keys.end(), [&](const RegistryLocation& key) {
        return Overlap(key, kept);
      })) {
    return false;
  }
  RegDeleteTreeW(kept.first, base::as_wcstr(path));
  if (existed) {
    base::win::RegKey tree(HKEY_CURRENT_USER, (entry_path + u"\\Tree").c_str(),
                           KEY_READ);
    base::win::RegKey target;
    if (tree.Valid() && target.Create(kept.first, path.c_str(),
                                      KEY_ALL_ACCESS) == ERROR_SUCCESS) {
      RegCopyTreeW(tree.Handle(), nullptr, target.Handle());
    }
  }
  entry.Close();
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(entry_path));
  return true;
}

// Puts back the keys among |keys| that objects of processes which ended
// before their objects did (a crash, a kill) left changed, the most recent
// first, so that the earliest state stays.
void RecoverAbandonedKeys(const std::vector<RegistryLocation>& keys) {
  base::win::RegKey journal(HKEY_CURRENT_USER, kJournalRoot, KEY_READ);
  if (!journal.Valid()) return;
  std::vector<std::u16string> writers = SubkeyNames(journal.Handle());
  std::sort(writers.rbegin(), writers.rend());
  for (const std::u16string& writer : writers) {
    if (WriterRuns(writer)) continue;
    const std::u16string writer_path =
        std::u16string(kJournalRoot) + u"\\" + writer;
    base::win::RegKey entries(HKEY_CURRENT_USER, writer_path.c_str(), KEY_READ);
    bool all = true;
    for (const std::u16string& entry : SubkeyNames(entries.Handle()))
      all &= RecoverEntry(writer_path + u"\\" + entry, keys);
    entries.Close();
    if (all) RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(writer_path));
  }
}

// Copies |location|'s tree into the entry |entry_path|; false when the
// copy is not complete.
bool WriteEntry(const std::u16string& entry_path,
                const RegistryLocation& location) {
  base::win::RegKey entry;
  if (entry.Create(HKEY_CURRENT_USER, entry_path.c_str(), KEY_ALL_ACCESS) !=
      ERROR_SUCCESS) {
    return false;
  }
  const DWORD root = static_cast<DWORD>(
      std::find(std::begin(kRoots), std::end(kRoots), location.first) -
      std::begin(kRoots));
  base::win::RegKey source(location.first, location.second.c_str(), KEY_READ);
  base::win::RegKey tree;
  if (source.Valid() &&
      (tree.Create(entry.Handle(), u"Tree", KEY_ALL_ACCESS) != ERROR_SUCCESS ||
       RegCopyTreeW(source.Handle(), nullptr, tree.Handle()) !=
           ERROR_SUCCESS)) {
    return false;
  }
  // Written last: an entry without them is one whose writer changed
  // nothing yet.
  return entry.WriteValue(u"Path", location.second.c_str()) == ERROR_SUCCESS &&
         entry.WriteValue(u"Existed", source.Valid() ? 1 : 0) ==
             ERROR_SUCCESS &&
         entry.WriteValue(u"Root", root) == ERROR_SUCCESS;
}

}  // namespace

std::string RegistryStateKey(HKEY root, const std::u16string& path) {
  const char* name = root == HKEY_LOCAL_MACHINE  ? "hklm"
                     : root == HKEY_CURRENT_USER ? "hkcu"
                     : root == HKEY_CLASSES_ROOT ? "hkcr"
                                                 : "?";
  return base::ToLowerASCII(std::string(name) + "\\" + base::UTF16ToUTF8(path));
}

bool RestoreRegistrySnapshot(HKEY root, const std::u16string& path,
                             const RegistrySnapshot& snapshot) {
  const LONG deleted = RegDeleteTreeW(root, base::as_wcstr(path));
  bool restored = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
  // Parents come before their children in the map's order.
  for (const auto& [relative, values] : snapshot) {
    const std::u16string key_path =
        relative.empty() ? path : path + u"\\" + base::UTF8ToUTF16(relative);
    base::win::RegKey key;
    if (key.Create(root, key_path.c_str(), KEY_SET_VALUE) != ERROR_SUCCESS) {
      restored = false;
      continue;
    }
    for (const auto& [name, value] : values) {
      restored &=
          key.WriteValue(base::UTF8ToUTF16(name).c_str(), value.data.data(),
                         static_cast<DWORD>(value.data.size()),
                         value.type) == ERROR_SUCCESS;
    }
  }
  return restored;
}

ScopedRegistryRestore::ScopedRegistryRestore(std::vector<RegistryLocation> keys)
    : keys_(std::move(keys)) {
  RecoverAbandonedKeys(keys_);
  // The process's objects in the order they were made.
  static int made = 0;
  char order[16];
  snprintf(order, sizeof(order), "-%06d", made++);
  journal_ = std::u16string(kJournalRoot) + u"\\" +
             ProcessStamp(GetCurrentProcess()) + base::UTF8ToUTF16(order);
  for (size_t i = 0; i < keys_.size(); ++i) {
    snapshots_.push_back(TakeRegistrySnapshot(keys_[i].first, keys_[i].second));
    WriteEntry(journal_ + u"\\" + base::UTF8ToUTF16(std::to_string(i)),
               keys_[i]);
  }
}

ScopedRegistryRestore::~ScopedRegistryRestore() {
  for (size_t i = keys_.size(); i-- > 0;)
    RestoreRegistrySnapshot(keys_[i].first, keys_[i].second, snapshots_[i]);
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(journal_));
}

RegistryState ScopedRegistryRestore::TakeState(bool values_only) const {
  RegistryState state;
  for (const auto& [root, path] : keys_) {
    for (auto& [relative, values] : TakeRegistrySnapshot(root, path)) {
      if (values_only && values.empty()) continue;
      RegistryKeyValues& lowered =
          state[RegistryStateKey(root, path) + (relative.empty() ? "" : "\\") +
                base::ToLowerASCII(relative)];
      for (auto& [name, value] : values)
        lowered[base::ToLowerASCII(name)] = std::move(value);
    }
  }
  return state;
}

}  // namespace test
}  // namespace installer
