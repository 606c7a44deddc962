// ProcessSwitches: the switches of an installer process that are not
// settings: which processes started it, where the package it waits for will
// be, and what it passes on unchanged to the processes it starts. They are
// read once, with the settings (Settings::process_switches()), and handed
// to whatever needs them from there; nothing reads them from the process's
// command line again. Portable; a plain value.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PROCESS_SWITCHES_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PROCESS_SWITCHES_H_

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_path.h"

namespace base {
class CommandLine;
}  // namespace base

namespace installer {

struct ProcessSwitches {
  // Each value as the command line gives it; absent when the switch is.

  // "initial-pid": the front end's process id, passed on to every backend.
  std::optional<std::u16string> initial_pid;
  // "initial-proc-handle": the front end's process as an inherited handle
  // (empty when the value is not ASCII).
  std::optional<std::string> initial_proc_handle;
  // "parent-pid": the backend that started this elevated copy.
  std::optional<std::u16string> parent_pid;
  // "installer-log-name": the name of this backend's log, which the
  // process that started it reads.
  std::optional<std::u16string> log_name;
  // "wait-for-package": the package folder of a first backend.
  std::optional<base::FilePath> wait_for_package;
  // "post-elevated-install-tasks": a package backend that only completes
  // an elevated installation for the current user.
  bool post_elevated_install_tasks = false;
  // "temp-folder": the base of the download folder, kept in the
  // installation's preferences and passed on.
  std::optional<std::u16string> temp_folder;
  // "v": the verbose log level, passed on.
  std::optional<std::u16string> verbose_level;
  // "server-tracking-data": the tracking data's file in the package.
  std::optional<base::FilePath> server_tracking_data;
  // "import-bookmarks", "import-session", "import-topsites-to-speeddial",
  // those given, in that order, with their values: passed on to the
  // backend and to the browser's first start.
  std::vector<std::pair<std::string, std::u16string>> browser_import;

  // "initial-pid" and "parent-pid" as numbers: false when absent or not a
  // whole decimal number that fits 32 bits.
  bool GetInitialPid(unsigned* pid) const;
  bool GetParentPid(unsigned* pid) const;
};

ProcessSwitches ReadProcessSwitches(const base::CommandLine& command_line);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PROCESS_SWITCHES_H_
