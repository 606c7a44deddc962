#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/features/command_line_feature_reader.h"
#include "base/features/list_feature_reader.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/redirection_guard_win.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/trace_event/trace_startup.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/crash_reporter/crash_client_win.h"
#include "desktop/windows/crash_reporter/crash_reporter_main_win.h"
#include "desktop/windows/crash_reporter/self_crash_win.h"
#include "desktop/windows/installer/common/installer_experiments.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/switch_values.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/installer_runner_backend.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/core/uninstall_batch_win.h"
#include "desktop/windows/installer/download_folder_win.h"
#include "desktop/windows/installer/installer_help.h"
#include "desktop/windows/installer/installer_main.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/silent_installer_controller.h"
#include "desktop/windows/installer/ui/installer_ui_controller_win.h"
#include "desktop/windows/installer/ui/installer_ui_parts_win.h"
#include "desktop/windows/installer/ui/message_box_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// The three print modes write here, before anything else exists. A
// GUI-subsystem process has no console: the text goes to the standard output
// it was given, if any.
void PrintToStdout(const std::string& text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!out || out == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

// Lets the user read the console before it goes: "PAUSE" in the command
// interpreter, on this process's console.
void PauseConsole() {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  base::win::ScopedHandle input(
      CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                  OPEN_EXISTING, 0, nullptr));
  base::win::ScopedHandle output(
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                  OPEN_EXISTING, 0, nullptr));
  const base::FilePath interpreter = GetSystemCommandInterpreter();
  if (!input.IsValid() || !output.IsValid() || interpreter.empty()) return;
  base::CommandLine pause(interpreter);
  pause.AppendArg("/c");
  pause.AppendArg("PAUSE");
  const base::HandlesToInheritVector handles = {input.Get(), output.Get()};
  base::LaunchOptions options;
  options.wait = true;
  options.handles_to_inherit = &handles;
  options.stdin_handle = input.Get();
  options.stdout_handle = output.Get();
  options.stderr_handle = output.Get();
  base::LaunchProcessFromCommandLine(pause, options);
}

// The help text in a console of its own (the installer has no console
// window), which waits for a key before it closes.
void PrintHelp() {
  AllocConsole();
  // Opened by name: without standard handles the runtime's own streams
  // cannot be reopened on the new console.
  base::win::ScopedHandle console(CreateFileW(
      L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!console.IsValid()) return;
  const std::u16string text =
      base::UTF8ToUTF16(BuildHelpText(RcL10nHandler::GetAvailableLanguages()));
  DWORD written = 0;
  WriteConsoleW(console.Get(), text.data(), static_cast<DWORD>(text.size()),
                &written, nullptr);
  PauseConsole();
}

// The autoupdater of version 12 passed the install folder as a separate
// argument after an empty "installfolder": the last argument, when it is an
// absolute path.
base::FilePath RecoverInstallFolderFromArguments(
    const base::CommandLine& command_line) {
  const base::FilePath last(command_line.argv().back());
  return last.IsAbsolute() ? last : base::FilePath();
}

base::FilePath GetInstallerLogFilePath() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  const LogFileTime time = {now.wYear, now.wMonth,  now.wDay,
                            now.wHour, now.wMinute, now.wSecond};
  // A backend logs where the process that started it looks: under a new
  // name that process chose, whatever may lie there already.
  const std::u16string given =
      base::CommandLine::ForCurrentProcess()->GetSwitchValueNative(
          switches::kInstallerLogName);
  const bool named = IsInstallerLogFileName(given);
  const std::u16string name = named ? given : GetInstallerLogFileName(time);
  base::FilePath folder;
  // Without its log folder a process logs nowhere: the current folder of an
  // elevated one is not of its choosing.
  if (!TryPathServiceFolderCandidate(GetInstallerFolderName(), base::FilePath(),
                                     &folder, base::DIR_TEMP)) {
    return base::FilePath();
  }
  if (named) return folder.Append(name);
  // A front end and the backend it starts often begin within one second:
  // the log of that name, which the other process may still be writing, is
  // not deleted; this process's log carries its id instead.
  const base::FilePath path = folder.Append(name);
  if (!base::PathExists(path)) return path;
  return folder.Append(GetInstallerLogFileName(time, ::GetCurrentProcessId()));
}

