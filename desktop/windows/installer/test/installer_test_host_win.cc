// A helper program for the installer's tests, started as a child process.
// "--host-mode" chooses what it does:
//   download-folder  prints the folder GetTempInstallerFolder() finds for
//                    "--folder-name" with "--test-program" (or "failed");
//   wait             waits up to a minute, for a test to end it;
//   exit             ends at once with "--exit-code".
// Without a mode it records its own command line, as UTF-8, into the file
// that the environment variable VELNA_TEST_HOST_RECORD names: a stand-in
// for a program the installer starts.

#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/download_folder_win.h"
#include "desktop/windows/installer/test/installer_test_host.h"

namespace {

using namespace installer::test;

void Print(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(),
            static_cast<DWORD>(text.size()), &written, nullptr);
}

int PrintDownloadFolder(const base::CommandLine& command_line) {
  base::FilePath folder;
  if (!installer::GetTempInstallerFolder(
          command_line.GetSwitchValueNative(kHostFolderName),
          command_line.GetSwitchValuePath(kHostTestProgram), &folder)) {
    Print("failed");
    return 1;
  }
  Print(folder.AsUTF8());
  return 0;
}

int RecordCommandLine() {
  wchar_t path[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(kHostRecordVariable, path, MAX_PATH)) return 2;
  const std::string text =
      base::UTF16ToUTF8(base::as_u16cstr(GetCommandLineW()));
  return base::WriteBufferToFile(base::FilePath(base::as_u16cstr(path)),
                                 text.data(), static_cast<int>(text.size())) ==
                 static_cast<int>(text.size())
             ? 0
             : 3;
}

int Run(const base::CommandLine& command_line) {
  const std::string mode = command_line.GetSwitchValueASCII(kHostMode);
  if (mode == kHostModeDownloadFolder) return PrintDownloadFolder(command_line);
  if (mode == kHostModeWait) {
    Sleep(60000);
    return 0;
  }
  if (mode == kHostModeExit) {
    unsigned code = 0;
    base::StringToUint(command_line.GetSwitchValueASCII(kHostExitCode), &code);
    return static_cast<int>(code);
  }
  return RecordCommandLine();
}

}  // namespace

int main() {
  base::CommandLine::Init();
  ExitProcess(static_cast<UINT>(Run(*base::CommandLine::ForCurrentProcess())));
}
