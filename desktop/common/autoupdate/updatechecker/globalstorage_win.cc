#include "desktop/common/autoupdate/updatechecker/globalstorage_win.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/values.h"
#include "desktop/common/autoupdate/updatechecker/globalstorage_fallback_file.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/service/installation_info.h"

namespace autoupdate {

namespace {

constexpr char kLogPrefix[] = "[AU] GS: ";

std::u16string CompanyKey() { return installer::GetCompanyRegistryPath(); }

// |text| from the ANSI code page, as the ANSI registry functions read it.
std::u16string AnsiToWide(const std::string& text) {
  if (text.empty()) return std::u16string();
  const int size = MultiByteToWideChar(
      CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string wide(static_cast<size_t>(std::max(size, 0)), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                      base::as_writable_wcstr(wide), size);
  return wide;
}

LONG OpenCompanyKeyForReadWrite() {
  HKEY key = nullptr;
  const LONG result =
      RegOpenKeyExW(HKEY_CURRENT_USER, base::as_wcstr(CompanyKey()), 0,
                    KEY_READ | KEY_WRITE, &key);
  if (result == ERROR_SUCCESS) RegCloseKey(key);
  return result;
}

GlobalStorageWin::Environment RealEnvironment() {
  return {
      [] { return installer::InstallationInfo::GetInstance()->IsCopyOnly(); },
      &OpenCompanyKeyForReadWrite};
}

// Releases the storage's mutex when it goes out of scope.
class ScopedMutexRelease {
 public:
  explicit ScopedMutexRelease(HANDLE mutex) : mutex_(mutex) {}
  ScopedMutexRelease(const ScopedMutexRelease&) = delete;
  ScopedMutexRelease& operator=(const ScopedMutexRelease&) = delete;
  ~ScopedMutexRelease() { ReleaseMutex(mutex_); }

 private:
  const HANDLE mutex_;
};

}  // namespace

// static
GlobalStorageWin* GlobalStorageWin::GetInstance() {
  static GlobalStorageWin instance;
  instance.CheckRegistryUsable();
  return &instance;
}

GlobalStorageWin::GlobalStorageWin() : GlobalStorageWin(RealEnvironment()) {}

GlobalStorageWin::GlobalStorageWin(Environment environment)
    : environment_(std::move(environment)) {}

GlobalStorageWin::~GlobalStorageWin() = default;

void GlobalStorageWin::CheckRegistryUsable() {
  if (registry_decided_) return;
  registry_decided_ = true;
  // A key that does not exist yet is created by the first write.
  use_fallback_ = environment_.is_copy_only() ||
                  environment_.open_company_key() == ERROR_ACCESS_DENIED;
}

GlobalStorageStatus GlobalStorageWin::EnsureMutex() {
  if (!mutex_.IsValid()) {
    HANDLE mutex =
        CreateMutexW(nullptr, FALSE, base::as_wcstr(kGlobalStorageMutexName));
    if (!mutex && GetLastError() == ERROR_ACCESS_DENIED) {
      mutex = OpenMutexW(SYNCHRONIZE, FALSE,
                         base::as_wcstr(kGlobalStorageMutexName));
    }
    mutex_.Set(mutex);
  }
  return mutex_.IsValid() ? kGlobalStorageDone : kGlobalStorageFailed;
}

bool GlobalStorageWin::TakeMutex() {
  // An abandoned mutex is ours as well: its owner is gone.
  return WaitForSingleObject(mutex_.Get(), 0) != WAIT_TIMEOUT;
}

void GlobalStorageWin::SetFallbackDirectory(const base::FilePath& folder) {
  fallback_path_ = folder.Append(kGlobalStorageFileName);
  if (!base::PathExists(fallback_path_) || use_fallback_ || registry_written_)
    return;
  migrating_ = true;
  std::unique_ptr<base::DictionaryValue> values;
  {
    GlobalStorageFallbackFile file(fallback_path_);
    values = file.ReadAll();
  }
  if (values) {
    for (base::DictionaryValue::Iterator it(*values); !it.IsAtEnd();
         it.Advance()) {
      std::string value;
      if (it.value().GetAsString(&value)) Set(it.key(), value);
    }
  }
  migrating_ = false;
}

GlobalStorageStatus GlobalStorageWin::Set(const std::string& key,
                                          const std::string& value) {
  if (key.empty()) return kGlobalStorageInvalidArgument;
  if (EnsureMutex() != kGlobalStorageDone) {
    LOG(ERROR) << kLogPrefix << "Couldn't create an access mutex";
    return kGlobalStorageFailed;
  }
  if (!TakeMutex()) {
    LOG(ERROR) << kLogPrefix << "Couldn't get hold on an access mutex";
    return kGlobalStorageBusy;
  }
  ScopedMutexRelease release(mutex_.Get());

  // A fallback file left beside the registry is kept up to date too, except
  // while its own values are being copied into the registry.
  if (use_fallback_ || (!migrating_ && !fallback_path_.empty() &&
                        base::PathExists(fallback_path_))) {
    GlobalStorageStatus status = kGlobalStorageDone;
    if (fallback_path_.empty() ||
        !GlobalStorageFallbackFile(fallback_path_).WriteValue(key, value)) {
      LOG(ERROR) << kLogPrefix << "Writing to a fallback storage failed";
      status = kGlobalStorageFailed;
    }
    if (use_fallback_) return status;
  }
  return SetInRegistry(key, value);
}

GlobalStorageStatus GlobalStorageWin::SetInRegistry(const std::string& key,
                                                    const std::string& value) {
  HKEY company = nullptr;
  if (value.empty()) {
    const LONG result =
        RegOpenKeyExW(HKEY_CURRENT_USER, base::as_wcstr(CompanyKey()), 0,
                      KEY_WRITE, &company);
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) {
      // Nothing to remove.
      registry_written_ = true;
      return kGlobalStorageDone;
    }
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << kLogPrefix << "Deleting reg value failed with: "
                 << static_cast<unsigned long>(result);
      registry_written_ = false;
      return kGlobalStorageFailed;
    }
    RegDeleteValueA(company, key.c_str());
    RegCloseKey(company);
    registry_written_ = true;
    return kGlobalStorageDone;
  }

