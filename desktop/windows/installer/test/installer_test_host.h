// The switches of installer_test_host.exe (installer_test_host_win.cc) and
// where tests find it.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_TEST_HOST_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_TEST_HOST_H_

#include <string>

namespace installer {
namespace test {

inline constexpr char kHostMode[] = "host-mode";
inline constexpr char kHostModeDownloadFolder[] = "download-folder";
inline constexpr char kHostModeWait[] = "wait";
inline constexpr char kHostModeExit[] = "exit";
// Creates the Installer's master shortcut to "--target" with a copy in
// "--location" ("--pin" to pin it) and prints "created=<0|1>
// with_version=<0|1> copy=<path>", then every log line, one per line.
inline constexpr char kHostModeMasterShortcut[] = "master-shortcut";
inline constexpr char kHostTarget[] = "target";
inline constexpr char kHostLocation[] = "location";
inline constexpr char kHostPin[] = "pin";
inline constexpr char kHostFolderName[] = "folder-name";
inline constexpr char kHostTestProgram[] = "test-program";
inline constexpr char kHostExitCode[] = "exit-code";
// Names the file a host without a mode writes its command line into; a
// value ending with a separator names a folder, where each program writes
// "<its file name>.txt".
inline constexpr wchar_t kHostRecordVariable[] = L"VELNA_TEST_HOST_RECORD";
// After recording, such a host waits (up to a minute) until the event this
// variable names is set, then ends with the exit code the next one gives
// (0 without it).
inline constexpr wchar_t kHostReleaseEventVariable[] =
    L"VELNA_TEST_HOST_RELEASE_EVENT";
inline constexpr wchar_t kHostExitCodeVariable[] = L"VELNA_TEST_HOST_EXIT_CODE";
// Before recording, such a host writes the number of names its own
// executable file has (its hard links) into the file this variable names.
inline constexpr wchar_t kHostRecordLinksVariable[] =
    L"VELNA_TEST_HOST_RECORD_LINKS";

// Names a JSON file of seams. A host without a mode that finds it runs the
// installer engine (RunInstaller) with them in place, so that, copied as
// "installer.exe" into a package, it is a package backend with test steps:
//   {"branding": {"<key>": <value>, ...},     BrandingConfig overrides
//    "steps": [<test step>, ...]}             test_installer_steps.h
// or, with the real steps, a package backend that stops for good where a
// test ends every process of the installation:
//   {"stop": {"before_step": <index in the step list>, "event": "<name>"}}
//   {"stop": {"at_success": true, "event": "<name>"}}
//   {"stop": {"during_write": "<file name start>", "event": "<name>"}}
//   {"stop": {"at_log": "<text>", "event": "<name>"}}
//   {"stop": {"between_renames": "<file name start>", "event": "<name>"}}
// (the third: in the first atomic write of such a file, or the first copy
// that replaces one, its temporary file written and not yet in place; the
// fourth: at the first log line that holds the text, before it is written;
// the last: in the first copy that replaces such a file in two renames,
// the old file moved aside and the new one not yet in its place)
// sets the named event there and waits (up to two minutes) to be ended;
// with "resume_event": "<name>" beside "before_step", "at_success" or
// "at_log", it only pauses there (at every such line) until that event is
// set; "stop" may also be a list of
// such points (not "during_write", "at_log" or "between_renames"), where the
// run pauses in turn; and the further seams of test_host_seams_win.h (logs, a
// fake package fetcher, recorded folder grants; the rights of a user without
// elevation come from a second variable). Its exit code is 0 when the engine
// succeeded, 1 when it failed, 4 when the seams cannot be read.
inline constexpr wchar_t kHostSeamsVariable[] = L"VELNA_TEST_INSTALLER_SEAMS";

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_TEST_HOST_H_
