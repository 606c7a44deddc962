#include "desktop/windows/crash_reporter/test/scoped_last_reporter_crash_win.h"

#include "base/strings/string_util_win.h"
#include "desktop/windows/crash_reporter/self_crash_win.h"
#include "desktop/windows/installer/common/installer_names.h"

namespace crash_reporter {
namespace test {

ScopedLastReporterCrash::ScopedLastReporterCrash() {
  had_key_ = base::win::RegKey().Open(
                 HKEY_CURRENT_USER, installer::GetCompanyRegistryPath().c_str(),
                 KEY_QUERY_VALUE) == ERROR_SUCCESS;
  key_.Create(HKEY_CURRENT_USER, installer::GetCompanyRegistryPath().c_str(),
              KEY_QUERY_VALUE | KEY_SET_VALUE);
  DWORD size = 0;
  if (RegQueryValueExW(key_.Handle(), base::as_wcstr(kLastReporterCrashValue),
                       nullptr, &old_type_, nullptr, &size) != ERROR_SUCCESS) {
    return;
  }
  old_data_.resize(size);
  had_value_ =
      RegQueryValueExW(key_.Handle(), base::as_wcstr(kLastReporterCrashValue),
                       nullptr, &old_type_, old_data_.data(),
                       &size) == ERROR_SUCCESS;
  old_data_.resize(size);
}

ScopedLastReporterCrash::~ScopedLastReporterCrash() {
  if (had_value_)
    SetRaw(old_type_, old_data_);
  else
    Delete();
  key_.Close();
  // Only an empty key goes: RegDeleteKeyW refuses one with subkeys, and a
  // key made meanwhile by someone else holding values is left alone.
  if (!had_key_) {
    base::win::RegKey key(HKEY_CURRENT_USER,
                          installer::GetCompanyRegistryPath().c_str(),
                          KEY_QUERY_VALUE);
    DWORD values = 0;
    if (key.Valid() &&
        RegQueryInfoKeyW(key.Handle(), nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS &&
        values == 0) {
      key.Close();
      RegDeleteKeyW(HKEY_CURRENT_USER,
                    base::as_wcstr(installer::GetCompanyRegistryPath()));
    }
  }
}

void ScopedLastReporterCrash::Set(uint64_t file_time) {
  key_.WriteValue(kLastReporterCrashValue, &file_time, sizeof(file_time),
                  REG_QWORD);
}

void ScopedLastReporterCrash::SetRaw(DWORD type,
                                     const std::vector<uint8_t>& data) {
  key_.WriteValue(kLastReporterCrashValue, data.data(),
                  static_cast<DWORD>(data.size()), type);
}

void ScopedLastReporterCrash::Delete() {
  key_.DeleteValue(kLastReporterCrashValue);
}

uint64_t ScopedLastReporterCrash::Get() const {
  uint64_t value = 0;
  DWORD size = sizeof(value);
  RegQueryValueExW(key_.Handle(), base::as_wcstr(kLastReporterCrashValue),
                   nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  return value;
}

}  // namespace test
}  // namespace crash_reporter
