// Where the crash reporter keeps its files: the crash folder (its current
// directory) with the crash logs and dumps, the counter file, the browser
// state file and the crash-id map file; and how crash files are named.
//
// The three files come from the path service keys below, which answer only
// while the user-data folder (kDirUserData, from "user-data-dir") is known;
// otherwise none is known, and the reporter keeps no counter or map file and
// runs with the default features.
//
// The process-wide paths are set once by InitCrashPaths on the main thread
// before any crash is handled, and only read afterwards.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_PATHS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_PATHS_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "base/strings/string_piece.h"

namespace crash_reporter {

// Path service keys.
inline constexpr int kDirUserData = 1002;
inline constexpr int kFileCrashCounters = 2015;
inline constexpr int kFileCrashIdMap = 2016;
inline constexpr int kFileBrowserState = 2017;

// Their file names in the user-data folder.
inline constexpr char16_t kCrashCountersFileName[] = u"crash_counters.json";
inline constexpr char16_t kCrashIdMapFileName[] = u"crash_id_map.txt";
inline constexpr char16_t kBrowserStateFileName[] = u"Local State";

inline constexpr char kUserDataDirSwitch[] = "user-data-dir";
inline constexpr char16_t kCrashLogDirVariable[] = u"VELNA_CRASH_LOG_DIR";
// Followed by the upper-cased product name.
inline constexpr char16_t kKeepLogsVariableSuffix[] = u"_CRASH_KEEP_LOGS";

inline constexpr char16_t kCrashLogExtension[] = u".txt";
inline constexpr char16_t kMinidumpExtension[] = u".dmp";

struct CrashPaths {
  base::FilePath crash_folder;
  // Each empty when unknown.
  base::FilePath counter_file;
  base::FilePath browser_state_file;
  base::FilePath crash_id_map_file;
  // The crash folder came from kCrashLogDirVariable.
  bool custom_log_folder = false;
};

// "<product name lower-cased>-crashlog-<pid>-<n><extension>".
std::u16string FormatCrashFileName(base::StringPiece product_name, uint32_t pid,
                                   uint32_t n, base::StringPiece16 extension);

// The crash-id map file of crash |n|: with a custom log folder, "-<pid>-<n>"
// goes before the map file's extension; otherwise the file itself. Empty
// when the map file is unknown.
base::FilePath FormatCrashIdMapPath(const CrashPaths& paths, uint32_t pid,
                                    uint32_t n);

// True for "1" or "yes" in any case, as the keep-logs variable's value.
bool IsKeepLogsValue(base::StringPiece16 value);

// --- Windows: the process-wide state.

// Answers kDirUserData (only when overridden) and the three file keys
// derived from it.
bool GetCrashReporterPath(int key, base::FilePath* path);

// Fills the process-wide paths: the user-data folder from "user-data-dir"
// (created when missing), the three files, and the crash folder:
// kCrashLogDirVariable (1 to 259 characters, made absolute, created when
// missing), else the temporary folder. False when no crash folder can be
// found.
bool InitCrashPaths();
const CrashPaths& GetCrashPaths();
// Replaces the process-wide paths (tests).
void SetCrashPathsForTesting(const CrashPaths& paths);

// Relative to the crash folder, for this process and crash |n|. A dump's
// name also carries 16 random hexadecimal digits before its extension,
// new at each call.
base::FilePath GetCrashLogFileName(uint32_t n);
base::FilePath GetMinidumpFileName(uint32_t n);
base::FilePath GetCrashIdMapPath(uint32_t n);

// The process-wide crash number, incremented before each use: the first
// crash is 1.
uint32_t IncrementCrashNumber();

// The keep-logs variable (the product name upper-cased, then
// kKeepLogsVariableSuffix), read into 4 characters, is "1" or "yes".
bool ShouldKeepCrashLogs();

// The reporter's own log: "<product>_crashreporter.log" in the temporary
// folder (a new file per process), else the system debug log; every prefix
// item on; INFO and above; log messages also go to the log capture.
void InitCrashReporterLogging();

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_CRASH_REPORTER_PATHS_H_
