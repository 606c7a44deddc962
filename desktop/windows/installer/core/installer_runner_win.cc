#include <algorithm>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/lock.h"
#include "desktop/windows/installer/common/installer_global_lock.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/crash_reporter_pid.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/installer_log_text.h"
#include "desktop/windows/installer/core/installer_runner.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

constexpr char16_t kInstallerMutexPrefix[] = u"Global\\Velna/Installer/";
constexpr char16_t kInstallFolderMutexPrefix[] =
    u"Global\\Velna/InstallerFolder/";
// The package's tracking data, as a file name in the package folder.
constexpr char16_t kServerTrackingDataValue[] = u"server_tracking_data";
// More than any backend writes without verbose logging.
constexpr size_t kMaxLogSize = 16 * 1024 * 1024;
// How long an interrupted backend may take to roll back before the front
// end goes without it.
constexpr uint32_t kBackendEndTimeoutMs = 60000;

std::u16string WithForwardSlashes(std::u16string text) {
  std::replace(text.begin(), text.end(), u'\\', u'/');
  return text;
}

// The switch name of a command-line entry (lower case, without prefix), or
// empty for a plain argument.
std::string SwitchNameOf(const std::u16string& entry) {
  const size_t prefix = base::CommandLine::GetSwitchPrefixLength(entry);
  if (prefix == 0) return std::string();
  const std::u16string name = entry.substr(prefix, entry.find(u'=') - prefix);
  return base::ToLowerASCII(base::UTF16ToUTF8(name));
}

// |line| without the switches |names|, everything else in its order.
base::CommandLine WithoutSwitches(const base::CommandLine& line,
                                  std::initializer_list<const char*> names) {
  base::CommandLine::StringVector argv = {line.argv()[0]};
  for (size_t i = 1; i < line.argv().size(); ++i) {
    const std::string name = SwitchNameOf(line.argv()[i]);
    if (std::find(names.begin(), names.end(), name) == names.end())
      argv.push_back(line.argv()[i]);
  }
  base::CommandLine result(base::CommandLine::NO_PROGRAM);
  result.InitFromArgv(argv);
  return result;
}

// Creates or opens the mutex |name| with an inheritable handle and takes
// it at once. An invalid handle when it cannot be created; |*busy| when
// another thread holds it.
base::win::ScopedHandle TakeMutex(const std::u16string& name, bool* busy) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  base::win::ScopedHandle mutex(
      CreateMutexW(&inheritable, FALSE, base::as_wcstr(name)));
  *busy = false;
  if (!mutex.IsValid()) return mutex;
  const DWORD wait = WaitForSingleObject(mutex.Get(), 0);
  // An abandoned mutex belonged to an installer that died: it is ours now.
  *busy = wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED;
  return mutex;
}

// A log name that no earlier run gave: the local time and a random number.
std::u16string NewBackendLogName() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  uint32_t number = 0;
  while (number == 0) base::RandBytes(&number, sizeof(number));
  return GetInstallerLogFileName(
      {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond},
      number);
}

// The text of the log file |path|, at most kMaxLogSize bytes of it, read
// through a handle that no link led to. False when there is no such file.
bool ReadLogWithoutLinks(const base::FilePath& path, std::string* text) {
  const HANDLE opened = base::OpenWithoutLinks(
      path.value(), GENERIC_READ,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING);
  if (opened == INVALID_HANDLE_VALUE) return false;
  base::win::ScopedHandle file(opened);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size)) return false;
  text->resize(static_cast<size_t>(
      std::min<int64_t>(size.QuadPart, static_cast<int64_t>(kMaxLogSize))));
  size_t done = 0;
  while (done < text->size()) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), &(*text)[done],
                  static_cast<DWORD>(text->size() - done), &read, nullptr)) {
      return false;
    }
    if (read == 0) break;
    done += read;
  }
  text->resize(done);
  return true;
}

base::Location NamedLocation(const char* name) {
  return base::Location(name, __FILE__, __LINE__, nullptr);
}

}  // namespace

