#include "desktop/windows/installer/sample/sample_program_win.h"

#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <string>
#include <vector>

namespace installer {
namespace sample {

namespace {

std::wstring ExecutablePath() {
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

// The process command line less the program, as the system keeps it.
std::wstring Arguments() {
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

// The numbers of a folder name made of decimal numbers separated by dots;
// empty for any other name.
std::vector<unsigned long> VersionOf(const std::wstring& name) {
  std::vector<unsigned long> numbers;
  size_t start = 0;
  for (;;) {
    const size_t dot = name.find(L'.', start);
    const std::wstring part = name.substr(start, dot - start);
    if (part.empty() || part.size() > 9 ||
        part.find_first_not_of(L"0123456789") != std::wstring::npos) {
      return {};
    }
    numbers.push_back(std::wcstoul(part.c_str(), nullptr, 10));
    if (dot == std::wstring::npos) return numbers;
    start = dot + 1;
  }
}

std::wstring DirectoryOf(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring()
                                         : path.substr(0, separator);
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

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

// Runs |program| with |arguments| and waits for it; its exit code, or 1
// when it cannot be started.
int RunAndWait(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command = L"\"" + program + L"\"";
  if (!arguments.empty()) command += L" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &process)) {
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

std::wstring FindInstalledInstaller(const std::wstring& folder) {
  std::wstring best_folder;
  std::vector<unsigned long> best_version;
  WIN32_FIND_DATAW found = {};
  HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return std::wstring();
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    const std::vector<unsigned long> version = VersionOf(found.cFileName);
    const std::wstring installer =
        folder + L"\\" + found.cFileName + L"\\installer.exe";
    if (!version.empty() && version > best_version && FileExists(installer)) {
      best_version = version;
      best_folder = installer;
    }
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  return best_folder;
}

int RunSampleLauncher() {
  const int status = RunSampleProgram(L"launcher");
  if (!HasUninstallSwitch()) return status;
  const std::wstring installer =
      FindInstalledInstaller(DirectoryOf(ExecutablePath()));
  if (installer.empty()) return 1;
  return RunAndWait(installer, Arguments());
}

int RunSampleProgram(const wchar_t* role) {
  std::wstring line = std::wstring(role) + L" started: " + ExecutablePath();
  const std::wstring arguments = Arguments();
  if (!arguments.empty()) line += L" " + arguments;
  const std::string utf8 = ToUtf8(line) + "\r\n";
  HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (output && output != INVALID_HANDLE_VALUE) WriteAll(output, utf8);
  return AppendToLog(utf8) ? 0 : 1;
}

}  // namespace sample
}  // namespace installer
