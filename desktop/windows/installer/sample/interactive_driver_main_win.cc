// installer_ui_driver.exe SCREENSHOT_FOLDER INSTALLER [ARGUMENT...]: starts
// INSTALLER with the arguments, drives its window to the end of the install
// (see interactive_driver_win.h), prints the screenshots it saved, and ends
// with the installer's exit code (2 when the window could not be driven).

#include <windows.h>
// After windows.h.
#include <shellapi.h>
#include <stdio.h>

#include <string>

#include "base/files/file_path.h"
#include "base/process/launch.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/sample/interactive_driver_win.h"

namespace {

std::u16string QuotedWhenNeeded(const wchar_t* argument) {
  const std::u16string text = base::as_u16cstr(argument);
  if (!text.empty() && text.find_first_of(u" \t\"") == std::u16string::npos)
    return text;
  return u"\"" + text + u"\"";
}

}  // namespace

int wmain() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments || count < 3) {
    fprintf(stderr,
            "usage: installer_ui_driver SCREENSHOT_FOLDER INSTALLER "
            "[ARGUMENT...]\n");
    return 2;
  }
  const base::FilePath screenshots(base::as_u16cstr(arguments[1]));
  std::u16string command = QuotedWhenNeeded(arguments[2]);
  for (int i = 3; i < count; ++i)
    command += u" " + QuotedWhenNeeded(arguments[i]);
  LocalFree(arguments);

  base::Process front_end = base::LaunchProcess(command, base::LaunchOptions());
  if (!front_end.IsValid()) {
    fprintf(stderr, "the installer did not start\n");
    return 2;
  }
  const installer::sample::DriveResult result =
      installer::sample::DriveInteractiveInstall(front_end, screenshots);
  for (const base::FilePath& screenshot : result.screenshots)
    printf("screenshot: %s\n", screenshot.AsUTF8().c_str());
  if (!result.error.empty()) {
    fprintf(stderr, "%s\n", result.error.c_str());
    return 2;
  }
  return result.exit_code;
}