namespace internal {

std::u16string GetInstallerMutexName(const base::FilePath& install_folder) {
  return kInstallerMutexPrefix + WithForwardSlashes(install_folder.value());
}

std::u16string GetInstallFolderMutexName(const base::FilePath& install_folder) {
  std::u16string folder = install_folder.StripTrailingSeparators().value();
  if (!folder.empty()) {
    CharUpperBuffW(base::as_writable_wcstr(folder),
                   static_cast<DWORD>(folder.size()));
  }
  return kInstallFolderMutexPrefix + WithForwardSlashes(folder);
}

}  // namespace internal

InstallerRunner::InstallerRunner(const base::FilePath& package_folder)
    : receiver_(this), package_folder_(package_folder) {}

InstallerRunner::~InstallerRunner() {
  Stop();
  if (!backend_process_.IsValid()) return;
  watcher_.StopWatching();
  int exit_code = 0;
  if (backend_started_ && !backend_process_.WaitForExitWithTimeout(
                              kBackendEndTimeoutMs, &exit_code)) {
    LOG(WARNING) << "The installer backend still runs";
  }
}

bool InstallerRunner::FailStart(uint32_t string_id, const std::string& reason) {
  LOG(ERROR) << reason;
  observers_.Notify(&InstallerObserver::OnError, string_id, std::u16string(),
                    reason);
  return false;
}

bool InstallerRunner::Start(Settings* settings) {
  if (settings_ && settings == settings_) {
    // A second click on the same installation: never a second backend.
    LOG(INFO) << "Duplicate installation attempt detected";
    return false;
  }
  LOG(INFO) << "Beginning installation";
  CHECK(!settings_);
  CHECK(!settings->IsStatusPending());
  if (backend_started_) {
    return FailStart(kIdsInstallError,
                     "The previous installer backend is still running");
  }
  if (settings->operation() == kOperationUnknown) {
    // The folder may name the user: it stays in the log, out of the
    // detail that goes to the statistics.
    const char kInvalidSettings[] =
        "Attempting to start installation with invalid settings";
    const Status& status = *settings->GetStatus();
    LOG(ERROR) << kInvalidSettings << ": the install folder "
               << status.install_folder << " is refused: "
               << GetFolderRefusal(status, settings->uninstall());
    observers_.Notify(&InstallerObserver::OnError, kIdsLocationRefused,
                      std::u16string(), std::string(kInvalidSettings));
    return false;
  }
  settings->set_initialized(false);
  settings_ = settings;
  const base::FilePath& install_folder = settings->GetStatus()->install_folder;
  if (!ClaimInstallFolder(install_folder)) return false;

  const std::u16string mailslot =
      kInstallerMailslotNamePrefix + install_folder.value();
  VLOG(1) << "Installer mailslot name: " << mailslot;
  if (!receiver_.Connect(mailslot))
    return FailStart(kIdsInstallError, "Could not connect to mailslot");
  receiver_connected_ = true;

  base::CommandLine settings_line(base::CommandLine::NO_PROGRAM);
  settings->AppendToCommandLine(&settings_line, false);
  // Written here, each once, whatever the settings copied.
  base::CommandLine command_line = WithoutSwitches(
      settings_line, {switches::kServerTrackingData, switches::kInitialPid});
  command_line.AppendSwitchNative(switches::kServerTrackingData,
                                  kServerTrackingDataValue);
  command_line.AppendSwitchASCII(switches::kInitialPid,
                                 std::to_string(GetCurrentProcessId()));
  backend_log_name_ = NewBackendLogName();
  command_line.AppendSwitchNative(switches::kInstallerLogName,
                                  backend_log_name_);
  command_line.AppendSwitchASCII(switches::kCrashReporterPid,
                                 FormatCrashReporterPid());

  interrupted_event_ =
      CreateFolderEvent(install_folder, kInstallationInterruptedEvent,
                        "Event name for interrupted installation: ");
  if (!interrupted_event_.IsValid()) {
    return FailStart(kIdsInstallError,
                     "Could not create installation interruption event");
  }

  if (package_ready_) {
    VLOG(1) << "Package is already available";
    command_line.SetProgram(package_folder_.Append(kPackageInstallerName));
  } else {
    package_ready_event_ = CreateFolderEvent(install_folder, kPackageReadyEvent,
                                             "Event name for package_ready: ");
    if (!package_ready_event_.IsValid())
      return FailStart(kIdsInstallError,
                       "Could not create package ready event");
    // The first backend appends "installer.exe" to this text.
    std::u16string folder = package_folder_.value();
    if (folder.empty() || !base::FilePath::IsSeparator(folder.back()))
      folder.push_back(u'\\');
    command_line.AppendSwitchNative(switches::kWaitForPackage, folder);
    base::FilePath own_executable;
    base::PathService::Get(base::FILE_EXE, &own_executable);
    command_line.SetProgram(own_executable);
  }
  if (!LaunchBackend(&command_line)) return false;

  backend_started_ = true;
  AllowSetForegroundWindow(backend_process_.Pid());
  VLOG(2) << "Installer backend started.";
  if (!watcher_.StartWatchingOnce(backend_process_.Handle(), this)) {
    FailStart(kIdsInstallError,
              "Could not monitor the installer process handle");
    Stop();
    return false;
  }
  return true;
}