bool InitInstallerLogging() {
  const base::FilePath log_file = GetInstallerLogFilePath();
  logging::LoggingSettings settings;
  settings.logging_dest =
      log_file.empty() ? logging::LOG_NONE : logging::LOG_TO_FILE;
  settings.log_file = log_file.value().c_str();
  settings.delete_old = logging::DELETE_OLD_LOG_FILE;
  return logging::InitLogging(settings) && !log_file.empty();
}

// The experiment states: those stored with the installation for an
// uninstall, else those of the command line.
void ReadExperimentOverrides(const base::CommandLine& command_line,
                             bool uninstall,
                             const base::FilePath& installation_folder) {
  base::FeatureList* features = base::FeatureList::GetInstance();
  if (uninstall) {
    VLOG(1) << "Retrieving experiment states from installation folder...";
    // A plain read: a preference store would move a file it cannot parse
    // aside, in an installation that is still in use.
    std::unique_ptr<base::DictionaryValue> prefs = ReadJsonDictionaryFile(
        installation_folder.Append(kInstallerPrefsFileName));
    const base::ListValue* states = nullptr;
    if (prefs && prefs->GetList(kInstallerExperimentsPref, &states)) {
      features->ReadOverrides(base::ListFeatureReader(*states));
      VLOG(1) << "Retrieved experiment states from installation folder";
    }
  } else {
    features->ReadOverrides(base::CommandLineFeatureReader(command_line));
    VLOG(1) << "Obtained experiment states from command line";
  }
  if (features->IsEnabled(kInstallerExperimentTest))
    LOG(INFO) << "Test experiment is enabled";
}

// The crash reporter: reports the crash of an earlier reporter when told
// where its record is, else serves the crash pipe of its parent's process
// tree. Either way the role has done its work.
bool RunCrashReporterRole(const base::CommandLine& command_line) {
  crash_reporter::RunCrashReporter(command_line);
  return true;
}

// Starts or reuses this process's crash reporter, connects to it and fills
// the crash keys, before anything else can crash unreported.
void StartCrashClient() {
  crash_reporter::DisableCallbackExceptionSwallowing();
  if (crash_reporter::StartCrashReporting())
    crash_reporter::ConnectToCrashReporter();
  crash_reporter::FillInstallerCrashKeys();
}

// A front end tests its download folder by starting the installer there
// (RunFrontEnd): started now, that start overlaps with the crash
// reporter's instead of following it.
void StartDownloadFolderTestEarly(const base::CommandLine& command_line) {
  base::FilePath own_exe;
  if (command_line.HasSwitch(switches::kBackend) ||
      command_line.HasSwitch(switches::kTempFolder) ||
      command_line.HasSwitch(switches::kHelp) ||
      command_line.HasSwitch(switches::kHelpShort) ||
      command_line.HasSwitch(switches::kSetFolderPermission) ||
      !base::PathService::Get(base::FILE_EXE, &own_exe) ||
      IsElevatedFrontEnd()) {
    return;
  }
  StartTestRunAhead(GetInstallerFolderName(), own_exe);
}

bool RunBackendRole(Settings* settings) {
  InstallerRunnerBackend runner;
  return runner.Run(settings);
}

// The installer window. Inside the package there is nothing to fetch.
bool RunInteractiveRole(Settings* settings, bool inside_package,
                        const base::FilePath& download_folder,
                        bool run_immediately) {
  InstallerUIController controller(CreateInstallerUIParts());
  return controller.RunUI(settings, inside_package, download_folder,
                          run_immediately);
}

bool RunSilentRole(Settings* settings, bool inside_package,
                   const base::FilePath& download_folder) {
  SilentInstallerController controller;
  return controller.Run(settings, inside_package, download_folder);
}

