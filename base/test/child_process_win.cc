#include "base/test/child_process_win.h"

#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include <map>

#include "base/logging.h"
#include "base/process/create_process_win.h"
#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"

namespace base {

namespace {

// Names compare without case, as Windows does.
struct LessIgnoringCase {
  bool operator()(const std::u16string& a, const std::u16string& b) const {
    return CompareStringOrdinal(as_wcstr(a), static_cast<int>(a.size()),
                                as_wcstr(b), static_cast<int>(b.size()),
                                TRUE) == CSTR_LESS_THAN;
  }
};

std::u16string BuildEnvironmentBlock(
    const std::vector<std::pair<std::u16string, std::u16string>>& extra) {
  std::map<std::u16string, std::u16string, LessIgnoringCase> variables;
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
    std::u16string text(as_u16cstr(entry));
    // Entries such as "=C:=C:\" start with "=": keep the name whole.
    size_t equals = text.find(u'=', 1);
    if (equals == std::u16string::npos) continue;
    variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  FreeEnvironmentStringsW(block);
  for (const auto& [name, value] : extra) variables[name] = value;
  std::u16string result;
  for (const auto& [name, value] : variables) {
    result += name + u"=" + value;
    result.push_back(u'\0');
  }
  result.push_back(u'\0');
  return result;
}

// Starts |command_line| with |startup|, as the user of |token| when given,
// in |job| when given; false when it cannot be started.
bool StartChild(const std::u16string& command_line,
                const EnvironmentChanges& extra_environment, HANDLE token,
                HANDLE job, STARTUPINFOW* startup,
                PROCESS_INFORMATION* process) {
  std::u16string environment = BuildEnvironmentBlock(extra_environment);
  std::u16string mutable_command_line = command_line;
  const DWORD flags = CREATE_UNICODE_ENVIRONMENT | (job ? CREATE_SUSPENDED : 0);
  const BOOL inherit = (startup->dwFlags & STARTF_USESTDHANDLES) != 0;
  const bool started = CreateProcessRetryingInternalError(
      nullptr, as_writable_wcstr(mutable_command_line), inherit, flags,
      as_writable_wcstr(environment), nullptr, startup, process, token);
  if (!started) {
    PLOG(ERROR) << "Could not start " << command_line;
    return false;
  }
  if (job && !AssignProcessToJobObject(job, process->hProcess)) {
    PLOG(ERROR) << "Could not put " << command_line << " into its job";
    TerminateProcess(process->hProcess, 1);
    CloseHandle(process->hProcess);
    CloseHandle(process->hThread);
    return false;
  }
  if (job) ResumeThread(process->hThread);
  return true;
}

}  // namespace

bool RunChildProcess(const std::u16string& command_line,
                     const EnvironmentChanges& extra_environment,
                     std::string* output, DWORD* exit_code, HANDLE token) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return false;
  win::ScopedHandle reader(read_end);
  win::ScopedHandle writer(write_end);
  SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writer.Get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!StartChild(command_line, extra_environment, token, nullptr, &startup,
                  &process)) {
    return false;
  }
  win::ScopedHandle process_handle(process.hProcess);
  win::ScopedHandle thread_handle(process.hThread);
  // Our copy of the write end must go, or the read never sees the end.
  writer.Close();

  output->clear();
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(reader.Get(), buffer, sizeof(buffer), &read, nullptr) &&
         read > 0) {
    output->append(buffer, read);
  }
  WaitForSingleObject(process_handle.Get(), INFINITE);
  GetExitCodeProcess(process_handle.Get(), exit_code);
  return true;
}

HANDLE LaunchChildProcess(const std::u16string& command_line,
                          const EnvironmentChanges& extra_environment,
                          HANDLE token, HANDLE job) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!StartChild(command_line, extra_environment, token, job, &startup,
                  &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

HANDLE DuplicateLimitedToken() {
  HANDLE own = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return nullptr;
  win::ScopedHandle own_token(own);
  TOKEN_LINKED_TOKEN linked = {};
  DWORD size = 0;
  if (!GetTokenInformation(own, TokenLinkedToken, &linked, sizeof(linked),
                           &size)) {
    return nullptr;
  }
  win::ScopedHandle linked_token(linked.LinkedToken);
  TOKEN_ELEVATION elevation = {};
  if (!GetTokenInformation(linked.LinkedToken, TokenElevation, &elevation,
                           sizeof(elevation), &size) ||
      elevation.TokenIsElevated) {
    return nullptr;
  }
  HANDLE primary = nullptr;
  if (!DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr,
                        SecurityImpersonation, TokenPrimary, &primary)) {
    return nullptr;
  }
  return primary;
}

void WaitForParentToEnd() {
  win::ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return;
  const DWORD own = GetCurrentProcessId();
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ProcessID != own) continue;
    win::ScopedHandle parent(
        OpenProcess(SYNCHRONIZE, FALSE, entry.th32ParentProcessID));
    if (parent.IsValid()) WaitForSingleObject(parent.Get(), INFINITE);
    return;
  }
}

std::u16string GetTestExecutableFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string folder(as_u16cstr(path), length);
  return folder.substr(0, folder.rfind(u'\\') + 1);
}

}  // namespace base
