#include "base/test/child_process_win.h"

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

}  // namespace

bool RunChildProcess(
    const std::u16string& command_line,
    const std::vector<std::pair<std::u16string, std::u16string>>&
        extra_environment,
    std::string* output, DWORD* exit_code) {
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
  std::u16string environment = BuildEnvironmentBlock(extra_environment);
  std::u16string mutable_command_line = command_line;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessRetryingInternalError(
          nullptr, as_writable_wcstr(mutable_command_line), TRUE,
          CREATE_UNICODE_ENVIRONMENT, as_writable_wcstr(environment), nullptr,
          &startup, &process)) {
    PLOG(ERROR) << "Could not start " << command_line;
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

std::u16string GetTestExecutableFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string folder(as_u16cstr(path), length);
  return folder.substr(0, folder.rfind(u'\\') + 1);
}

}  // namespace base