// Whether the text after the first quote of |folder| holds the silent
// switch: a folder value ending in a backslash before its closing quote
// takes the rest of the command line with it ("C:\x\" --silent).
bool SwallowedSilentSwitch(const std::u16string& folder) {
  const std::u16string rest = folder.substr(folder.find(u'"') + 1);
  for (const std::u16string& word :
       base::SplitString16(rest, u" \t\"", base::SplitWhitespace::kTrim,
                           base::SplitFilter::kNonEmpty)) {
    const size_t prefix = base::CommandLine::GetSwitchPrefixLength(word);
    if (prefix > 0 &&
        base::EqualsCaseInsensitiveASCII16(
            base::StringPiece16(word).substr(prefix), switches::kSilent)) {
      return true;
    }
  }
  return false;
}

// An install folder with a quote in it is always refused: no path holds
// one. The log says why; unless the run is silent (or the silent switch is
// inside the swallowed text), a message box names the folder, where the
// window would only grey its button.
bool RefuseQuotedInstallFolder(const base::FilePath& folder, bool silent) {
  LOG(ERROR) << "The install folder " << folder
             << " holds a quote: a backslash just before a closing quote "
                "makes the quote part of the value, with the rest of the "
                "command line. End the folder without a backslash (or with "
                "two).";
  if (silent || SwallowedSilentSwitch(folder.value())) return false;
  ShowLocalizedMessageBox(
      nullptr,
      RcL10nHandler::GetString(kIdsInvalidPath) + u"\n\n" + folder.value(),
      RcL10nHandler::GetString(kIdsInstallerTitle), MB_OK | MB_ICONERROR);
  return false;
}

// --- The installing roles.

// The role flags of the command line.
struct RoleFlags {
  bool backend;
  bool uninstall;
  bool silent;
  bool run_immediately;
  bool autoupdate;
  bool replace_tamsel;
};

// A front end: chooses its download folder, runs the silent or the
// interactive controller, and removes the folder when it is empty (a
// protected one whatever it holds).
bool RunFrontEnd(const RoleFlags& flags, bool inside_package,
                 const base::FilePath& own_exe, Settings* settings) {
  base::FilePath download_folder;
  // Goes when the run ends, however it ends.
  ScopedProtectedFolder protected_folder;
  const bool elevated = IsElevatedFrontEnd();
  const std::optional<std::u16string>& temp_folder =
      settings->process_switches().temp_folder;
  if (elevated) {
    VLOG(1) << "Running elevated: downloading into a protected folder";
    if (temp_folder) {
      VLOG(1) << "Using download folder from command line";
      download_folder = CreateProtectedFolderIn(base::FilePath(*temp_folder));
      protected_folder.Reset(download_folder);
      if (download_folder.empty()) {
        LOG(ERROR) << "Could not create temporary installer folder";
        return false;
      }
    } else {
      download_folder = CreateProtectedFolder();
      protected_folder.Reset(download_folder);
      if (download_folder.empty()) {
        LOG(ERROR) << "Could not create a protected download folder";
        return false;
      }
    }
  } else if (temp_folder) {
    VLOG(1) << "Using download folder from command line";
    download_folder =
        base::FilePath(*temp_folder).Append(GetInstallerFolderName());
    if (!base::DirectoryExists(download_folder) &&
        !base::FileUtil::CreateDirectory(download_folder)) {
      LOG(ERROR) << "Could not create temporary installer folder";
      return false;
    }
  } else if (!GetTempInstallerFolder(GetInstallerFolderName(), own_exe,
                                     &download_folder)) {
    LOG(ERROR) << "Could not obtain temporary installer folder";
    return false;
  }
  LOG(INFO) << "Installer download folder: " << download_folder;

  bool result;
  if (!flags.silent) {
    VLOG(2) << "Running UI controller";
    result = RunInteractiveRole(settings, inside_package, download_folder,
                                flags.run_immediately);
  } else {
    VLOG(2) << "Running silent controller";
    result = RunSilentRole(settings, inside_package, download_folder);
  }
  // Only when empty: a download the user may want again stays. Nobody
  // else may reach a protected one, which goes whole with its owner.
  if (!elevated) RemoveDirectoryW(base::as_wcstr(download_folder.value()));
  return result;
}

// What became of the redirection guard, for the log once there is one.
struct RedirectionGuard {
  bool elevated = false;
  bool on = false;
  DWORD error = 0;
};

