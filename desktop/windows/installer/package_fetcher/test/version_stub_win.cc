// Stands in for a downloaded installer in the version and stream checks:
// with "internal-version" or "stream" it prints this build's value, or what
// the environment asks for instead:
//   VELNA_TEST_STUB_VERSION, VELNA_TEST_STUB_STREAM  the text to print
//   VELNA_TEST_STUB_HANG=1      print nothing and never end
//   VELNA_TEST_STUB_FLOOD=N     print N bytes of "1"
//   VELNA_TEST_STUB_REPLACE_SELF=<file>
//                               with "stream", first move this program
//                               aside and put a copy of <file> where it was,
//                               as a writer of the download folder could
//                               between the checks and the unpacking
// The tests append a package to it and sign it, so that it passes every
// check before the one under test.

#include <stdio.h>
#include <windows.h>

#include <string>

#include "base/command_line.h"
#include "base/strings/string_number_conversions.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/version_info.h"

namespace {

bool GetVariable(const wchar_t* name, std::string* value) {
  wchar_t buffer[256];
  const DWORD length = GetEnvironmentVariableW(name, buffer, 256);
  if (length == 0 || length >= 256) return false;
  value->clear();
  for (DWORD i = 0; i < length; ++i)
    value->push_back(static_cast<char>(buffer[i]));
  return true;
}

// Puts a copy of the file the variable names where this program lies.
void ReplaceSelf() {
  wchar_t replacement[MAX_PATH] = {};
  wchar_t self[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"VELNA_TEST_STUB_REPLACE_SELF", replacement,
                               MAX_PATH) ||
      !GetModuleFileNameW(nullptr, self, MAX_PATH)) {
    return;
  }
  const std::wstring aside = std::wstring(self) + L".aside";
  if (MoveFileExW(self, aside.c_str(), MOVEFILE_REPLACE_EXISTING))
    CopyFileW(replacement, self, FALSE);
}

}  // namespace

int main() {
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  std::string text;
  if (GetVariable(L"VELNA_TEST_STUB_HANG", &text) && text == "1")
    Sleep(INFINITE);
  if (GetVariable(L"VELNA_TEST_STUB_FLOOD", &text)) {
    int count = 0;
    base::StringToInt(text, &count);
    fputs(std::string(count, '1').c_str(), stdout);
    return 0;
  }
  if (command_line.HasSwitch(installer::switches::kInternalVersion)) {
    if (!GetVariable(L"VELNA_TEST_STUB_VERSION", &text))
      text = installer::VersionInfo::GetInternalVersion();
  } else if (command_line.HasSwitch(installer::switches::kStream)) {
    ReplaceSelf();
    if (!GetVariable(L"VELNA_TEST_STUB_STREAM", &text))
      text = installer::VersionInfo::GetStream();
  } else {
    return 1;
  }
  fputs(text.c_str(), stdout);
  fflush(stdout);
  return 0;
}
