#include "desktop/windows/installer/core/uninstall_batch.h"

namespace installer {

namespace {

constexpr char kLineEnd[] = "\r\n";
// How often a leftover file is tried, a second apart.
constexpr int kMaxDeleteAttempts = 30;
// Three echo requests: about two seconds; escaped for the line that
// starts it.
constexpr char kFinalRemovalDelay[] = "ping -n 3 127.0.0.1 ^>NUL";
// Holds the quoted install folder for the interpreter that removes it.
constexpr char kRemovedFolderVariable[] = "REMOVED_FOLDER";
// Followed by 1, 2, ...: the folders above it that go after it.
constexpr char kRemovedParentVariable[] = "REMOVED_PARENT_";

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

std::string BuildUninstallBatchText(
    const std::vector<uint32_t>& process_ids,
    const std::vector<std::string>& files,
    const std::vector<std::string>& folders, const std::string& install_folder,
    const std::vector<std::string>& parent_folders) {
  std::vector<std::pair<std::string, uint32_t>> waits;
  for (size_t i = 0; i < process_ids.size(); ++i) {
    if (process_ids[i] == 0) continue;
    waits.emplace_back("PID" + std::to_string(i + 1) + "_RUNNING",
                       process_ids[i]);
  }
  std::string text;
  for (const auto& [flag, pid] : waits)
    text += "SET " + flag + "=TRUE" + kLineEnd;
  text += std::string(":again") + kLineEnd;
  for (const auto& [flag, pid] : waits) {
    text += "IF %" + flag + "%==TRUE (" + kLineEnd;
    text += "TASKLIST /FI \"PID eq " + std::to_string(pid) +
            "\" | FIND /c /i \".exe\"" + kLineEnd;
    text += "IF ERRORLEVEL 1 SET " + flag + "=FALSE" + kLineEnd;
    text += std::string(")") + kLineEnd;
  }
  // Two echo requests: about one second.
  text += std::string("ping -n 2 127.0.0.1 >NUL") + kLineEnd;
  for (const auto& [flag, pid] : waits)
    text += "IF %" + flag + "%==TRUE GOTO :again" + kLineEnd;
  if (!files.empty()) {
    // The wait above needs TASKLIST and FIND, which not every system has
    // (some editions lack TASKLIST; Wine's prints nothing), and a process
    // not waited for may still hold a file: a file that is still there is
    // tried again once a second, kMaxDeleteAttempts times in all.
    text += std::string("SET DELETE_ATTEMPTS=0") + kLineEnd;
    text += std::string(":delete") + kLineEnd;
    for (const std::string& file : files)
      text += "del \"" + EscapeBatchPercent(file) + "\"" + kLineEnd;
    text += std::string("SET /A DELETE_ATTEMPTS+=1") + kLineEnd;
    text += "IF %DELETE_ATTEMPTS% GEQ " + std::to_string(kMaxDeleteAttempts) +
            " GOTO :folders" + kLineEnd;
    for (const std::string& file : files) {
      text +=
          "IF EXIST \"" + EscapeBatchPercent(file) + "\" GOTO :wait" + kLineEnd;
    }
    text += std::string("GOTO :folders") + kLineEnd;
    text += std::string(":wait") + kLineEnd;
    text += std::string("ping -n 2 127.0.0.1 >NUL") + kLineEnd;
    text += std::string("GOTO :delete") + kLineEnd;
    text += std::string(":folders") + kLineEnd;
  }
  for (const std::string& folder : folders)
    text += "rmdir \"" + EscapeBatchPercent(folder) + "\"" + kLineEnd;
  if (!install_folder.empty()) {
    // The folder holds this file, which the interpreter running it keeps
    // open to its end (Wine's does), and is that interpreter's current
    // folder: another one, started in the parent folder, removes it once
    // this one has ended. The folder reaches it quoted inside a variable,
    // not on its command line: "start" (Wine's) splits and joins its
    // arguments again, which quotes inside a quoted command do not survive.
    const std::string folder = EscapeBatchPercent(install_folder);
    text += std::string("SET ") + kRemovedFolderVariable + "=\"" + folder +
            "\"" + kLineEnd;
    std::string removals =
        std::string(" ^& rmdir %%") + kRemovedFolderVariable + "%%";
    // The interpreter's own folder cannot be removed: it runs above the
    // highest of them.
    std::string outside = folder;
    for (size_t i = 0; i < parent_folders.size(); ++i) {
      const std::string variable =
          kRemovedParentVariable + std::to_string(i + 1);
      outside = EscapeBatchPercent(parent_folders[i]);
      text += "SET " + variable + "=\"" + outside + "\"" + kLineEnd;
      removals += " ^& rmdir %%" + variable + "%%";
    }
    text += "start \"\" /d \"" + outside + "\\..\" /b cmd /d /v:off /c " +
            kFinalRemovalDelay + removals + kLineEnd;
  }
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
