#include "desktop/windows/crash_reporter/crash_key_table_win.h"

#include <windows.h>

#include <string>

#include "base/strings/string_number_conversions.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "desktop/windows/crash_reporter/exception_policy_win.h"
#include "desktop/windows/installer/common/version_info.h"

namespace crash_reporter {

namespace {

constexpr size_t kBlockSize = kCrashKeyCount * sizeof(CrashKeyEntry);
static_assert(kBlockSize == 25600);

base::LeakyLazyInstance<CrashKeyTable> g_crash_key_table;

std::u16string Wow64Value() {
  switch (base::win::OSInfo::GetInstance()->wow64_status()) {
    case base::win::kWow64Enabled:
      return u"1";
    case base::win::kWow64Disabled:
      return u"0";
    case base::win::kWow64Unknown:
      break;
  }
  return std::u16string();
}

std::u16string ExceptionPolicyValue() {
  ExceptionPolicyFunctions functions = GetExceptionPolicyFunctions();
  DWORD flags = 0;
  if (!functions.get_policy || !functions.get_policy(&flags))
    return std::u16string();
  return base::ASCIIToUTF16(
      base::StringPrintf("0x%04x", static_cast<unsigned>(flags)));
}

bool Protect(void* block, DWORD protection) {
  DWORD previous = 0;
  return VirtualProtect(block, kBlockSize, protection, &previous) != FALSE;
}

}  // namespace

CrashKeyTable::CrashKeyTable() {
  block_ = static_cast<CrashKeyEntry*>(
      VirtualAlloc(nullptr, kBlockSize, MEM_COMMIT, PAGE_READWRITE));
  if (!block_) return;
  // Fresh pages are zero, so every key starts empty.
  WriteCrashKeyLayout(block_);
  using installer::VersionInfo;
  const struct {
    size_t slot;
    std::u16string value;
  } build_values[] = {
      {kVersionSlot, base::UTF8ToUTF16(VersionInfo::GetProductVersion())},
      {kBuildSlot, base::IntToString16(VersionInfo::GetBuildNumber())},
      {kBuildSetSlot, base::IntToString16(VersionInfo::GetBuildSetNumber())},
      {kBuildRequestTimeSlot,
       base::UTF8ToUTF16(VersionInfo::GetBuildTimestamp())},
      {kIsWow64Slot, Wow64Value()},
      {kExceptionPolicySlot, ExceptionPolicyValue()},
  };
  for (const auto& [slot, value] : build_values)
    SetCrashKeyValue(&block_[slot], value.c_str());
  Protect(block_, PAGE_READONLY);
}

// static
CrashKeyTable* CrashKeyTable::GetInstance() {
  return g_crash_key_table.Pointer();
}

CrashKeyEntries CrashKeyTable::GetEntries() const {
  if (!block_) return CrashKeyEntries();
  return CrashKeyEntries{block_, kCrashKeyCount};
}

template <typename Write>
void CrashKeyTable::WriteUnprotected(Write write) {
  if (!block_) return;
  base::AutoLock hold(lock_);
  if (!Protect(block_, PAGE_READWRITE)) return;
  write(block_);
  Protect(block_, PAGE_READONLY);
}

void CrashKeyTable::SetValue(size_t slot, const char16_t* value) {
  WriteUnprotected(
      [&](CrashKeyEntry* block) { SetCrashKeyValue(&block[slot], value); });
}

void CrashKeyTable::SetValueRange(size_t first, size_t last,
                                  base::StringPiece16 value) {
  WriteUnprotected([&](CrashKeyEntry* block) {
    SetCrashKeyValues(block, first, last, value);
  });
}

void CrashKeyTable::SetNameRange(size_t first, size_t last,
                                 const char16_t* name) {
  WriteUnprotected([&](CrashKeyEntry* block) {
    SetCrashKeyNames(block, first, last, name);
  });
}

}  // namespace crash_reporter
