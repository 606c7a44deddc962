#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"

#include <shlwapi.h>

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/access_control.h"

namespace installer {

namespace {

// The parent of a registry key path, cut at the last "\" only ("/" is an
// ordinary character in key names, as in "text/html"); a key directly
// below the root has the empty parent, the root itself.
std::u16string ParentKeyPath(const std::u16string& key_path) {
  const size_t last = key_path.find_last_not_of(u'\\');
  if (last == std::u16string::npos) return std::u16string();
  const size_t separator = key_path.rfind(u'\\', last);
  if (separator == std::u16string::npos) return std::u16string();
  const size_t parent_end = key_path.find_last_not_of(u'\\', separator);
  if (parent_end == std::u16string::npos) return std::u16string();
  return key_path.substr(0, parent_end + 1);
}

}  // namespace

CreateRegKeyOperation::CreateRegKeyOperation(const std::u16string& key_path,
                                             HKEY root)
    : key_path_(key_path), root_(root) {}

CreateRegKeyOperation::~CreateRegKeyOperation() {
  if (saved_security_) RestoreSavedSecurity(&saved_security_);
}

bool CreateRegKeyOperation::Execute(Transaction* sub) {
  VLOG(1) << "Attempting to create registry key " << key_path_ << " under "
          << static_cast<const void*>(root_);
  {
    base::win::RegKey key;
    if (key.Open(root_, key_path_.c_str(), KEY_QUERY_VALUE) !=
        ERROR_FILE_NOT_FOUND) {
      VLOG(1) << "The key already exists. No need to do anything.";
      return true;
    }
  }
  VLOG(1) << "Attempting to find the nearest existing ancestor.";
  std::u16string candidate(key_path_.c_str());  // Up to a NUL.
  std::u16string parent;
  LONG result = ERROR_FILE_NOT_FOUND;
  for (;;) {
    parent = ParentKeyPath(candidate);
    if (parent == candidate) {
      LOG(ERROR) << "No existing ancestor found.";
      return false;
    }
    base::win::RegKey parent_key;
    result = parent_key.Open(root_, parent.c_str(), KEY_CREATE_SUB_KEY);
    if (result == ERROR_SUCCESS || result == ERROR_ACCESS_DENIED) break;
    if (result != ERROR_FILE_NOT_FOUND) {
      LOG(ERROR) << "Existing ancestor could not be opened.";
      return false;
    }
    candidate = parent;
  }
  VLOG(1) << "Ancestor found: " << parent;
  const std::u16string object_name = RegistryObjectName(root_, parent);
  // Creating below the ancestor is what needs the right. A root key has no
  // object name of its own to check; its open said enough.
  if (result == ERROR_ACCESS_DENIED ||
      (!parent.empty() && !CanCurrentUserAccess(object_name, SE_REGISTRY_KEY,
                                                KEY_CREATE_SUB_KEY))) {
    VLOG(1) << "No access to" << object_name;
    if (!GrantCurrentUserAccess(object_name, SE_REGISTRY_KEY,
                                KEY_CREATE_SUB_KEY, kKeepPreviousAccess,
                                &saved_security_)) {
      LOG(ERROR) << "Failed obtaining permissions on " << object_name;
      return false;
    }
  }
  top_most_created_key_ = candidate;
  HKEY key = nullptr;
  if (RegCreateKeyExW(root_, base::as_wcstr(key_path_), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    LOG(ERROR) << "Failed creating key.";
    return false;
  }
  RegCloseKey(key);
  return true;
}

void CreateRegKeyOperation::Rollback() {
  if (!top_most_created_key_.empty())
    SHDeleteKeyW(root_, base::as_wcstr(top_most_created_key_));
}

}  // namespace installer
