#include "desktop/windows/crash_reporter/crash_reporter_main_win.h"

#include <windows.h>
// Needs windows.h first.
#include <sddl.h>

#include <atomic>
#include <memory>
#include <string>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"
#include "base/win/scoped_registered_wait.h"
#include "base/win/windows_version.h"
#include "desktop/windows/crash_reporter/counter_file_win.h"
#include "desktop/windows/crash_reporter/counter_file_writer.h"
#include "desktop/windows/crash_reporter/crash_generation_server_win.h"
#include "desktop/windows/crash_reporter/crash_handling_win.h"
#include "desktop/windows/crash_reporter/crash_metadata_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_constants.h"
#include "desktop/windows/crash_reporter/crash_reporter_features.h"
#include "desktop/windows/crash_reporter/crash_reporter_paths.h"
#include "desktop/windows/crash_reporter/minidump_writer_win.h"
#include "desktop/windows/crash_reporter/process_reading_win.h"
#include "desktop/windows/crash_reporter/self_crash_win.h"
#include "desktop/windows/crash_reporter/util/crash_upload.h"
#include "desktop/windows/crash_reporter/util/crash_upload_urls.h"
#include "desktop/windows/crash_reporter/util/reporter_lifetime.h"
#include "desktop/windows/installer/common/installer_switches.h"

namespace crash_reporter {

namespace {

// A low mandatory label: processes of low integrity may open the pipe.
constexpr char16_t kPipeSecurityDescriptor[] = u"S:(ML;;NW;;;S-1-16-4096)";
constexpr char kCrashReporterProcessType[] = "crash_reporter";

// Holds one unit of ReporterLifetime until the watched process ends or the
// watcher is destroyed, whichever comes first.
class ParentProcessWatcher {
 public:
  ParentProcessWatcher() = default;
  ParentProcessWatcher(const ParentProcessWatcher&) = delete;
  ParentProcessWatcher& operator=(const ParentProcessWatcher&) = delete;
  ~ParentProcessWatcher() {
    // Waits for a running callback.
    wait_.Unregister();
    ReleaseOnce();
  }

  bool Watch(uint32_t pid) {
    process_.Set(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process_.IsValid()) {
      PLOG(ERROR) << "Could not open the parent process " << pid;
      return false;
    }
    ReporterLifetime::AddRef();
    watching_.store(1);
    if (!wait_.Register(process_.Get(), &OnParentEnd, this, INFINITE,
                        WT_EXECUTEONLYONCE)) {
      PLOG(ERROR) << "Could not watch the parent process";
      ReleaseOnce();
      return false;
    }
    return true;
  }

 private:
  static void CALLBACK OnParentEnd(void* context, BOOLEAN timed_out) {
    LOG(INFO) << "The parent process has ended";
    static_cast<ParentProcessWatcher*>(context)->ReleaseOnce();
  }

  void ReleaseOnce() {
    int expected = 1;
    if (watching_.compare_exchange_strong(expected, 0))
      ReporterLifetime::Release();
  }

  std::atomic<int> watching_{0};
  base::win::ScopedHandle process_;
  base::win::ScopedRegisteredWait wait_;
};

// The descriptor of the pipe's security attributes, freed with LocalFree.
class PipeSecurity {
 public:
  PipeSecurity() {
    if (base::win::GetWindowsVersion() < base::win::kVersionVista) return;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            base::as_wcstr(kPipeSecurityDescriptor), SDDL_REVISION_1,
            &descriptor_, nullptr)) {
      PLOG(ERROR) << "Could not make the pipe's security descriptor";
      descriptor_ = nullptr;
      return;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL sacl = nullptr;
    attributes_.nLength = sizeof(attributes_);
    attributes_.bInheritHandle = FALSE;
    if (GetSecurityDescriptorSacl(descriptor_, &present, &sacl, &defaulted) &&
        present) {
      attributes_.lpSecurityDescriptor = descriptor_;
    }
    has_attributes_ = true;
  }
  PipeSecurity(const PipeSecurity&) = delete;
  PipeSecurity& operator=(const PipeSecurity&) = delete;
  ~PipeSecurity() {
    if (descriptor_) LocalFree(descriptor_);
  }

