#include "desktop/windows/installer/service/own_registry_rows_win.h"

#include <utility>

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/registry_entry_tables_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// The shallowest key that a clean-up may delete: "Software\Classes\x".
constexpr int kMinDeletedKeyLevels = 3;

constexpr char16_t kUninstallPlaceholder[] = u"{Uninstall}";
constexpr char16_t kInstallFolderPlaceholder[] = u"{InstallFolder}";

bool SameName(const std::u16string& a, const std::u16string& b) {
  return base::FilePath::CompareIgnoreCase(a, b) == 0;
}

// |text| with each run of path separators as one backslash, a leading pair
// ("\\server") aside. An installation whose folder was given with trailing
// separators wrote them into its values, before the one each name adds.
std::u16string OneSeparatorEach(const std::u16string& text) {
  std::u16string single;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool separator = base::FilePath::IsSeparator(text[i]);
    if (separator && i > 1 && base::FilePath::IsSeparator(text[i - 1]))
      continue;
    single.push_back(separator && i > 1 ? u'\\' : text[i]);
  }
  return single;
}

// Value names and texts that may name a path in the install folder.
bool SamePathText(const std::u16string& a, const std::u16string& b) {
  return SameName(OneSeparatorEach(a), OneSeparatorEach(b));
}

// The product's own placeholders for one spelling of the install folder.
class InstallationPlaceholders : public RegistryEntry::Delegate {
 public:
  explicit InstallationPlaceholders(const std::u16string& install_folder)
      : install_folder_(install_folder) {}

  std::u16string ResolvePlaceholder(const std::u16string& name) override {
    if (name == u"InstallFolder") return install_folder_;
    if (name == u"Product")
      return base::UTF8ToUTF16(VersionInfo::GetProductName());
    if (name == u"Stream") return base::UTF8ToUTF16(VersionInfo::GetStream());
    if (name == u"Executable")
      return base::UTF8ToUTF16(GetBrowserExecutableName());
    return name;
  }
  InstallLogRegistry* GetInstallLogRegistry(HKEY root) override {
    return nullptr;
  }

 private:
  const std::u16string install_folder_;
};

// |folder| as GetLongPathNameW or GetShortPathNameW gives it; empty when
// that fails.
std::u16string OtherForm(const base::FilePath& folder, bool long_form) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length =
      long_form
          ? GetLongPathNameW(base::as_wcstr(folder.value()), buffer, MAX_PATH)
          : GetShortPathNameW(base::as_wcstr(folder.value()), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::u16string();
  return std::u16string(base::as_u16cstr(buffer), length);
}

}  // namespace

OwnRegistryRows::OwnRegistryRows(
    std::span<const RegistryEntryTemplate> rows,
    std::span<RegistryEntry::Delegate* const> placeholders,
    const std::u16string& uninstall_key_prefix)
    : uninstall_key_prefix_(uninstall_key_prefix) {
  for (RegistryEntry::Delegate* delegate : placeholders) {
    install_folders_.push_back(
        base::FilePath(delegate->ResolvePlaceholder(u"InstallFolder"))
            .StripTrailingSeparators()
            .value());
  }
  for (const RegistryEntryTemplate& row : rows) {
    for (RegistryEntry::Delegate* delegate : placeholders) {
      RegistryEntry entry(row, delegate);
      const bool uninstall =
          row.key && std::u16string(row.key) == kUninstallPlaceholder;
      const bool names_folder =
          uninstall && row.type == REG_SZ && row.data.text &&
          std::u16string(row.data.text).find(kInstallFolderPlaceholder) !=
              std::u16string::npos;
      rows_.push_back(
          {row.root,
           uninstall ? std::u16string() : entry.ExpandPlaceholders(row.key),
           entry.ExpandPlaceholders(row.value_name),
           static_cast<int>(row.clean_depth),
           names_folder ? entry.ExpandPlaceholders(row.data.text)
                        : std::u16string()});
    }
  }
}

OwnRegistryRows::~OwnRegistryRows() = default;

// static
OwnRegistryRows OwnRegistryRows::ForInstallation(
    const base::FilePath& install_folder,
    const std::u16string& recorded_folder) {
  // The row that names the folder was written with the folder as the
  // installation had it, which may be spelled otherwise now.
  const base::FilePath folder = install_folder.StripTrailingSeparators();
  std::vector<std::u16string> spellings = {folder.value()};
  auto add = [&spellings](const std::u16string& other) {
    for (const std::u16string& spelling : spellings) {
      if (other.empty() || SameName(other, spelling)) return;
    }
    spellings.push_back(other);
  };
  add(OtherForm(folder, true));
  add(OtherForm(folder, false));
  add(base::FilePath(recorded_folder).StripTrailingSeparators().value());
  std::vector<InstallationPlaceholders> resolvers(spellings.begin(),
                                                  spellings.end());
  std::vector<RegistryEntry::Delegate*> delegates;
  for (InstallationPlaceholders& resolver : resolvers)
    delegates.push_back(&resolver);
  std::vector<RegistryEntryTemplate> rows(GetMainRegistryTable().begin(),
                                          GetMainRegistryTable().end());
  rows.push_back(kHideFromProgramsRegOp);
  return OwnRegistryRows(rows, delegates,
                         kUninstallKeysPath +
                             base::UTF8ToUTF16(VersionInfo::GetProductName()) +
                             u" ");
}

