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

bool HasUninstallSwitch() {
  int count = 0;
  wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!arguments) return false;
  bool found = false;
  for (int i = 1; i < count && !found; ++i)
    found = IsUninstallSwitch(arguments[i]);
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

}  // namespace

bool IsUninstallSwitch(const std::wstring& argument) {
  size_t prefix = 0;
  if (argument.compare(0, 2, L"--") == 0)
    prefix = 2;
  else if (!argument.empty() && (argument[0] == L'-' || argument[0] == L'/'))
    prefix = 1;
  if (prefix == 0) return false;
  const std::wstring name = argument.substr(prefix);
  return ::CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()),
                                L"uninstall", -1, TRUE) == CSTR_EQUAL;
}

base::FilePath FindInstalledInstaller(const base::FilePath& install_folder,
                                      std::string* reason) {
  InstallLog status;
  XmlDocument document;
  if (!ReadInstallLogFromFolder(&document, &status, install_folder)) {
    *reason = "No readable installation status in " + install_folder.AsUTF8();
    return base::FilePath();
  }
  // The status lies in a folder its user may write: one component only.
  const std::u16string& subfolder = status.subfolder;
  if (subfolder.empty() || subfolder == u"." || subfolder == u".." ||
      subfolder.find_first_of(u"\\/:") != std::u16string::npos) {
    *reason = "The installation status names no version folder: \"" +
              base::UTF16ToUTF8(subfolder) + "\"";
    return base::FilePath();
  }
  const base::FilePath installer =
      install_folder.Append(subfolder).Append(kInstallerName);
  if (!base::PathExists(installer)) {
    *reason = "The installed version has no installer: " + installer.AsUTF8();
    return base::FilePath();
  }
  return installer;
}

base::FilePath GetLauncherLogPath() {
  base::FilePath temp;
  if (!base::PathService::Get(base::DIR_TEMP, &temp)) return base::FilePath();
  return temp.Append(GetInstallerFolderName())
      .AppendASCII(FormatWithProductName("%s_launcher.log", true));
}

int RunSampleLauncher() {
  const int status = RunSampleProgram(L"launcher");
  if (!HasUninstallSwitch()) return status;
  const base::FilePath launcher(base::as_u16cstr(ProgramPath().c_str()));
  const std::u16string arguments = base::as_u16cstr(ProgramArguments().c_str());
  Log("Uninstall requested: " + launcher.AsUTF8() + " " +
      base::UTF16ToUTF8(arguments));
  std::string reason;
  base::FilePath installer;
  {
    base::win::ScopedComInitializer com;
    installer = FindInstalledInstaller(launcher.DirName(), &reason);
  }
  if (installer.empty()) {
    Log("Not uninstalling: " + reason);
    return 1;
  }
  std::u16string command = u"\"" + installer.value() + u"\"";
  if (!arguments.empty()) command += u" " + arguments;
  Log("Running " + base::UTF16ToUTF8(command));
  const int exit_code = RunAndWait(installer, command);
  Log("The installer ended with exit code " + std::to_string(exit_code));
  return exit_code;
}

}  // namespace sample
}  // namespace installer