bool InstallerRunner::ClaimInstallFolder(const base::FilePath& install_folder) {
  const std::u16string name = internal::GetInstallerMutexName(install_folder);
  VLOG(1) << "Installer mutex name: " << name;
  bool busy = false;
  installer_mutex_ = TakeMutex(name, &busy);
  if (!installer_mutex_.IsValid()) {
    return FailStart(kIdsFolderBusy, "Could not create installer mutex");
  }
  if (busy) {
    installer_mutex_.Close();
    return FailStart(kIdsFolderBusy, "Could not acquire installer mutex");
  }
  // The exact name alone lets "C:\Velna" and "c:\velna\" in together.
  const std::u16string folder_name =
      internal::GetInstallFolderMutexName(install_folder);
  VLOG(1) << "Install folder mutex name: " << folder_name;
  folder_mutex_ = TakeMutex(folder_name, &busy);
  if (!folder_mutex_.IsValid() || busy) {
    folder_mutex_.Close();
    ReleaseMutex(installer_mutex_.Get());
    installer_mutex_.Close();
    return FailStart(kIdsFolderBusy, "Could not acquire installer mutex");
  }
  return true;
}

base::win::ScopedHandle InstallerRunner::CreateFolderEvent(
    const base::FilePath& install_folder, const char16_t* base,
    const char* label) {
  const std::u16string name =
      MakeKernelObjectName(install_folder.value(), base, true);
  VLOG(1) << label << name;
  base::win::ScopedHandle event(
      CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(name)));
  // An event still open elsewhere keeps the state an earlier run left: a
  // stale signal would cancel this run, or hand it a package not yet
  // there.
  if (event.IsValid()) ResetEvent(event.Get());
  return event;
}

bool InstallerRunner::LaunchBackend(base::CommandLine* command_line) {
  bool duplicated = false;
  {
    // No other launch of this process may inherit the handle: the lock is
    // held until it is closed again.
    base::AutoLock lock(GetInstallerGlobalLock());
    HANDLE duplicate = nullptr;
    // Waiting needs SYNCHRONIZE; the backend also checks that the handle it
    // inherits names this process, which takes the limited query right.
    duplicated =
        DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(),
                        GetCurrentProcess(), &duplicate,
                        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE,
                        0) != FALSE;
    // Closed before the lock goes: only this launch inherits it.
    const base::win::ScopedHandle own_process(duplicated ? duplicate : nullptr);
    if (duplicated) {
      command_line->AppendSwitchASCII(
          switches::kInitialProcHandle,
          base::HexEncode(&duplicate, sizeof(duplicate)));
      base::LaunchOptions options;
      options.inherit_handles = true;
      LOG(INFO) << "launching installer backend: "
                << command_line->GetCommandLineString();
      backend_process_ =
          base::LaunchProcessFromCommandLine(*command_line, options);
    }
  }
  if (!duplicated)
    return FailStart(kIdsInstallError,
                     "Could not duplicate own process handle");
  if (!backend_process_.IsValid()) {
    return FailStart(kIdsInstallError,
                     "Could not launch installer backend process");
  }
  return true;
}

