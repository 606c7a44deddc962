#include "desktop/windows/installer/service/registry_entry_win.h"

#include <string.h>

#include <limits>

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/placeholder_expansion.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

namespace installer {

RegistryEntry::RegistryEntry(const RegistryEntryTemplate& row,
                             Delegate* delegate)
    : row_(row), delegate_(delegate) {}

RegistryEntry::~RegistryEntry() = default;

// static
bool RegistryEntry::Applies(const RegistryEntryTemplate& row, HKEY root,
                            int windows_version, int release_channel) {
  return windows_version >= row.min_os_version &&
         (!row.root || row.root == root) && row.min_channel <= release_channel;
}

bool RegistryEntry::Apply(HKEY root, std::unique_ptr<Operation>* out) {
  out->reset();
  if (!Applies(row_, root, base::win::GetWindowsVersion(),
               VersionInfo::GetReleaseChannel()))
    return true;

  if (row_.type == kRegTypeDeleteKey) {
    *out = std::make_unique<DeleteRegKeyOperation>(
        root, ExpandPlaceholders(row_.key));
    return true;
  }

  uint32_t dword = 0;
  std::u16string text;
  const void* data = nullptr;
  uint32_t size = 0;
  switch (row_.type) {
    case REG_DWORD:
      CHECK(row_.data.number <= std::numeric_limits<uint32_t>::max());
      dword = static_cast<uint32_t>(row_.data.number);
      data = &dword;
      size = sizeof(dword);
      break;
    case REG_BINARY: {
      size_t length = row_.data.bytes ? strlen(row_.data.bytes) : 0;
      CHECK(length <= std::numeric_limits<uint32_t>::max());
      data = row_.data.bytes;
      size = static_cast<uint32_t>(length);
      break;
    }
    case REG_SZ:
    case REG_EXPAND_SZ:
      text = ExpandPlaceholders(row_.data.text);
      data = text.c_str();
      // The terminator is written too; an empty text is written as a value
      // of no bytes at all.
      CHECK(text.size() < std::numeric_limits<uint32_t>::max() / 2);
      size = text.empty()
                 ? 0
                 : static_cast<uint32_t>((text.size() + 1) * sizeof(char16_t));
      break;
    case REG_NONE:
    case kRegTypeRemoveValue:
      break;
    default:
      return false;
  }

  std::u16string key = ExpandPlaceholders(row_.key);
  std::u16string name = ExpandPlaceholders(row_.value_name);
  InstallLogRegistry* section = delegate_->GetInstallLogRegistry(root);
  *out = std::make_unique<ChangeRegValueOperation>(root, key, name, data,
                                                   row_.type, size);
  // Recorded before the operation runs, so that a log written after a
  // failure part-way still names everything that may have been written.
  if (section) {
    AddRegistryValue(section, key, name, data, row_.type, size,
                     static_cast<int>(row_.clean_depth));
  }
  return true;
}

std::u16string RegistryEntry::ExpandPlaceholders(const char16_t* text) {
  if (!text) return std::u16string();
  return installer::ExpandPlaceholders(
      text, [this](const std::u16string& name) {
        return delegate_->ResolvePlaceholder(name);
      });
}

bool CleanUpInstallLogRegistry(HKEY root, const InstallLogRegistry& section,
                               const OwnRegistryRows& own,
                               Transaction* transaction) {
  bool succeeded = true;
  for (const InstallLogKey& key : section) {
    VLOG(1) << "Cleanup for key " << key.path << " with depth "
            << key.clean_depth;
    const std::string foreign = own.DescribeForeign(root, key);
    if (!foreign.empty()) {
      LOG(ERROR) << "Refusing to change " << foreign
                 << ": the installer's own registry entries do not write it";
      succeeded = false;
      continue;
    }
    std::u16string path = base::UTF8ToUTF16(key.path);
    if (key.clean_depth > 0) {
      succeeded &= Transaction::RunOperation(
          transaction, std::make_unique<DeleteRegKeyOperation>(
                           root, KeyToDelete(path, key.clean_depth - 1)));
      continue;
    }
    for (const InstallLogValue& value : key.values) {
      succeeded &= Transaction::RunOperation(
          transaction, std::make_unique<ChangeRegValueOperation>(
                           root, path, base::UTF8ToUTF16(value.name), nullptr,
                           kRegTypeRemoveValue, 0));
    }
  }
  return succeeded;
}

}  // namespace installer