// Behind the installer's own checks of the links on its way, an elevated
// process takes the system's redirection guard where the system has one,
// before it touches a file or starts another process (its crash reporter
// included). A run that is not elevated follows its user's own junctions.
RedirectionGuard TakeRedirectionGuardIfElevated() {
  RedirectionGuard guard;
  guard.elevated = GetInstallerRights()->IsElevated();
  if (!guard.elevated) return guard;
  guard.on = base::EnableRedirectionGuard();
  if (!guard.on) guard.error = GetLastError();
  return guard;
}

void LogRedirectionGuard(const RedirectionGuard& guard) {
  if (!guard.elevated) return;
  if (guard.on) {
    LOG(INFO) << "The system's redirection guard is on: no junction that a "
                 "user who is no administrator made is followed";
    return;
  }
  LOG(INFO) << "The system has no redirection guard (" << guard.error
            << "): the installer's own checks refuse the links on its way";
}

// Steps from the logging set-up to the end of the role. Objects are
// destroyed in reverse order of creation: the settings, COM, the message
// loop.
bool RunInstallingRole(const base::CommandLine& command_line,
                       const base::FilePath& installation_folder,
                       const RedirectionGuard& guard) {
  // The log is made before the settings are read: only a run the command
  // line names a per-user one follows a link to its temporary folder.
  const bool per_user_switch =
      command_line.HasSwitch(switches::kAllUsers) &&
      !ParseBoolSwitchValue(
          command_line.GetSwitchValueNative(switches::kAllUsers));
  base::SetLinkRule(LinkRuleForRun(!per_user_switch, command_line));
  InitInstallerLogging();
  LOG(INFO) << FormatWithProductName("%s installer starting - version ", false)
            << VersionInfo::GetProductVersion() << " "
            << VersionInfo::GetStream();
  LOG(INFO) << "Command line: " << command_line.GetCommandLineString();
  LogRedirectionGuard(guard);

  RoleFlags flags = {
      command_line.HasSwitch(switches::kBackend),
      command_line.HasSwitch(switches::kUninstall),
      command_line.HasSwitch(switches::kSilent),
      command_line.HasSwitch(switches::kRunImmediately),
      command_line.HasSwitch(switches::kAutoupdate),
      command_line.HasSwitch(switches::kReplaceTamselInstallation)};

  base::FilePath own_dir;
  if (!base::PathService::Get(base::DIR_EXE, &own_dir)) {
    LOG(ERROR) << "Cannot find own dir";
    return false;
  }
  base::FilePath own_exe;
  if (!base::PathService::Get(base::FILE_EXE, &own_exe)) {
    LOG(ERROR) << "Cannot find own file path";
    return false;
  }

  const base::FilePath browser_exe =
      own_dir.AppendASCII(GetBrowserExecutableName());
  bool inside_package;
  if (flags.uninstall) {
    // An uninstallation ended part-way leaves the browser moved aside, or,
    // ended after it removed the files it could, gone with the record it
    // marked unfinished still beside this version's folder.
    if (!base::PathExists(browser_exe) &&
        DeleteFileOperation::FindAsideCopies(browser_exe).empty() &&
        !base::PathExists(own_dir.DirName().Append(kInstallLogFileName))) {
      LOG(ERROR) << "Requested to uninstall, but we are not in a valid "
                    "installation folder";
      return false;
    }
    inside_package = true;
  } else {
    // Exactly "installer.exe": the package backend's own name.
    inside_package = base::PathExists(browser_exe) &&
                     base::PathExists(own_dir.Append(kFilesListFileName)) &&
                     own_exe.BaseName().value() == kPackageInstallerName;
  }

  base::FilePath install_folder;
  if (command_line.HasSwitch(switches::kInstallFolder)) {
    install_folder = command_line.GetSwitchValuePath(switches::kInstallFolder);
    LOG(INFO) << "Install folder from command line: " << install_folder;
    if (install_folder.empty() && flags.autoupdate) {
      LOG(INFO) << "It looks like we are autoupdating from V12.";
      install_folder = RecoverInstallFolderFromArguments(command_line);
      LOG(INFO) << "Recovered install folder from command line: "
                << install_folder;
      if (flags.silent && !install_folder.empty()) {
        LOG(INFO) << "Configuring for V12 autoupdate.";
        flags.silent = false;
        flags.run_immediately = true;
      }
    }
  }

  LOG(INFO) << "Uninstall:" << flags.uninstall;
  LOG(INFO) << "Replace Tamsel installation:" << flags.replace_tamsel;
  LOG(INFO) << "Silent:" << flags.silent;
  LOG(INFO) << "Run Immediately" << flags.run_immediately;
  LOG(INFO) << "Backend" << flags.backend;
  LOG(INFO) << "Inside package" << inside_package;
  LOG(INFO) << "Autoupdate:" << flags.autoupdate;

  std::unique_ptr<base::MessageLoop> message_loop;
  if (!flags.backend && !flags.silent) {
    VLOG(1) << "Using UI message loop";
    message_loop =
        std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_UI);
  } else {
    VLOG(1) << "Using default message loop";
    message_loop =
        std::make_unique<base::MessageLoop>(base::MessageLoop::TYPE_DEFAULT);
  }
  // The preference pool finishes every write already posted when the
  // at-exit scope ends it.

  ReadExperimentOverrides(command_line, flags.uninstall, installation_folder);
  base::win::ScopedComInitializer com;
  VLOG(2) << "Instanciating settings";
  Settings settings(command_line, flags.uninstall, flags.silent,
                    flags.autoupdate, install_folder, flags.replace_tamsel);
  base::SetLinkRule(LinkRuleForRun(settings.all_users(), command_line));
  if (!flags.backend && !flags.uninstall &&
      install_folder.value().find(u'"') != std::u16string::npos) {
    return RefuseQuotedInstallFolder(install_folder, flags.silent);
  }

  if (flags.backend) {
    VLOG(2) << "Running backend";
    return RunBackendRole(&settings);
  }
  return RunFrontEnd(flags, inside_package, own_exe, &settings);
}

}  // namespace