bool OwnRegistryRows::IsRowKey(const Row& row, HKEY root,
                               const std::u16string& path) const {
  if (!row.key.empty()) return SameName(row.key, path);
  return IsOwnUninstallKey(root, path);
}

bool OwnRegistryRows::IsOwnUninstallKey(HKEY root,
                                        const std::u16string& path) const {
  const size_t prefix = uninstall_key_prefix_.size();
  if (path.size() <= prefix ||
      !SameName(path.substr(0, prefix), uninstall_key_prefix_)) {
    return false;
  }
  for (size_t i = prefix; i < path.size(); ++i) {
    if (!(path[i] >= u'0' && path[i] <= u'9') && path[i] != u'.') return false;
  }
  // Every installation names its entry after its version; the record's
  // version does not tell which is this one's (an update's record lists
  // the previous version's entry until that goes), the entry's folder does.
  base::win::RegKey key;
  const LONG opened = key.Open(root, path.c_str(), KEY_QUERY_VALUE);
  if (opened == ERROR_FILE_NOT_FOUND) return true;
  if (opened != ERROR_SUCCESS) return false;
  std::u16string location;
  const LONG read = key.ReadValue(u"InstallLocation", &location);
  if (read == ERROR_SUCCESS) {
    location = base::FilePath(location).StripTrailingSeparators().value();
    for (const std::u16string& folder : install_folders_) {
      if (!folder.empty() && SameName(folder, location)) return true;
    }
    return false;
  }
  // An entry whose writing was cut short before its location (which came
  // fifth before it came first): this installation's while no value it has
  // names another folder.
  return read == ERROR_FILE_NOT_FOUND && NamesNoOtherFolder(key);
}

bool OwnRegistryRows::NamesNoOtherFolder(const base::win::RegKey& key) const {
  for (const Row& row : rows_) {
    if (row.folder_data.empty()) continue;
    std::u16string text;
    const LONG read = key.ReadValue(row.value_name.c_str(), &text);
    if (read == ERROR_FILE_NOT_FOUND) continue;
    if (read != ERROR_SUCCESS) return false;
    bool own = false;
    for (const Row& other : rows_) {
      own |= SameName(other.value_name, row.value_name) &&
             !other.folder_data.empty() &&
             SamePathText(other.folder_data, text);
    }
    if (!own) return false;
  }
  return true;
}

bool OwnRegistryRows::DeletesKey(const Row& row, HKEY root,
                                 const std::u16string& target) const {
  if (row.clean_depth <= 0) return false;
  if (!row.key.empty()) {
    const std::u16string deleted = KeyToDelete(row.key, row.clean_depth - 1);
    return !deleted.empty() && SameName(deleted, target);
  }
  // The uninstall key itself, or a fixed key above it.
  if (row.clean_depth == 1) return IsOwnUninstallKey(root, target);
  const std::u16string above = KeyToDelete(
      uninstall_key_prefix_.substr(0, uninstall_key_prefix_.rfind(u'\\')),
      row.clean_depth - 2);
  return !above.empty() && SameName(above, target);
}

std::string OwnRegistryRows::DescribeForeign(HKEY root,
                                             const InstallLogKey& key) const {
  const std::u16string path = base::UTF8ToUTF16(key.path);
  const std::string named =
      "the registry key " + RegistryRootName(root) + "\\" + key.path;
  auto applies = [root](const Row& row) {
    return !row.root || row.root == root;
  };
  if (key.clean_depth > 0) {
    const std::u16string target = KeyToDelete(path, key.clean_depth - 1);
    for (const Row& row : rows_) {
      if (applies(row) && !target.empty() && DeletesKey(row, root, target))
        return std::string();
    }
    return named;
  }
  for (const InstallLogValue& value : key.values) {
    const std::u16string name = base::UTF8ToUTF16(value.name);
    bool own = false;
    for (const Row& row : rows_) {
      if (applies(row) && IsRowKey(row, root, path) &&
          SamePathText(row.value_name, name)) {
        own = true;
        break;
      }
    }
    if (!own) return "the value " + value.name + " of " + named;
  }
  return std::string();
}

std::string OwnRegistryRows::FindForeign(const InstallLog& log) const {
  const std::pair<HKEY, const InstallLogRegistry*> sections[] = {
      {HKEY_CURRENT_USER, &log.hkcu_keys},
      {HKEY_LOCAL_MACHINE, &log.hklm_keys}};
  for (const auto& [root, section] : sections) {
    for (const InstallLogKey& key : *section) {
      std::string foreign = DescribeForeign(root, key);
      if (!foreign.empty()) return foreign;
    }
  }
  return std::string();
}

std::string RefusedRecordText(const base::FilePath& record,
                              const std::string& foreign) {
  return "Refusing the installation status file " + record.AsUTF8() +
         ": it names " + foreign +
         ", which the installer's own registry entries do not write";
}

std::string RegistryRootName(HKEY root) {
  if (root == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  if (root == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  return std::to_string(reinterpret_cast<uintptr_t>(root));
}

std::u16string KeyToDelete(std::u16string path, int levels) {
  for (int i = 0; i < levels; ++i) {
    const size_t separator = path.rfind(u'\\');
    if (separator == std::u16string::npos) return std::u16string();
    path.resize(separator);
  }
  int components = path.empty() ? 0 : 1;
  for (char16_t c : path) components += c == u'\\';
  return components < kMinDeletedKeyLevels ? std::u16string() : path;
}

}  // namespace installer
