#include "desktop/windows/installer/download_folder_win.h"

#include <windows.h>
// After windows.h.
#include <knownfolders.h>

#include <memory>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/installer_switches.h"
#include "desktop/windows/installer/process_helpers_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// The Downloads folder has no CSIDL: where known folders are missing the
// candidate fails.
constexpr int kNoCsidl = -1;

// A full installer carries the whole package: on one volume the test run's
// copy is a hard link to it, which starts the same and writes nothing. A
// read-only program, a name already taken or another volume get a copy.
bool PlaceTestCopy(const base::FilePath& program, const base::FilePath& copy) {
  const DWORD attributes = GetFileAttributesW(base::as_wcstr(program.value()));
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      !(attributes & FILE_ATTRIBUTE_READONLY) && !base::PathExists(copy) &&
      CreateHardLinkW(base::as_wcstr(copy.value()),
                      base::as_wcstr(program.value()), nullptr)) {
    return true;
  }
  return base::CopyOneFile(program, copy);
}

// The test run started ahead, until TestRunInFolder() or the at-exit scope
// takes it.
struct RunAhead {
  base::FilePath folder;
  base::FilePath program;
  base::FilePath copy;
  base::Process process;
  // The folder was made for this run.
  bool made_folder = false;
};
RunAhead* g_run_ahead = nullptr;

// Waits for the run, deletes the copy; true when it had started.
bool FinishRunAhead(RunAhead* run) {
  const bool started = run->process.IsValid();
  int exit_code = 0;
  if (started) run->process.WaitForExitWithTimeout(INFINITE, &exit_code);
  base::DeleteFileOrDirectory(run->copy, false);
  return started;
}

void AbandonRunAhead(void*) {
  if (!g_run_ahead) return;
  FinishRunAhead(g_run_ahead);
  if (g_run_ahead->made_folder)
    RemoveDirectoryW(base::as_wcstr(g_run_ahead->folder.value()));
  delete g_run_ahead;
  g_run_ahead = nullptr;
}

base::Process LaunchVersionRun(const base::FilePath& copy, bool wait) {
  base::CommandLine command_line(copy);
  command_line.AppendSwitch(switches::kVersion);
  base::LaunchOptions options;
  options.wait = wait;
  // The copy prints its version, which is nobody's business.
  return LaunchWithoutOutput(command_line, options);
}

}  // namespace

bool GetTempInstallerFolder(const std::u16string& name,
                            const base::FilePath& test_program,
                            base::FilePath* folder) {
  return TryPathServiceFolderCandidate(name, test_program, folder,
                                       base::DIR_TEMP) ||
         TryDownloadsFolderCandidate(name, test_program, folder) ||
         TryPathServiceFolderCandidate(name, test_program, folder,
                                       base::DIR_HOME) ||
         TryPathServiceFolderCandidate(name, test_program, folder,
                                       base::DIR_EXE);
}

bool TryPathServiceFolderCandidate(const std::u16string& name,
                                   const base::FilePath& test_program,
                                   base::FilePath* folder, int path_key) {
  base::FilePath base;
  if (!base::PathService::Get(path_key, &base)) return false;
  *folder = base;
  return TryInstallerFolderCandidate(name, test_program, folder);
}

bool TryDownloadsFolderCandidate(const std::u16string& name,
                                 const base::FilePath& test_program,
                                 base::FilePath* folder) {
  base::FilePath base;
  if (!GetKnownFolderPath(FOLDERID_Downloads, kNoCsidl, &base, true))
    return false;
  *folder = base;
  return TryInstallerFolderCandidate(name, test_program, folder);
}

bool TryInstallerFolderCandidate(const std::u16string& name,
                                 const base::FilePath& test_program,
                                 base::FilePath* folder) {
  *folder = folder->Append(name);
  if (!base::DirectoryExists(*folder) &&
      !base::FileUtil::CreateDirectory(*folder)) {
    return false;
  }
  if (test_program.empty()) return true;
  if (TestRunInFolder(*folder, test_program)) return true;
  // Removes the folder only when it is empty: an earlier run's files stay.
  RemoveDirectoryW(base::as_wcstr(folder->value()));
  return false;
}

bool TestRunInFolder(const base::FilePath& folder,
                     const base::FilePath& program) {
  if (g_run_ahead && g_run_ahead->folder == folder &&
      g_run_ahead->program == program) {
    std::unique_ptr<RunAhead> run(g_run_ahead);
    g_run_ahead = nullptr;
    return FinishRunAhead(run.get());
  }
  const base::FilePath copy = folder.Append(program.BaseName().value());
  if (!PlaceTestCopy(program, copy)) return false;
  const bool started = LaunchVersionRun(copy, true).IsValid();
  base::DeleteFileOrDirectory(copy, false);
  return started;
}

void StartTestRunAhead(const std::u16string& name,
                       const base::FilePath& test_program) {
  base::FilePath temp;
  if (g_run_ahead || test_program.empty() ||
      !base::PathService::Get(base::DIR_TEMP, &temp)) {
    return;
  }
  auto run = std::make_unique<RunAhead>();
  run->folder = temp.Append(name);
  run->program = test_program;
  run->copy = run->folder.Append(test_program.BaseName().value());
  if (!base::DirectoryExists(run->folder)) {
    if (!base::FileUtil::CreateDirectory(run->folder)) return;
    run->made_folder = true;
  }
  // A copy that cannot be made is left to the candidate's own test.
  if (!PlaceTestCopy(test_program, run->copy)) {
    if (run->made_folder) RemoveDirectoryW(base::as_wcstr(run->folder.value()));
    return;
  }
  run->process = LaunchVersionRun(run->copy, false);
  g_run_ahead = run.release();
  base::AtExitManager::RegisterCallback(&AbandonRunAhead, nullptr);
}

}  // namespace installer
