#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"

#include <vector>

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/access_control.h"

namespace installer {

namespace {

// DELETE | READ_CONTROL | KEY_QUERY_VALUE | KEY_SET_VALUE |
// KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY.
constexpr REGSAM kDeleteAndSaveAccess = 0x3001F;
// DELETE | KEY_READ.
constexpr uint32_t kDeleteAndReadAccess = 0x30019;
constexpr SECURITY_INFORMATION kSavedSecurityInformation =
    GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
    LABEL_SECURITY_INFORMATION;

}  // namespace

struct DeleteRegKeyOperation::SavedValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct DeleteRegKeyOperation::SavedKey {
  // Relative to the root.
  std::u16string key_path;
  // Group, DACL and label, self-relative; empty when it was not read.
  std::vector<BYTE> security_descriptor;
  std::vector<SavedValue> values;
  // The access list before it was widened for the deletion.
  std::unique_ptr<SavedSecurity> widened_access;
};

DeleteRegKeyOperation::DeleteRegKeyOperation(HKEY root,
                                             const std::u16string& key_path)
    : root_(root), key_path_(key_path) {}

DeleteRegKeyOperation::~DeleteRegKeyOperation() = default;

bool DeleteRegKeyOperation::Execute(Transaction* sub) {
  VLOG(1) << "Attempting to delete registry key " << key_path_ << " under "
          << static_cast<const void*>(root_);
  const std::u16string object_name = RegistryObjectName(root_, key_path_);
  // An empty path (an unresolved name, say) would name the root itself.
  if (key_path_.find_first_not_of(u'\\') == std::u16string::npos) {
    LOG(ERROR) << "Refusing to delete the root key " << object_name;
    return false;
  }
  base::win::RegKey key;
  const LONG result = key.Open(root_, key_path_.c_str(), KEY_QUERY_VALUE);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "Key does not exist. Nothing to do.";
    return true;
  }
  if (result != ERROR_SUCCESS && result != ERROR_ACCESS_DENIED) {
    LOG(ERROR) << "Failed to open key " << object_name;
    return false;
  }
  key.Close();
  return DeleteAndSaveRecursive(key_path_, object_name);
}

void DeleteRegKeyOperation::Rollback() {
  // Parents come before their subkeys in the list.
  for (const std::unique_ptr<SavedKey>& saved : saved_keys_) {
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = saved->security_descriptor.data();
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(
            root_, base::as_wcstr(saved->key_path), 0, nullptr,
            REG_OPTION_NON_VOLATILE, kDeleteAndSaveAccess,
            saved->security_descriptor.empty() ? nullptr : &attributes, &key,
            &disposition) == ERROR_SUCCESS) {
      // A key that exists again keeps what it has.
      if (disposition == REG_CREATED_NEW_KEY) {
        if (!saved->security_descriptor.empty())
          WriteSavedDacl(saved->key_path, saved->security_descriptor);
        for (const SavedValue& value : saved->values) {
          RegSetValueExW(key, base::as_wcstr(value.name), 0, value.type,
                         value.data.data(),
                         static_cast<DWORD>(value.data.size()));
        }
      }
      RegCloseKey(key);
    }
    if (saved->widened_access) RestoreSavedSecurity(&saved->widened_access);
  }
}

void DeleteRegKeyOperation::WriteSavedDacl(
    const std::u16string& key_path, const std::vector<BYTE>& descriptor) const {
  base::win::RegKey key;
  if (key.Open(root_, key_path.c_str(), WRITE_DAC) == ERROR_SUCCESS) {
    // The call only reads the descriptor.
    RegSetKeySecurity(key.Handle(), DACL_SECURITY_INFORMATION,
                      const_cast<BYTE*>(descriptor.data()));
  }
}

