#include "desktop/windows/installer/sample/sample_launcher_win.h"

#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <string>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/create_process_win.h"
#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_com_initializer.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/sample/sample_program_win.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/xml_document_win.h"

namespace installer {
namespace sample {

namespace {

constexpr char16_t kInstallerName[] = u"installer.exe";
constexpr wchar_t kUninstallSwitch[] = L"uninstall";
constexpr wchar_t kScheduledAutoupdateSwitch[] = L"scheduledautoupdate";

// Whether |argument| is the switch |name| ("--", "-" or "/" before it, in
// any letter case, without a value).
bool IsSwitchNamed(const std::wstring& argument, const wchar_t* name) {
  size_t prefix = 0;
  if (argument.compare(0, 2, L"--") == 0)
    prefix = 2;
  else if (!argument.empty() && (argument[0] == L'-' || argument[0] == L'/'))
    prefix = 1;
  if (prefix == 0) return false;
  const std::wstring rest = argument.substr(prefix);
  return ::CompareStringOrdinal(rest.c_str(), static_cast<int>(rest.size()),
                                name, -1, TRUE) == CSTR_EQUAL;
}

bool HasSwitch(const wchar_t* name) {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments) return false;
  bool found = false;
  for (int i = 1; i < count && !found; ++i)
    found = IsSwitchNamed(arguments[i], name);
  ::LocalFree(arguments);
  return found;
}

// One line with the local time in front, appended to the launcher's log;
// a log that cannot be written is done without.
void Log(const std::string& text) {
  const base::FilePath path = GetLauncherLogPath();
  if (path.empty()) return;
  base::FileUtil::CreateDirectory(path.DirName());
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  const std::string line = base::StringPrintf(
      "[%04d-%02d-%02d %02d:%02d:%02d] %s\r\n", now.wYear, now.wMonth, now.wDay,
      now.wHour, now.wMinute, now.wSecond, text.c_str());
  if (!base::PathExists(path) ||
      !base::AppendToFile(path, line.data(), static_cast<int>(line.size()))) {
    base::WriteBufferToFile(path, line.data(), static_cast<int>(line.size()));
  }
}

// Runs |command| and waits for it; its exit code, or 1 when it cannot be
// started.
int RunAndWait(const base::FilePath& program, std::u16string command) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!base::CreateProcessRetryingInternalError(
          base::as_wcstr(program.value()), base::as_writable_wcstr(command),
          FALSE, 0, nullptr, nullptr, &startup, &process)) {
    Log("Could not start it: error " + std::to_string(::GetLastError()));
    return 1;
  }
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exit_code = 1;
  ::GetExitCodeProcess(process.hProcess, &exit_code);
  ::CloseHandle(process.hProcess);
  return static_cast<int>(exit_code);
}

// Whether the version that |log| names in |install_folder| holds |program|
// and every file the record lists, finished or not: an uninstallation ended
// part-way, or a damaged disk, empties a version whose record says it was
// whole. The first file missing goes to |*missing| (may be null).
bool VersionHolds(const base::FilePath& install_folder, const InstallLog& log,
                  const std::u16string& program, base::FilePath* missing) {
  const base::FilePath version = install_folder.Append(log.subfolder);
  if (!SubfolderHolds(install_folder, log.subfolder, program)) {
    if (missing) *missing = version.Append(program);
    return false;
  }
  for (const std::u16string& file : log.files) {
    if (!base::PathExists(version.Append(file))) {
      if (missing) *missing = version.Append(file);
      return false;
    }
  }
  return true;
}

