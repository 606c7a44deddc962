#include "desktop/windows/crash_reporter/crash_metadata_win.h"

#include "base/lazy_instance.h"
#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"

namespace crash_reporter {

namespace {

// A value longer than this, in characters with its NUL, sets no field.
constexpr DWORD kEnvironmentValueCapacity = 192;

class MachineCrashMetadata : public CrashMetadata {
 public:
  MachineCrashMetadata() : CrashMetadata(ReadMachineFacts()) {}
};

base::LazyInstance<MachineCrashMetadata> g_metadata;

std::optional<base::Time> CreationTimeOfExecutable(HANDLE process) {
  char16_t path[MAX_PATH] = {};
  DWORD length = MAX_PATH;
  if (!QueryFullProcessImageNameW(process, 0, base::as_writable_wcstr(path),
                                  &length)) {
    return std::nullopt;
  }
  base::win::ScopedHandle file(
      CreateFileW(base::as_wcstr(path), FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info = {};
  if (!file.IsValid() || !GetFileInformationByHandle(file.Get(), &info))
    return std::nullopt;
  return base::Time::FromFileTime(info.ftCreationTime);
}

}  // namespace

CrashMetadata* CrashMetadata::GetInstance() { return g_metadata.Pointer(); }

MachineFacts ReadMachineFacts() {
  MachineFacts facts;
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
    facts.os_version =
        base::StringPrintf("%lu.%lu.%lu", version.dwMajorVersion,
                           version.dwMinorVersion, version.dwBuildNumber);
    if (version.wServicePackMajor != 0) {
      facts.os_service_pack_version = base::StringPrintf(
          "%u.%u", version.wServicePackMajor, version.wServicePackMinor);
    }
  }
  SYSTEM_INFO system = {};
  GetNativeSystemInfo(&system);
  facts.cpu_architecture =
      base::StringPrintf("0x%x", system.wProcessorArchitecture);
  facts.cpu_level = base::StringPrintf("0x%x", system.wProcessorLevel);
  facts.cpu_revision = base::StringPrintf("0x%x", system.wProcessorRevision);
  return facts;
}

CrashEnvironment ReadCrashEnvironment(HANDLE process) {
  CrashEnvironment environment;
  environment.now = base::Time::Now();
  const std::u16string name = GetCrashEmailVariableName();
  char16_t email[kEnvironmentValueCapacity] = {};
  const DWORD length = GetEnvironmentVariableW(base::as_wcstr(name),
                                               base::as_writable_wcstr(email),
                                               kEnvironmentValueCapacity);
  if (length > 0 && length < kEnvironmentValueCapacity)
    environment.email.assign(email, length);
  if (!process) return environment;
  FILETIME creation, exit, kernel, user;
  if (GetProcessTimes(process, &creation, &exit, &kernel, &user))
    environment.process_creation = base::Time::FromFileTime(creation);
  environment.executable_creation = CreationTimeOfExecutable(process);
  return environment;
}

void AddTextLogFields(const ResolvedCrashKeys& keys, FormFields* fields) {
  AddTextLogFields(keys, ReadCrashEnvironment(nullptr), fields);
}

void AddOwnCrashTextLogFields(FormFields* fields) {
  AddOwnCrashTextLogFields(ReadCrashEnvironment(nullptr), fields);
}

void AddMinidumpFields(HANDLE process, const CrashKeyEntries& entries,
                       const ResolvedCrashKeys& keys, FormFields* fields) {
  AddMinidumpFields(*CrashMetadata::GetInstance(), entries, keys,
                    ReadCrashEnvironment(process), fields);
}

void AddOwnCrashMinidumpFields(HANDLE process, FormFields* fields) {
  AddOwnCrashMinidumpFields(ReadCrashEnvironment(process), fields);
}

void BuildCrashLogMetadata(const CrashKeyEntries& entries, CrashLogInfo* info) {
  BuildCrashLogMetadata(*CrashMetadata::GetInstance(), entries, info);
}

}  // namespace crash_reporter
