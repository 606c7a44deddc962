// The outer executable and the engine DLL as a user's machine sees them.

#include <windows.h>

#include <string>

#include "base/strings/string_util_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

std::wstring OwnDirectory() {
  wchar_t path[MAX_PATH];
  DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring result(path, length);
  return result.substr(0, result.find_last_of(L'\\'));
}

struct RunResult {
  DWORD exit_code = 0xFFFFFFFF;
  std::string output;
};

RunResult RunProgram(const std::wstring& exe, const std::wstring& arguments) {
  RunResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  EXPECT_TRUE(::CreatePipe(&read_end, &write_end, &inherit, 0));
  ::SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::wstring command = L"\"" + exe + L"\" " + arguments;
  const BOOL started =
      ::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, nullptr, &startup, &process);
  ::CloseHandle(write_end);
  EXPECT_TRUE(started) << ::GetLastError();
  if (started) {
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(read_end, buffer, sizeof(buffer), &read, nullptr) &&
           read > 0) {
      result.output.append(buffer, read);
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &result.exit_code);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
  }
  ::CloseHandle(read_end);
  return result;
}

class ScopedTempDir {
 public:
  ScopedTempDir() {
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"velna_exe_test_" +
            std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~ScopedTempDir() {
    ::DeleteFileW((path_ + L"\\installer.exe").c_str());
    ::RemoveDirectoryW(path_.c_str());
  }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

TEST(InstallerExeTest, CopiedAloneItRunsAndMapsTheResult) {
  ScopedTempDir dir;
  const std::wstring copy = dir.path() + L"\\installer.exe";
  ASSERT_TRUE(::CopyFileW((OwnDirectory() + L"\\installer.exe").c_str(),
                          copy.c_str(), FALSE));

  RunResult internal = RunProgram(copy, L"--internal-version");
  EXPECT_EQ(0u, internal.exit_code);
  EXPECT_EQ("2353.23", internal.output);

  RunResult stream = RunProgram(copy, L"/STREAM --internal-versionx");
  EXPECT_EQ(0u, stream.exit_code);
  EXPECT_EQ("beta", stream.output);

  // No role is chosen: the engine reports failure, the exit code says so.
  EXPECT_EQ(1u, RunProgram(copy, L"").exit_code);
}

TEST(InstallerExeTest, CarriesItsManifest) {
  HMODULE exe = ::LoadLibraryExW((OwnDirectory() + L"\\installer.exe").c_str(),
                                 nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, exe);
  HRSRC manifest = ::FindResourceW(exe, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(nullptr, manifest);
  const char* data = static_cast<const char*>(
      ::LockResource(::LoadResource(exe, manifest)));
  const std::string text(data, ::SizeofResource(exe, manifest));
  // Windows 10's id, so that version queries are not capped at 8.
  EXPECT_NE(std::string::npos,
            text.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"));
  EXPECT_NE(std::string::npos, text.find("Microsoft.Windows.Common-Controls"));
  EXPECT_NE(std::string::npos, text.find("asInvoker"));
  ::FreeLibrary(exe);
}

TEST(InstallerExeTest, EngineDllExportsItsEntryPoints) {
  HMODULE engine =
      ::LoadLibraryW((OwnDirectory() + L"\\installer_engine.dll").c_str());
  ASSERT_NE(nullptr, engine) << ::GetLastError();
  EXPECT_NE(nullptr, ::GetProcAddress(engine, "RunInstaller"));
  EXPECT_NE(nullptr, ::GetProcAddress(engine, "GetHandleVerifier"));
  ::FreeLibrary(engine);
  // The outer executable exports the verifier too: other modules look for it
  // in the main module.
  HMODULE exe = ::LoadLibraryExW((OwnDirectory() + L"\\installer.exe").c_str(),
                                 nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(nullptr, exe);
  EXPECT_NE(nullptr, ::GetProcAddress(exe, "GetHandleVerifier"));
  ::FreeLibrary(exe);
}

}  // namespace
}  // namespace installer
