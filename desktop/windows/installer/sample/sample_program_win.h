// The body of the sample package's programs (the launcher and the browser
// executable): stand-ins that the end-to-end tests install, start and
// remove. They report that they ran; the launcher also hands an uninstall
// on (sample_launcher_win.h).

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

// The program's own path, and its command line less the program as the
// system keeps it.
std::wstring ProgramPath();
std::wstring ProgramArguments();

}  // namespace sample
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SAMPLE_SAMPLE_PROGRAM_WIN_H_
