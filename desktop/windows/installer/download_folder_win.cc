#include "desktop/windows/installer/download_folder_win.h"

#include <windows.h>
// After windows.h.
#include <knownfolders.h>

#include <memory>
#include <string>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/process_helpers_win.h"
#include "desktop/windows/installer/service/utils.h"

namespace installer {

namespace {

// The Downloads folder has no CSIDL: where known folders are missing the
// candidate fails.
constexpr int kNoCsidl = -1;

// Deletes the test run's copy. Scanners may hold a program a moment after
// its process has ended, so a refusal is tried again for a short while.
void DeleteTestCopy(const base::FilePath& copy) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (base::DeleteFileOrDirectory(copy, false)) return;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
    Sleep(50);
  }
  PLOG(WARNING) << "Could not delete the test run's copy " << copy;
}

// Copies |program| into |folder| for the test run and returns the copy's
// path, or an empty path. The copy is a file of its own: a second name of
// the running program could not be deleted while the program runs. It takes
// the program's own name; a file of that name left by an earlier run is
// deleted first (never written through: it may be a link to another file),
// and when it is in use (another run's) this process's id is added to the
// name.
base::FilePath PlaceTestCopy(const base::FilePath& program,
                             const base::FilePath& folder) {
  base::FilePath copy = folder.Append(program.BaseName().value());
  if (base::PathExists(copy) && !base::DeleteFileOrDirectory(copy, false)) {
    copy = copy.InsertBeforeExtensionASCII(
        "_" + std::to_string(GetCurrentProcessId()));
    if (base::PathExists(copy) && !base::DeleteFileOrDirectory(copy, false))
      return base::FilePath();
  }
  return base::CopyOneFile(program, copy) ? copy : base::FilePath();
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
  DeleteTestCopy(run->copy);
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

bool IsElevatedFrontEnd() {
  return GetInstallerRights()->IsUserAdministrator(false);
}

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
  const base::FilePath copy = PlaceTestCopy(program, folder);
  if (copy.empty()) return false;
  const bool started = LaunchVersionRun(copy, true).IsValid();
  DeleteTestCopy(copy);
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
  if (!base::DirectoryExists(run->folder)) {
    if (!base::FileUtil::CreateDirectory(run->folder)) return;
    run->made_folder = true;
  }
  // A copy that cannot be made is left to the candidate's own test.
  run->copy = PlaceTestCopy(test_program, run->folder);
  if (run->copy.empty()) {
    if (run->made_folder) RemoveDirectoryW(base::as_wcstr(run->folder.value()));
    return;
  }
  run->process = LaunchVersionRun(run->copy, false);
  g_run_ahead = run.release();
  base::AtExitManager::RegisterCallback(&AbandonRunAhead, nullptr);
}

}  // namespace installer
