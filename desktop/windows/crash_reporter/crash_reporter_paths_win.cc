#include <windows.h>

#include <atomic>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/crash_reporter_paths.h"
#include "desktop/windows/crash_reporter/scoped_log_capture.h"
#include "desktop/windows/installer/common/branding_config.h"

namespace crash_reporter {

namespace {

constexpr char16_t kReporterLogSuffix[] = u"_crashreporter.log";
// The longest path given to the system, its NUL included.
constexpr size_t kMaxPathCharacters = 261;

CrashPaths& Paths() {
  static CrashPaths* const paths = new CrashPaths();
  return *paths;
}

std::atomic<uint32_t> g_crash_number{0};

// |name|'s value when it has 1 to |capacity| - 1 characters, else empty.
std::u16string GetEnvironmentValue(const char16_t* name, DWORD capacity) {
  std::u16string value(capacity, u'\0');
  const DWORD length = GetEnvironmentVariableW(
      base::as_wcstr(name), base::as_writable_wcstr(value), capacity);
  if (length == 0 || length >= capacity) return std::u16string();
  value.resize(length);
  return value;
}

}  // namespace

bool GetCrashReporterPath(int key, base::FilePath* path) {
  base::FilePath user_data;
  // No provider answers the user-data folder: only its override does.
  if (!base::PathService::Get(kDirUserData, &user_data)) return false;
  switch (key) {
    case kDirUserData:
      *path = user_data;
      return true;
    case kFileCrashCounters:
      *path = user_data.Append(kCrashCountersFileName);
      return true;
    case kFileCrashIdMap:
      *path = user_data.Append(kCrashIdMapFileName);
      return true;
    case kFileBrowserState:
      *path = user_data.Append(kBrowserStateFileName);
      return true;
  }
  return false;
}

bool InitCrashPaths() {
  CrashPaths paths;
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  const base::FilePath user_data =
      command_line ? command_line->GetSwitchValuePath(kUserDataDirSwitch)
                   : base::FilePath();
  if (!user_data.empty() &&
      !base::PathService::OverrideAndCreateIfNeeded(
          kDirUserData, user_data, user_data.IsAbsolute(), /*create=*/true)) {
    LOG(ERROR) << "Could not use the user-data folder " << user_data.value();
  }
  GetCrashReporterPath(kFileCrashCounters, &paths.counter_file);
  GetCrashReporterPath(kFileBrowserState, &paths.browser_state_file);
  GetCrashReporterPath(kFileCrashIdMap, &paths.crash_id_map_file);

  const std::u16string log_dir =
      GetEnvironmentValue(kCrashLogDirVariable, MAX_PATH);
  if (!log_dir.empty()) {
    const base::FilePath folder =
        base::MakeAbsoluteFilePath(base::FilePath(log_dir));
    if (!folder.empty() && base::FileUtil::CreateDirectory(folder)) {
      paths.crash_folder = folder;
      // An unknown map file stays unknown: no map beside the log folder.
      if (!paths.crash_id_map_file.empty()) {
        paths.crash_id_map_file =
            folder.Append(paths.crash_id_map_file.BaseName().value());
      }
      paths.custom_log_folder = true;
    } else {
      LOG(ERROR) << "Could not use the crash log folder " << log_dir;
    }
  }
  if (paths.crash_folder.empty() && !base::GetTempDir(&paths.crash_folder)) {
    LOG(ERROR) << "No folder for crash logs";
    return false;
  }
  Paths() = paths;
  return true;
}

const CrashPaths& GetCrashPaths() { return Paths(); }

void SetCrashPathsForTesting(const CrashPaths& paths) { Paths() = paths; }

base::FilePath GetCrashLogFileName(uint32_t n) {
  return base::FilePath(
      FormatCrashFileName(installer::BrandingConfig::GetProductName(),
                          GetCurrentProcessId(), n, kCrashLogExtension));
}

base::FilePath GetMinidumpFileName(uint32_t n) {
  // Unguessable, so that nobody can plant a file at the name beforehand.
  uint8_t random[8];
  base::RandBytes(random, sizeof(random));
  return base::FilePath(FormatCrashFileName(
      installer::BrandingConfig::GetProductName(), GetCurrentProcessId(), n,
      u"-" + base::UTF8ToUTF16(base::HexEncode(random, sizeof(random))) +
          kMinidumpExtension));
}

base::FilePath GetCrashIdMapPath(uint32_t n) {
  return FormatCrashIdMapPath(Paths(), GetCurrentProcessId(), n);
}

uint32_t IncrementCrashNumber() { return ++g_crash_number; }

bool ShouldKeepCrashLogs() {
  const std::u16string name =
      base::UTF8ToUTF16(
          base::ToUpperASCII(installer::BrandingConfig::GetProductName())) +
      kKeepLogsVariableSuffix;
  return IsKeepLogsValue(GetEnvironmentValue(name.c_str(), 4));
}

void InitCrashReporterLogging() {
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_TO_SYSTEM_DEBUG_LOG;
  base::FilePath temp;
  std::u16string log_file;
  if (base::GetTempDir(&temp)) {
    log_file = temp.Append(base::UTF8ToUTF16(base::ToLowerASCII(
                               installer::BrandingConfig::GetProductName())) +
                           kReporterLogSuffix)
                   .value();
  }
  if (!log_file.empty() && log_file.size() < kMaxPathCharacters) {
    settings.logging_dest = logging::LOG_TO_FILE;
    settings.log_file = log_file.c_str();
    settings.delete_old = logging::DELETE_OLD_LOG_FILE;
  }
  logging::InitLogging(settings);
  logging::SetLogItems(true, true, true, true);
  logging::SetMinLogLevel(logging::LOG_INFO);
  logging::SetLogMessageHandler(&OnReporterLogMessage);
}

}  // namespace crash_reporter
