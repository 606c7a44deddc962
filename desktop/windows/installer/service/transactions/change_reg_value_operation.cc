#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

namespace installer {

namespace {

constexpr REGSAM kQueryAndSetAccess = KEY_QUERY_VALUE | KEY_SET_VALUE;

std::vector<BYTE> CopyData(const void* data, DWORD size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  return size ? std::vector<BYTE>(bytes, bytes + size) : std::vector<BYTE>();
}

}  // namespace

ChangeRegValueOperation::ChangeRegValueOperation(
    HKEY root, const std::u16string& key_path, const std::u16string& value_name,
    const void* data, DWORD type, DWORD size)
    : root_(root),
      key_path_(key_path),
      value_name_(value_name),
      new_type_(type),
      new_data_(CopyData(data, size)) {}

ChangeRegValueOperation::~ChangeRegValueOperation() {
  if (saved_security_) RestoreSavedSecurity(&saved_security_);
}

bool ChangeRegValueOperation::Execute(Transaction* sub) {
  VLOG(1) << "Attempting to change registry value at "
          << static_cast<const void*>(root_) << ": " << key_path_ << " - "
          << value_name_ << ". New Type:" << new_type_;
  LONG result = key_.Open(root_, key_path_.c_str(), kQueryAndSetAccess);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "Key does not exist,";
    if (new_type_ == kNoValue) {
      VLOG(1) << "but we are trying to remove the value, nothing to do.";
      return true;
    }
    VLOG(1) << "try to create it.";
    if (!Transaction::RunOperation(
            sub, std::make_unique<CreateRegKeyOperation>(key_path_, root_))) {
      return false;
    }
    result = key_.Open(root_, key_path_.c_str(), kQueryAndSetAccess);
  }
  const std::u16string object_name = RegistryObjectName(root_, key_path_);
  if (!OpenWithAccess(result, object_name) || !SaveOldValue(object_name))
    return false;

  const wchar_t* name = base::as_wcstr(value_name_);
  if (new_type_ != kNoValue) {
    if (RegSetValueExW(key_.Handle(), name, 0, new_type_, new_data_.data(),
                       static_cast<DWORD>(new_data_.size())) != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed writing " << value_name_ << " to " << object_name;
      return false;
    }
  } else {
    if (old_type_ == kNoValue) {
      VLOG(1) << "We are supposed to remove the value. Nothing to do.";
      return true;
    }
    if (RegDeleteValueW(key_.Handle(), name) != ERROR_SUCCESS) {
      LOG(ERROR) << "Failed to remove " << value_name_ << " from "
                 << object_name;
      return false;
    }
  }
  VLOG(1) << "Value changed successfully.";
  changed_ = true;
  return true;
}

void ChangeRegValueOperation::Rollback() {
  if (!changed_) return;
  const wchar_t* name = base::as_wcstr(value_name_);
  if (old_type_ == kNoValue) {
    RegDeleteValueW(key_.Handle(), name);
  } else {
    RegSetValueExW(key_.Handle(), name, 0, old_type_, old_data_.data(),
                   static_cast<DWORD>(old_data_.size()));
  }
}

bool ChangeRegValueOperation::OpenWithAccess(
    LONG result, const std::u16string& object_name) {
  if (result == ERROR_SUCCESS &&
      CanCurrentUserAccess(object_name, SE_REGISTRY_KEY, kQueryAndSetAccess)) {
    return true;
  }
  if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED) {
    VLOG(1) << "We don't have enough permissions on the key.";
    if (saved_security_ || !GrantCurrentUserAccess(
                               object_name, SE_REGISTRY_KEY, kQueryAndSetAccess,
                               kKeepPreviousAccess, &saved_security_)) {
      LOG(ERROR) << "Failed to obtain sufficient permissions on "
                 << object_name;
      return false;
    }
    result = key_.Open(root_, key_path_.c_str(), kQueryAndSetAccess);
    if (result == ERROR_SUCCESS) return true;
  }
  LOG(ERROR) << "Failed to open " << object_name;
  return false;
}

bool ChangeRegValueOperation::SaveOldValue(const std::u16string& object_name) {
  const wchar_t* name = base::as_wcstr(value_name_);
  DWORD size = 0;
  LONG result =
      RegQueryValueExW(key_.Handle(), name, nullptr, nullptr, nullptr, &size);
  if (result == ERROR_FILE_NOT_FOUND) {
    VLOG(1) << "The value doesn't already exist.";
    old_type_ = kNoValue;
    return true;
  }
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read " << value_name_ << " from " << object_name;
    return false;
  }
  old_data_.resize(size);
  DWORD type = REG_NONE;
  result = RegQueryValueExW(key_.Handle(), name, nullptr, &type,
                            old_data_.data(), &size);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed to read " << value_name_ << " from " << object_name
               << " (but we succeeded before).";
    return false;
  }
  old_data_.resize(size);
  old_type_ = type;
  VLOG(1) << "Value read successfully.";
  return true;
}

}  // namespace installer
