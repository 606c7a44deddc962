#include "desktop/windows/installer/sample/sample_program_win.h"

#include <windows.h>

#include <string>

namespace installer {
namespace sample {

namespace {

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                         static_cast<int>(text.size()), nullptr,
                                         0, nullptr, nullptr);
  std::string utf8(size, '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        utf8.data(), size, nullptr, nullptr);
  return utf8;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                     &written, nullptr) &&
         written == bytes.size();
}

// Appends |line| to the file that kSampleProgramLogVariable names; true
// when the variable is unset.
bool AppendToLog(const std::string& line) {
  wchar_t path[MAX_PATH * 2];
  const DWORD length =
      ::GetEnvironmentVariableW(kSampleProgramLogVariable, path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return length == 0;
  // FILE_APPEND_DATA alone: several programs may append at once.
  HANDLE file =
      ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool written = WriteAll(file, line);
  ::CloseHandle(file);
  return written;
}

}  // namespace

std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(),
                                              static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring ProgramArguments() {
  const wchar_t* command_line = ::GetCommandLineW();
  bool quoted = false;
  while (*command_line &&
         (quoted || (*command_line != L' ' && *command_line != L'\t'))) {
    if (*command_line == L'"') quoted = !quoted;
    ++command_line;
  }
  while (*command_line == L' ' || *command_line == L'\t') ++command_line;
  return command_line;
}

int RunSampleProgram(const wchar_t* role) {
  std::wstring line = std::wstring(role) + L" started: " + ProgramPath();
  const std::wstring arguments = ProgramArguments();
  if (!arguments.empty()) line += L" " + arguments;
  const std::string utf8 = ToUtf8(line) + "\r\n";
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output && output != INVALID_HANDLE_VALUE) WriteAll(output, utf8);
  return AppendToLog(utf8) ? 0 : 1;
}

}  // namespace sample
}  // namespace installer