  GlobalStorageStatus status = kGlobalStorageDone;
  LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, base::as_wcstr(CompanyKey()),
                                0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                                nullptr, &company, nullptr);
  if (result != ERROR_SUCCESS) {
    LOG(ERROR) << kLogPrefix << "Creating reg key failed with: "
               << static_cast<unsigned long>(result);
    status = kGlobalStorageFailed;
  } else {
    // Stored without a terminating NUL. The registry counts a NUL it finds
    // just past the data as part of a text, so the text is converted here
    // and followed by a unit that is not one.
    const std::u16string name = AnsiToWide(key);
    std::u16string data = AnsiToWide(value);
    const DWORD size = static_cast<DWORD>(data.size() * sizeof(char16_t));
    data.push_back(u'\xFFFF');
    result = RegSetValueExW(company, base::as_wcstr(name), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.data()), size);
    if (result != ERROR_SUCCESS) {
      LOG(ERROR) << kLogPrefix << "Setting reg value failed with: "
                 << static_cast<unsigned long>(result);
      status = kGlobalStorageFailed;
    }
    RegCloseKey(company);
  }
  registry_written_ = status == kGlobalStorageDone;
  return status;
}

GlobalStorageStatus GlobalStorageWin::Get(const std::string& key,
                                          std::string* out) {
  if (!out) return kGlobalStorageInvalidArgument;
  out->clear();
  if (key.empty()) return kGlobalStorageInvalidArgument;
  if (EnsureMutex() != kGlobalStorageDone) return kGlobalStorageFailed;
  if (!TakeMutex()) return kGlobalStorageBusy;
  ScopedMutexRelease release(mutex_.Get());

  if (use_fallback_) {
    if (fallback_path_.empty()) return kGlobalStorageFailed;
    return GlobalStorageFallbackFile(fallback_path_).ReadValue(key, out)
               ? kGlobalStorageDone
               : kGlobalStorageFailed;
  }
  return GetFromRegistry(key, out);
}

GlobalStorageStatus GlobalStorageWin::GetFromRegistry(const std::string& key,
                                                      std::string* out) {
  HKEY company = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, base::as_wcstr(CompanyKey()), 0,
                    KEY_QUERY_VALUE, &company) != ERROR_SUCCESS) {
    return kGlobalStorageDone;
  }
  GlobalStorageStatus status = kGlobalStorageDone;
  DWORD size = 0;
  const LONG query =
      RegQueryValueExA(company, key.c_str(), nullptr, nullptr, nullptr, &size);
  if (query == ERROR_SUCCESS && size > 0) {
    // One more byte: the data need not end with a NUL.
    std::vector<char> buffer(size + 1, '\0');
    DWORD read = static_cast<DWORD>(buffer.size());
    if (RegQueryValueExA(company, key.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buffer.data()),
                         &read) == ERROR_SUCCESS) {
      *out = std::string(buffer.data());
    } else {
      status = kGlobalStorageFailed;
    }
  } else if (query != ERROR_SUCCESS && query != ERROR_FILE_NOT_FOUND) {
    status = kGlobalStorageFailed;
  }
  RegCloseKey(company);
  return status;
}

}  // namespace autoupdate
