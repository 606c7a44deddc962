#include "desktop/windows/installer/core/desktop_user_start_win.h"

#include <windows.h>
// After windows.h.
#include <sddl.h>

#include <string>

#include "base/base_paths_win.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

constexpr char16_t kSystemBrowserExecutable[] = u"iexplore.exe";

// The user of |token| as a SID string, empty when it cannot be read;
// |*system| tells whether it is the system account.
std::u16string ReadTokenUser(HANDLE token, bool* system) {
  alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  *system = false;
  if (!GetTokenInformation(token, TokenUser, user, sizeof(user), &size))
    return std::u16string();
  PSID sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  *system = IsWellKnownSid(sid, WinLocalSystemSid) != FALSE;
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return std::u16string();
  std::u16string result(base::as_u16cstr(text));
  LocalFree(text);
  return result;
}

bool RunsAsSystem() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  const base::win::ScopedHandle own(token);
  bool system = true;
  ReadTokenUser(own.Get(), &system);
  return system;
}

// The desktop's shell: its process, opened to be a parent, and its user.
struct DesktopShell {
  base::win::ScopedHandle process;
  DWORD id = 0;
  std::u16string user;
};

// Finds the shell to start a program as; false, with why in |*why|, when
// there is none that runs unelevated as a user.
bool FindDesktopShell(DesktopShell* shell, std::string* why) {
  if (RunsAsSystem()) {
    *why = "this process runs as the system account, for no user's desktop";
    return false;
  }
  const HWND window = GetShellWindow();
  if (!window || !GetWindowThreadProcessId(window, &shell->id)) {
    *why = "this desktop has no shell (a service's session, or none runs)";
    return false;
  }
  shell->process.Set(
      OpenProcess(PROCESS_CREATE_PROCESS | PROCESS_QUERY_LIMITED_INFORMATION,
                  FALSE, shell->id));
  const DWORD error = GetLastError();
  DWORD owner = 0;
  // Still the window's owner: not a process that took the id of one that
  // ended meanwhile.
  if (!shell->process.IsValid() || GetShellWindow() != window ||
      !GetWindowThreadProcessId(window, &owner) || owner != shell->id) {
    *why = "the desktop shell's process " + std::to_string(shell->id) +
           " cannot be opened (" + std::to_string(error) + ")";
    return false;
  }
  HANDLE token = nullptr;
  if (!OpenProcessToken(shell->process.Get(), TOKEN_QUERY, &token)) {
    *why = "the desktop shell's token cannot be read (" +
           std::to_string(GetLastError()) + ")";
    return false;
  }
  const base::win::ScopedHandle shell_token(token);
  bool system = false;
  shell->user = ReadTokenUser(shell_token.Get(), &system);
  if (IsTokenElevated(shell_token.Get()) || shell->user.empty()) {
    *why = "the desktop's shell (process " + std::to_string(shell->id) +
           ") runs elevated or as the system: no unelevated user to start it "
           "as";
    return false;
  }
  return true;
}

// The first of the folders above |program|'s, that folder, |program| and
// |runs_from| that an account other than |user| (and SYSTEM,
// Administrators, the installer service) may change; empty when none.
base::FilePath FindPathOthersMayChange(
    const base::FilePath& program, const std::vector<base::FilePath>& runs_from,
    const std::u16string& user) {
  const base::FilePath folder = program.DirName();
  const base::FilePath parent = FindParentOthersThanUserMayMove(folder, user);
  if (!parent.empty()) return parent;
  std::vector<base::FilePath> judged = {folder, program};
  judged.insert(judged.end(), runs_from.begin(), runs_from.end());
  for (const base::FilePath& path : judged) {
    if (LetsOthersThanUserChange(GetFolderSecurity()->Read(path), user))
      return path;
  }
  return base::FilePath();
}

}  // namespace

base::Process StartAsDesktopUser(const base::CommandLine& command_line,
                                 const std::vector<base::FilePath>& runs_from) {
  const std::u16string text = command_line.GetCommandLineString();
  const base::FilePath program = command_line.GetProgram();
  DesktopShell shell;
  std::string why;
  if (!program.IsAbsolute()) {
    why = "the program is named by no absolute path";
  } else if (FindDesktopShell(&shell, &why)) {
    const base::FilePath open =
        FindPathOthersMayChange(program, runs_from, shell.user);
    if (!open.empty()) {
      why = "an account other than the desktop's user " +
            base::UTF16ToUTF8(shell.user) + " may change " + open.AsUTF8();
    }
  }
  if (!why.empty()) {
    LOG(WARNING) << "Not starting " << text << ": " << why;
    return base::Process();
  }
  base::LaunchOptions options;
  options.parent_process = shell.process.Get();
  base::Process process = base::LaunchProcess(text, options);
  if (!process.IsValid()) {
    PLOG(WARNING) << "Could not start " << text << " as the desktop's user";
    return process;
  }
  LOG(INFO) << "Started " << text << " as the desktop's user " << shell.user
            << ", unelevated: created by this process with the desktop "
               "shell's process "
            << shell.id
            << " as its parent (whether it has this process's redirection "
               "guard is not documented)";
  return process;
}

base::FilePath GetSystemBrowserPath() {
  base::FilePath program_files;
  if (!base::PathService::Get(base::DIR_PROGRAM_FILES, &program_files))
    return base::FilePath();
  return program_files.Append(kSystemBrowserName)
      .Append(kSystemBrowserExecutable);
}

}  // namespace installer