bool DeleteRegKeyOperation::DeleteAndSaveRecursive(
    const std::u16string& key_path, const std::u16string& object_name) {
  VLOG(1) << "DeleteAndSaveRecursive : " << key_path;
  // Listed before anything can fail, so that the rollback restores a grant
  // made below; a record of a key that still exists changes nothing else.
  saved_keys_.push_back(std::make_unique<SavedKey>());
  SavedKey& saved = *saved_keys_.back();
  saved.key_path = key_path;

  base::win::RegKey key;
  LONG result = key.Open(root_, key_path.c_str(), kDeleteAndSaveAccess);
  if (result != ERROR_SUCCESS ||
      !CanCurrentUserAccess(object_name, SE_REGISTRY_KEY,
                            kDeleteAndReadAccess)) {
    if (result != ERROR_SUCCESS && result != ERROR_ACCESS_DENIED) {
      LOG(ERROR) << "Failed to open key " << object_name;
      return false;
    }
    VLOG(1) << "Insufficient permissions on the key";
    if (!GrantCurrentUserAccess(object_name, SE_REGISTRY_KEY,
                                kDeleteAndSaveAccess, kKeepPreviousAccess,
                                &saved.widened_access)) {
      LOG(ERROR) << "Unable to obtain sufficient permissions on key"
                 << object_name;
      return false;
    }
    if (key.Open(root_, key_path.c_str(), kDeleteAndSaveAccess) !=
        ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to open key " << object_name;
      return false;
    }
  }
  if (!SaveSecurityDescriptor(key.Handle(), object_name, &saved)) return false;

  DWORD max_subkey_name = 0;
  DWORD value_count = 0;
  DWORD max_value_name = 0;
  DWORD max_value_size = 0;
  if (RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, nullptr,
                       &max_subkey_name, nullptr, &value_count, &max_value_name,
                       &max_value_size, nullptr, nullptr) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to obtain key info for " << object_name;
    return false;
  }
  VLOG(1) << value_count << " values";
  if (!SaveValues(key.Handle(), value_count, max_value_name, max_value_size,
                  &saved)) {
    return false;
  }

  // Each subkey is gone once processed, so the next one is always at 0.
  std::vector<wchar_t> name(max_subkey_name + 1);
  for (;;) {
    DWORD name_size = static_cast<DWORD>(name.size());
    result = RegEnumKeyExW(key.Handle(), 0, name.data(), &name_size, nullptr,
                           nullptr, nullptr, nullptr);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to read a subkey";
      return false;
    }
    const std::u16string subkey(base::as_u16cstr(name.data()), name_size);
    if (!DeleteAndSaveRecursive(key_path + u"\\" + subkey,
                                object_name + u"\\" + subkey)) {
      return false;
    }
  }
  key.Close();
  // A key left in place would be found again at index 0 by the caller.
  if (RegDeleteKeyW(root_, base::as_wcstr(key_path)) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to delete key " << object_name;
    return false;
  }
  return true;
}

bool DeleteRegKeyOperation::SaveSecurityDescriptor(
    HKEY key, const std::u16string& object_name, SavedKey* saved) {
  DWORD size = 0;
  LONG result =
      RegGetKeySecurity(key, kSavedSecurityInformation, nullptr, &size);
  if (result != ERROR_SUCCESS && result != ERROR_INSUFFICIENT_BUFFER) {
    LOG(ERROR) << "Failed to obtain security descriptor for " << object_name;
    return false;
  }
  std::vector<BYTE> descriptor(size);
  result = RegGetKeySecurity(key, kSavedSecurityInformation, descriptor.data(),
                             &size);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to obtain security descriptor for " << object_name
               << "(but we succeeded earlier)";
    return false;
  }
  saved->security_descriptor = std::move(descriptor);
  return true;
}

bool DeleteRegKeyOperation::SaveValues(HKEY key, DWORD value_count,
                                       DWORD max_name_length,
                                       DWORD max_data_size, SavedKey* saved) {
  std::vector<wchar_t> name(max_name_length + 1);
  std::vector<BYTE> data(max_data_size);
  for (DWORD index = 0; index < value_count; ++index) {
    DWORD name_size = static_cast<DWORD>(name.size());
    DWORD data_size = static_cast<DWORD>(data.size());
    SavedValue value;
    if (RegEnumValueW(key, index, name.data(), &name_size, nullptr, &value.type,
                      data.data(), &data_size) != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to obtain value nr " << index;
      return false;
    }
    value.name.assign(base::as_u16cstr(name.data()), name_size);
    value.data.assign(data.begin(), data.begin() + data_size);
    saved->values.push_back(std::move(value));
  }
  return true;
}

}  // namespace installer