// |program| in the folder of a whole version (every file its status lists
// is there): the one the installation status names, else the newest kept
// status's (a finished one first). With |or_unfinished|, then that of the
// installation status even when it is not whole (an uninstallation ended
// part-way has removed some). Empty, with why the installation status did not
// do in |*reason|, when none does.
base::FilePath FindInstalledProgram(const base::FilePath& install_folder,
                                    const std::u16string& program,
                                    bool or_unfinished, std::string* reason) {
  InstallLog status;
  XmlDocument document;
  const bool readable =
      ReadInstallLogFromFolder(&document, &status, install_folder);
  const base::FilePath version = install_folder.Append(status.subfolder);
  if (!readable) {
    *reason = "No readable installation status in " + install_folder.AsUTF8();
  } else if (!IsPlainSubfolderName(status.subfolder)) {
    // The status lies in a folder its user may write: one component only.
    *reason = "The installation status names no version folder: \"" +
              base::UTF16ToUTF8(status.subfolder) + "\"";
  } else if (base::FilePath missing;
             VersionHolds(install_folder, status, program, &missing)) {
    return version.Append(program);
  } else if (!SubfolderHolds(install_folder, status.subfolder, program)) {
    *reason = program == kInstallerName
                  ? "The installed version has no installer: " +
                        version.Append(program).AsUTF8()
                  : "The installed version has no browser: " +
                        version.Append(program).AsUTF8();
  } else {
    *reason = "The installed version is not complete: " + missing.AsUTF8() +
              " is missing";
  }
  const std::vector<base::FilePath> kept = FindKeptInstallLogs(install_folder);
  for (bool finished : {true, false}) {
    for (const base::FilePath& path : kept) {
      InstallLog log;
      XmlDocument kept_document;
      if (ReadInstallLog(&kept_document, &log, path) &&
          log.complete == finished &&
          VersionHolds(install_folder, log, program, nullptr)) {
        Log(*reason + "; the kept status " + path.AsUTF8() + " names " +
            base::UTF16ToUTF8(log.subfolder));
        return install_folder.Append(log.subfolder).Append(program);
      }
    }
  }
  if (or_unfinished && readable &&
      SubfolderHolds(install_folder, status.subfolder, program)) {
    return version.Append(program);
  }
  if (!kept.empty()) *reason += "; no version the installer kept is whole";
  return base::FilePath();
}

}  // namespace

bool IsUninstallSwitch(const std::wstring& argument) {
  return IsSwitchNamed(argument, kUninstallSwitch);
}

base::FilePath FindInstalledInstaller(const base::FilePath& install_folder,
                                      std::string* reason) {
  return FindInstalledProgram(install_folder, kInstallerName, true, reason);
}

base::FilePath FindInstalledBrowser(const base::FilePath& install_folder,
                                    std::string* reason) {
  return FindInstalledProgram(install_folder,
                              base::UTF8ToUTF16(VELNA_SAMPLE_BROWSER_NAME),
                              false, reason);
}

base::FilePath GetLauncherLogPath() {
  base::FilePath temp;
  if (!base::PathService::Get(base::DIR_TEMP, &temp)) return base::FilePath();
  return temp.Append(GetInstallerFolderName())
      .AppendASCII(FormatWithProductName("%s_launcher.log", true));
}

int RunSampleLauncher() {
  const int status = RunSampleProgram(L"launcher");
  const bool uninstall = HasSwitch(kUninstallSwitch);
  if (!uninstall && HasSwitch(kScheduledAutoupdateSwitch)) return status;
  const base::FilePath launcher(base::as_u16cstr(ProgramPath().c_str()));
  const std::u16string arguments = base::as_u16cstr(ProgramArguments().c_str());
  if (uninstall) {
    Log("Uninstall requested: " + launcher.AsUTF8() + " " +
        base::UTF16ToUTF8(arguments));
  }
  std::string reason;
  base::FilePath program;
  {
    base::win::ScopedComInitializer com;
    program = uninstall ? FindInstalledInstaller(launcher.DirName(), &reason)
                        : FindInstalledBrowser(launcher.DirName(), &reason);
  }
  if (program.empty()) {
    Log((uninstall ? "Not uninstalling: " : "Not starting the browser: ") +
        reason);
    return 1;
  }
  std::u16string command = u"\"" + program.value() + u"\"";
  if (!arguments.empty()) command += u" " + arguments;
  Log("Running " + base::UTF16ToUTF8(command));
  const int exit_code = RunAndWait(program, command);
  Log("It ended with exit code " + std::to_string(exit_code));
  return exit_code;
}

}  // namespace sample
}  // namespace installer