void InstallerRunner::NotifyPackageReady() {
  if (package_ready_) return;
  VLOG(2) << "Recording that we have the package";
  package_ready_ = true;
  if (backend_started_ && package_ready_event_.IsValid()) {
    LOG(INFO) << "Informing the installer backend that the package is ready";
    SetEvent(package_ready_event_.Get());
  }
}

void InstallerRunner::Stop() {
  LOG(INFO) << "Stopping installer backend (if running)";
  if (backend_started_ && interrupted_event_.IsValid()) {
    SetEvent(interrupted_event_.Get());
    VLOG(1) << "Sending installation interrupted event";
  }
  ReleaseMutexes();
  package_ready_event_.Close();
  interrupted_event_.Close();
  receiver_.Close();
  receiver_connected_ = false;
  settings_ = nullptr;
  // The end of a backend that was being read out is still reported.
  if (end_pending_) {
    base::MessageLoop::current()->task_runner()->PostTask(
        NamedLocation("ReportBackendEnd"),
        base::Bind(&InstallerRunner::ReportBackendEnd,
                   weak_factory_.GetWeakPtr()));
  }
}

void InstallerRunner::ReleaseMutexes() {
  if (!installer_mutex_.IsValid() && !folder_mutex_.IsValid()) return;
  VLOG(1) << "Letting go of the installer mutex";
  // A running backend holds inherited handles of both: the folder stays
  // claimed until it ends.
  if (!backend_started_) {
    if (folder_mutex_.IsValid()) ReleaseMutex(folder_mutex_.Get());
    if (installer_mutex_.IsValid()) ReleaseMutex(installer_mutex_.Get());
  }
  folder_mutex_.Close();
  installer_mutex_.Close();
}

void InstallerRunner::OnMessageReceived(const base::Pickle& message) {
  InstallerMessage parsed;
  if (!ParseInstallerMessage(message, &parsed)) return;
  NotifyInstallerMessage(parsed, &observers_);
}

void InstallerRunner::OnObjectSignaled(HANDLE object) {
  VLOG(1) << "Installer backend process signaled";
  end_pending_ = true;
  // What the backends wrote before the end comes first, an error included.
  if (receiver_connected_) {
    receiver_.Flush(base::Bind(&InstallerRunner::ReportBackendEnd,
                               weak_factory_.GetWeakPtr()));
    return;
  }
  ReportBackendEnd();
}

void InstallerRunner::ReportBackendEnd() {
  if (!end_pending_) return;
  end_pending_ = false;
  DWORD exit_code = 1;
  const bool success =
      GetExitCodeProcess(backend_process_.Handle(), &exit_code) &&
      exit_code == 0;
  if (!success && interrupted_event_.IsValid()) {
    // The package's backend or an elevated copy may still be installing
    // after a first backend failed or was killed: they must roll back.
    LOG(INFO) << "Interrupting what the failed backend left running";
    SetEvent(interrupted_event_.Get());
  }
  backend_started_ = false;
  LogBackendLogs(success);
  observers_.Notify(&InstallerObserver::OnInstallerTerminated, success);
}

void InstallerRunner::LogBackendLogs(bool success) const {
  // The backends inherit this process's temporary folder, and write their
  // logs where it writes its own.
  base::FilePath temp;
  if (backend_log_name_.empty() ||
      !base::PathService::Get(base::DIR_TEMP, &temp)) {
    return;
  }
  const base::FilePath folder = temp.Append(GetInstallerFolderName());
  bool found = false;
  const std::u16string elevated =
      GetElevatedBackendLogFileName(backend_log_name_);
  for (const std::u16string& name :
       {backend_log_name_, GetPackageBackendLogFileName(backend_log_name_),
        elevated, GetPackageBackendLogFileName(elevated)}) {
    const base::FilePath path = folder.Append(name);
    std::string text;
    if (!ReadLogWithoutLinks(path, &text)) continue;
    found = true;
    LOG(INFO) << "Installer backend log: " << path;
    const std::string error = FindLastErrorMessage(text);
    if (error.empty()) continue;
    if (success)
      LOG(INFO) << "Last error line of " << path.BaseName() << ": " << error;
    else
      LOG(ERROR) << "Last error line of " << path.BaseName() << ": " << error;
  }
  if (!found)
    LOG(WARNING) << "No log of the installer backend found in " << folder;
}

}  // namespace installer
