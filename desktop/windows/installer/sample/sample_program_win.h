// The body of the sample package's programs (the launcher and the browser
// executable): stand-ins that the end-to-end tests install, start and
// remove. They do nothing but report that they ran.

#ifndef DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_PROGRAM_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_PROGRAM_WIN_H_

#include <string>

namespace installer {
namespace sample {

// The environment variable naming a file to which every start appends its
// line; tests set it to see a program start that has no console.
inline constexpr wchar_t kSampleProgramLogVariable[] =
    L"VELNA_SAMPLE_PROGRAM_LOG";

// Writes one line, "<role> started: <executable path>" followed by the
// arguments when there are any, to standard output and, when
// kSampleProgramLogVariable names a file, appends it there (UTF-8, CRLF).
// Returns the process exit code: 0, or 1 when the log file named cannot be
// written.
int RunSampleProgram(const wchar_t* role);

// The launcher: RunSampleProgram("launcher"); then, when an argument is
// the uninstall switch ("--uninstall", "-uninstall" or "/uninstall", in any
// letter case), runs the installer of the installation it belongs to, as
// the browser's own launcher does: "installer.exe" in the subfolder of its
// own folder named by the highest version, with the launcher's arguments
// as they were given. Returns that installer's exit code, or 1 when there
// is no installer to run or it cannot be started.
int RunSampleLauncher();

// Whether |argument| is the uninstall switch (see RunSampleLauncher).
bool IsUninstallSwitch(const std::wstring& argument);

// "installer.exe" in the subfolder of |folder| whose name is the highest
// version ("41.0.1.2": numbers separated by dots) of those that hold one;
// empty when there is none.
std::wstring FindInstalledInstaller(const std::wstring& folder);

}  // namespace sample
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_PROGRAM_WIN_H_
