#include "desktop/windows/installer/core/uninstall_batch.h"

namespace installer {

namespace {

constexpr char kLineEnd[] = "\r\n";
// How often a leftover file is tried, a second apart.
constexpr int kMaxDeleteAttempts = 30;
// The task list of one process goes into this file in the batch file's own
// folder, where FIND reads it.
constexpr char kTaskListFileName[] = "tasks.txt";
// Hold the quoted paths for the interpreter that removes the own folder: a
// path reaches it inside a variable, not on its command line, where quotes
// inside the quoted command would not survive (neither "/c" nor Wine's
// "start", which splits and joins its arguments again, keeps them).
constexpr char kRemovedFolderVariable[] = "REMOVED_FOLDER";
constexpr char kDelayProgramVariable[] = "DELAY_PROGRAM";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Whether |folder| is |ancestor| or lies below it, comparing components
// while ignoring case.
bool IsInsideOrSame(const base::FilePath& folder,
                    const base::FilePath& ancestor) {
  std::vector<std::u16string> parts;
  std::vector<std::u16string> ancestor_parts;
  folder.GetComponents(&parts);
  ancestor.GetComponents(&ancestor_parts);
  if (ancestor_parts.empty() || parts.size() < ancestor_parts.size())
    return false;
  for (size_t i = 0; i < ancestor_parts.size(); ++i) {
    if (base::FilePath::CompareIgnoreCase(parts[i], ancestor_parts[i]) != 0)
      return false;
  }
  return true;
}

}  // namespace

std::string EscapeBatchPercent(const std::string& path) {
  std::string escaped;
  escaped.reserve(path.size());
  for (char c : path) {
    escaped += c;
    if (c == '%') escaped += '%';
  }
  return escaped;
}

std::string BuildUninstallBatchText(const UninstallBatchPlan& plan) {
  const std::string system = EscapeBatchPercent(plan.system_folder);
  const std::string own = EscapeBatchPercent(plan.own_folder);
  auto program = [&system](const char* name) {
    return Quoted(system + "\\" + name);
  };
  // Two echo requests: about one second.
  const std::string pause = program("ping.exe") + " -n 2 127.0.0.1 >NUL";
  const std::string task_list = Quoted(own + "\\" + kTaskListFileName);
  std::vector<std::pair<std::string, uint32_t>> waits;
  for (size_t i = 0; i < plan.process_ids.size(); ++i) {
    if (plan.process_ids[i] == 0) continue;
    waits.emplace_back("PID" + std::to_string(i + 1) + "_RUNNING",
                       plan.process_ids[i]);
  }
  std::string text;
  if (plan.wait_for_uninstaller) {
    // The uninstaller holds the file, which cannot be renamed meanwhile,
    // and deletes it once it has finished. One that ended before leaves it
    // to be renamed here: then nothing is done.
    const std::string hold = Quoted(own + "\\" + kUninstallerHoldFileName);
    const std::string abandoned = Quoted(own + "\\" + kAbandonedHoldFileName);
    text += std::string(":uninstalling") + kLineEnd;
    text += "ren " + hold + " " + kAbandonedHoldFileName + kLineEnd;
    text += "IF EXIST " + abandoned + " GOTO :end" + kLineEnd;
    text += "IF NOT EXIST " + hold + " GOTO :uninstalled" + kLineEnd;
    text += pause + kLineEnd;
    text += std::string("GOTO :uninstalling") + kLineEnd;
    text += std::string(":uninstalled") + kLineEnd;
  }
  for (const auto& [flag, pid] : waits)
    text += "SET " + flag + "=TRUE" + kLineEnd;
  text += std::string(":again") + kLineEnd;
  for (const auto& [flag, pid] : waits) {
    text += "IF %" + flag + "%==TRUE (" + kLineEnd;
    text += program("tasklist.exe") + " /FI \"PID eq " + std::to_string(pid) +
            "\" >" + task_list + kLineEnd;
    text += program("find.exe") + " /c /i \".exe\" " + task_list + kLineEnd;
    text += "IF ERRORLEVEL 1 SET " + flag + "=FALSE" + kLineEnd;
    text += std::string(")") + kLineEnd;
  }
  text += pause + kLineEnd;
  for (const auto& [flag, pid] : waits)
    text += "IF %" + flag + "%==TRUE GOTO :again" + kLineEnd;
  if (!waits.empty()) text += "del " + task_list + kLineEnd;
  if (!plan.files.empty()) {
    // The wait above needs TASKLIST and FIND, which not every system has
    // (some editions lack TASKLIST; Wine's prints nothing), and a process
    // not waited for may still hold a file: a file that is still there is
    // tried again once a second, kMaxDeleteAttempts times in all.
    text += std::string("SET DELETE_ATTEMPTS=0") + kLineEnd;
    text += std::string(":delete") + kLineEnd;
    for (const std::string& file : plan.files)
      text += "del " + Quoted(EscapeBatchPercent(file)) + kLineEnd;
    text += std::string("SET /A DELETE_ATTEMPTS+=1") + kLineEnd;
    text += "IF %DELETE_ATTEMPTS% GEQ " + std::to_string(kMaxDeleteAttempts) +
            " GOTO :folders" + kLineEnd;
    for (const std::string& file : plan.files) {
      text += "IF EXIST " + Quoted(EscapeBatchPercent(file)) + " GOTO :wait" +
              kLineEnd;
    }
    text += std::string("GOTO :folders") + kLineEnd;
    text += std::string(":wait") + kLineEnd;
    text += pause + kLineEnd;
    text += std::string("GOTO :delete") + kLineEnd;
    text += std::string(":folders") + kLineEnd;
  }
  if (!plan.record.empty()) {
    for (const std::string& file : plan.files) {
      text += "IF EXIST " + Quoted(EscapeBatchPercent(file)) + " GOTO :end" +
              kLineEnd;
    }
    text += "del " + Quoted(EscapeBatchPercent(plan.record)) + kLineEnd;
  }
  for (const std::string& folder : plan.folders)
    text += "rmdir " + Quoted(EscapeBatchPercent(folder)) + kLineEnd;
  if (plan.wait_for_uninstaller ||
      (!plan.record.empty() && !plan.files.empty())) {
    text += std::string(":end") + kLineEnd;
  }
  if (plan.wait_for_uninstaller) {
    text += "IF EXIST " + Quoted(own + "\\" + kAbandonedHoldFileName) +
            " del " + Quoted(own + "\\" + kAbandonedHoldFileName) + kLineEnd;
  }
  // The own folder holds this file, which the interpreter running it keeps
  // open to its end (Wine's does): another one removes it, two seconds after
  // this one has ended.
  text += std::string("SET ") + kRemovedFolderVariable + "=" + Quoted(own) +
          kLineEnd;
  text += std::string("SET ") + kDelayProgramVariable + "=" +
          program("ping.exe") + kLineEnd;
  text += "start \"\" /d " + Quoted(system) + " /b " + program("cmd.exe") +
          " /d /v:off /c %%" + kDelayProgramVariable +
          "%% -n 3 127.0.0.1 ^>NUL ^& rmdir %%" + kRemovedFolderVariable +
          "%%" + kLineEnd;
  text += std::string("del %0") + kLineEnd;
  return text;
}

void CollectLeftoverFolders(const base::FilePath& file,
                            const base::FilePath& install_folder,
                            std::set<base::FilePath>* folders) {
  if (!IsInsideOrSame(file, install_folder)) return;
  for (base::FilePath folder = file.DirName();
       IsInsideOrSame(folder, install_folder) &&
       !IsInsideOrSame(install_folder, folder);) {
    folders->insert(folder);
    const base::FilePath parent = folder.DirName();
    if (parent == folder) break;
    folder = parent;
  }
}

}  // namespace installer