  // Null before Windows Vista.
  SECURITY_ATTRIBUTES* attributes() {
    return has_attributes_ ? &attributes_ : nullptr;
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_ = {};
  bool has_attributes_ = false;
};

// The value of switch |name| as an unsigned decimal number; false when it
// is absent, not a number, or above |max|.
bool GetUnsignedSwitch(const char* name, uint64_t max, uint64_t* value) {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  if (!command_line) return false;
  return base::StringToUint64DigitsOnly(command_line->GetSwitchValueASCII(name),
                                        value) &&
         *value <= max;
}

bool HasSwitch(const char* name) {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  return command_line && command_line->HasSwitch(name);
}

// The parent's init event; signalling it tells the parent that its launch
// of this reporter succeeded.
base::win::ScopedHandle OpenInitEvent(uint32_t parent_pid) {
  std::u16string name;
  if (!FormatObjectName(kInitEventNamePrefix, parent_pid, &name))
    return base::win::ScopedHandle();
  base::win::ScopedHandle event(
      OpenEventW(EVENT_MODIFY_STATE, FALSE, base::as_wcstr(name)));
  if (!event.IsValid()) PLOG(ERROR) << "Could not open " << name;
  return event;
}

base::FilePath TempFolderPath(const base::FilePath& name) {
  base::FilePath temp;
  if (!base::GetTempDir(&temp)) return base::FilePath();
  return temp.Append(name.value());
}

}  // namespace

int RunCrashReporterServer() {
  SetUpSelfCrashReporting(/*with_minidump=*/false);
  uint64_t parent_pid = 0;
  if (!GetUnsignedSwitch(installer::switches::kCrashReporterParentId,
                         UINT32_MAX, &parent_pid)) {
    return -1;
  }
  InitCrashReporterLogging();
  if (!InitCrashPaths()) return -1;
  CrashReporterFeatures::Load(GetCrashPaths().browser_state_file);
  if (!CrashReporterFeatures::IsMetricsReportingEnabled()) {
    LOG(INFO) << "Metrics reporting is off: no crash reporting";
    return -1;
  }
  InitCrashUploadUrls();

  ParentProcessWatcher watcher;
  if (!watcher.Watch(static_cast<uint32_t>(parent_pid))) return -1;
  base::win::ScopedHandle init_event =
      OpenInitEvent(static_cast<uint32_t>(parent_pid));
  if (!init_event.IsValid()) return -1;
  std::u16string pipe_name;
  if (!FormatObjectName(kPipeNamePrefix, GetCurrentProcessId(), &pipe_name))
    return -1;
  if (!SetCurrentDirectoryW(
          base::as_wcstr(GetCrashPaths().crash_folder.value()))) {
    PLOG(ERROR) << "Could not enter the crash folder";
    return -1;
  }
  PipeSecurity security;

  std::unique_ptr<CounterFileWriter> counters;
  if (!GetCrashPaths().counter_file.empty()) {
    counters = std::make_unique<CounterFileWriter>(GetCrashPaths().counter_file,
                                                   &WriteCounterFile);
  }
  ReporterDumpContext context;
  context.counters = counters.get();
  context.keep_logs = ShouldKeepCrashLogs();
  auto server = std::make_unique<CrashGenerationServer>(
      pipe_name, security.attributes(), &OnCrashDumpRequest, &context);
  if (!server->Start()) {
    LOG(ERROR) << "Could not start the crash pipe " << pipe_name;
    return -1;
  }
  SetEvent(init_event.Get());
  init_event.Close();
  LOG(INFO) << "Serving " << pipe_name << " for " << parent_pid;

  ReporterLifetime::WaitUntilIdle();
  server.reset();
  // A dump callback may have taken its unit just as the count reached 0;
  // the server's end waited for it, and its uploads are counted now.
  ReporterLifetime::WaitUntilIdle();
  counters.reset();
  LOG(INFO) << "Done";
  return 0;
}

void RunCrashReporterForOwnCrash() {
  uint64_t parent_pid = 0;
  if (!GetUnsignedSwitch(installer::switches::kCrashReporterParentId,
                         UINT32_MAX, &parent_pid)) {
    return;
  }
  const uint32_t crashed_pid = static_cast<uint32_t>(parent_pid);
  uint64_t record_address = 0;
  int64_t days = 0;
  if (!GetUnsignedSwitch(installer::switches::kCrashReporterExceptionInfo,
                         UINT64_MAX, &record_address) ||
      !GetDaysSinceLastReporterCrash(&days) ||
      days < kDaysBetweenReportedOwnCrashes) {
    SignalSelfCrashEvent(crashed_pid);
    return;
  }
  const bool with_minidump = HasSwitch(kMinidumpSwitch);
  if (!with_minidump) {
    SetUpSelfCrashReporting(/*with_minidump=*/true);
    InitCrashPaths();
    InitCrashReporterLogging();
    CrashReporterFeatures::Load(GetCrashPaths().browser_state_file);
    if (!GetCrashPaths().counter_file.empty()) {
      CounterFileWriter counters(GetCrashPaths().counter_file,
                                 &WriteCounterFile);
      counters.Add(kCrashReporterProcessType, 1, /*wake=*/true);
    }
  }

  const uint32_t n = IncrementCrashNumber();
  base::FilePath log_path = TempFolderPath(GetCrashLogFileName(n));
  base::FilePath dump_path;
  FormFields log_fields;
  FormFields dump_fields;
  {
    // Opened once for every read of the crashed reporter.
    base::win::ScopedHandle crashed = OpenProcessForReading(crashed_pid);
    const bool log_written =
        crashed.IsValid() && !log_path.empty() &&
        (with_minidump ? WriteCrashLogWithEmbeddedMinidump(
                             crashed.Get(), crashed_pid, record_address,
                             log_path, GetOwnCrashMinidumpSizeLimit())
                       : WriteCrashLogForOwnCrash(crashed.Get(), crashed_pid,
                                                  record_address, log_path));
    if (!log_written) log_path = base::FilePath();
    if (CrashReporterFeatures::IsAlternativeCrashLoggingEnabled()) {
      dump_path = TempFolderPath(GetMinidumpFileName(n));
      if (!crashed.IsValid() || dump_path.empty() ||
          !WriteMinidumpForOwnCrash(crashed.Get(), crashed_pid, record_address,
                                    dump_path,
                                    GetOwnCrashMinidumpSizeLimit())) {
        dump_path = base::FilePath();
      }
    }
    if (!log_path.empty()) AddOwnCrashTextLogFields(&log_fields);
    if (!dump_path.empty())
      AddOwnCrashMinidumpFields(crashed.Get(), &dump_fields);
  }
  SignalSelfCrashEvent(crashed_pid);

  if (log_path.empty() && dump_path.empty()) return;
  InitCrashUploadUrls();
  bool uploaded = false;
  if (!log_path.empty()) {
    uploaded |= UploadCrashLogNow(log_path, log_fields, !with_minidump);
    base::DeleteFileOrDirectory(log_path, false);
  }
  if (!dump_path.empty()) {
    uploaded |= UploadMinidumpNow(dump_path, dump_fields, !with_minidump);
    base::DeleteFileOrDirectory(dump_path, false);
  }
  if (uploaded) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    StoreLastReporterCrashTime(now);
  }
}

void RunCrashReporter(const base::CommandLine& command_line) {
  InstallCrashReporterSelfCrashHooks();
  if (command_line.HasSwitch(installer::switches::kCrashReporterExceptionInfo))
    RunCrashReporterForOwnCrash();
  else
    RunCrashReporterServer();
}

}  // namespace crash_reporter
