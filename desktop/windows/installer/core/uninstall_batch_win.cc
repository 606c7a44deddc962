#include "desktop/windows/installer/core/uninstall_batch_win.h"

#include <windows.h>

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/files/system_path_win.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/core/process_helpers_win.h"
#include "desktop/windows/installer/core/uninstall_batch.h"

namespace installer {

namespace {

// |text| in the OEM code page when every character converts back to
// itself.
bool ToOemRoundTrip(const std::u16string& text, std::string* out) {
  if (text.empty()) return false;
  const int length = static_cast<int>(text.size());
  BOOL used_default = FALSE;
  const int size =
      WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, base::as_wcstr(text),
                          length, nullptr, 0, nullptr, &used_default);
  if (size <= 0 || used_default) return false;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, base::as_wcstr(text),
                      length, bytes.data(), size, nullptr, &used_default);
  if (used_default) return false;
  const int wide_size = MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS,
                                            bytes.data(), size, nullptr, 0);
  if (wide_size != length) return false;
  std::u16string back(static_cast<size_t>(wide_size), u'\0');
  MultiByteToWideChar(CP_OEMCP, MB_ERR_INVALID_CHARS, bytes.data(), size,
                      base::as_writable_wcstr(back), wide_size);
  if (back != text) return false;
  *out = std::move(bytes);
  return true;
}

// How long the clean-up batch file waits for its folder to become free for
// the interpreter, and how often it looks.
constexpr int kCurrentFolderWaitMs = 10000;
constexpr int kCurrentFolderPollMs = 50;

// Whether |folder| can be opened as a new process's current folder is. A
// handle that holds it for deletion without delete sharing (a folder being
// emptied or removed, by this process or another) prevents that, and a
// child started there runs in another folder (Wine) or not at all.
bool CanBeCurrentFolder(const base::FilePath& folder) {
  const HANDLE handle = ::CreateFileW(
      base::SystemPathArg(folder), FILE_TRAVERSE | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

}  // namespace

bool ToBatchPath(const base::FilePath& path, std::string* out) {
  if (ToOemRoundTrip(path.value(), out)) return true;
  wchar_t short_path[MAX_PATH] = {};
  const DWORD length =
      GetShortPathNameW(base::as_wcstr(path.value()), short_path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  return ToOemRoundTrip(std::u16string(base::as_u16cstr(short_path), length),
                        out);
}

base::FilePath GetSystemCommandInterpreter() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return base::FilePath();
  return base::FilePath(base::as_u16cstr(system)).Append(u"cmd.exe");
}

bool LaunchUninstallBatch(const base::FilePath& install_folder) {
  if (!base::PathExists(install_folder.Append(kUninstallBatchFileName)))
    return false;
  const base::FilePath interpreter = GetSystemCommandInterpreter();
  if (interpreter.empty()) return false;
  base::CommandLine command_line(interpreter);
  command_line.AppendArg("/d");
  // Delayed expansion may be switched on for every interpreter in the
  // registry: a '!' of a path would then be expanded.
  command_line.AppendArg("/v:off");
  command_line.AppendArg("/c");
  command_line.AppendArgNative(kUninstallBatchFileName);
  base::LaunchOptions options;
  options.start_hidden = true;
  // The interpreter finds the file by its name in its current folder: a
  // full path on its command line would have its '%' expanded. So that
  // folder must be free when it starts.
  options.current_directory = install_folder;
  for (int waited = 0; !CanBeCurrentFolder(install_folder); ) {
    if (waited >= kCurrentFolderWaitMs) {
      PLOG(ERROR) << "The clean-up batch file's folder stays held: "
                  << install_folder;
      return false;
    }
    ::Sleep(kCurrentFolderPollMs);
    waited += kCurrentFolderPollMs;
  }
  // The interpreter echoes every command it runs; the caller of the
  // uninstaller must not see them.
  if (!LaunchWithoutOutput(command_line, options).IsValid()) {
    PLOG(ERROR) << "Could not start the clean-up batch file";
    return false;
  }
  return true;
}

}  // namespace installer