bool RunInstallerMain() {
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();

  // Print-and-return modes come before anything else is set up.
  if (command_line.HasSwitch(switches::kVersion)) {
    PrintToStdout(VersionInfo::GetProductVersion());
    return true;
  }
  if (command_line.HasSwitch(switches::kInternalVersion)) {
    PrintToStdout(VersionInfo::GetInternalVersion());
    return true;
  }
  if (command_line.HasSwitch(switches::kStream)) {
    PrintToStdout(VersionInfo::GetStream());
    return true;
  }

  const RedirectionGuard guard = TakeRedirectionGuardIfElevated();
  base::AtExitManager at_exit_manager;
  // A package's installer started from a protected copy keeps the copy as
  // long as it runs, whoever made it.
  base::FilePath own_exe;
  if (base::PathService::Get(base::FILE_EXE, &own_exe))
    HoldProtectedFolderOf(own_exe);
  base::trace_event::EnableTracingFromCommandLine();
  if (command_line.HasSwitch(switches::kCrashReporterParentId))
    return RunCrashReporterRole(command_line);
  StartDownloadFolderTestEarly(command_line);
  StartCrashClient();
  RegisterInstallerExperiments(base::FeatureList::GetInstance());
  const base::FilePath installation_folder =
      InstallationInfo::GetInstance()->install_folder();

  if (command_line.HasSwitch(switches::kHelp) ||
      command_line.HasSwitch(switches::kHelpShort)) {
    PrintHelp();
    return true;
  }
  if (command_line.HasSwitch(switches::kSetFolderPermission)) {
    // No log file of its own: what the utility logs goes to the system's
    // debug output, never beside a program a user may have placed.
    logging::LoggingSettings settings;
    settings.logging_dest = logging::LOG_TO_SYSTEM_DEBUG_LOG;
    logging::InitLogging(settings);
    LogRedirectionGuard(guard);
    // Elevated, it runs only a clean-up batch file it writes itself, after
    // the installation it served has ended.
    if (RunSetFolderPermission(command_line, GetFolderPermissionOptions()) &&
        command_line.HasSwitch(switches::kRunUninstallBat)) {
      RunUninstallBatch(command_line);
    }
    return true;
  }
  return RunInstallingRole(command_line, installation_folder, guard);
}

}  // namespace installer
