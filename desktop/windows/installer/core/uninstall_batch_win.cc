#include "desktop/windows/installer/core/uninstall_batch_win.h"

#include <limits.h>
#include <windows.h>

#include <algorithm>

#include "base/files/file_util.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/process/launch.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/core/process_helpers_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"

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

// Names tried for a folder of the user's before giving up.
constexpr int kFolderNameAttempts = 16;

// A new folder in the user's own temporary folder, which no other user may
// change, for a batch file that runs as this user. Empty, after an error
// line, when none can be made.
base::FilePath CreateUserFolder() {
  base::FilePath temp;
  if (!base::GetTempDir(&temp)) {
    LOG(ERROR) << "The temporary folder is unknown";
    return base::FilePath();
  }
  for (int attempt = 0; attempt < kFolderNameAttempts; ++attempt) {
    const base::FilePath folder = temp.Append(NewProtectedFolderName());
    if (CreateDirectoryW(base::as_wcstr(folder.value()), nullptr))
      return folder;
  }
  PLOG(ERROR) << "Cannot make a folder for the clean-up batch file in " << temp;
  return base::FilePath();
}

// Where the |index|th file the batch file takes, |file|, goes in its
// folder |folder|: names of files from several folders may be alike.
base::FilePath TakenName(const base::FilePath& folder, size_t index,
                         const base::FilePath& file) {
  return folder.Append(base::UTF8ToUTF16(std::to_string(index) + "-") +
                       file.BaseName().value());
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

base::FilePath GetSystemFolder() {
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return base::FilePath();
  return base::FilePath(std::u16string(base::as_u16cstr(system), length));
}

base::FilePath GetSystemCommandInterpreter() {
  const base::FilePath system = GetSystemFolder();
  return system.empty() ? system : system.Append(u"cmd.exe");
}

base::FilePath WriteUninstallBatch(UninstallBatchPlan plan, bool elevated,
                                   base::win::ScopedHandle* hold,
                                   const std::vector<base::FilePath>& take) {
  const base::FilePath system = GetSystemFolder();
  if (system.empty() || !ToBatchPath(system, &plan.system_folder)) {
    LOG(ERROR) << "The clean-up batch file cannot name the system folder";
    return base::FilePath();
  }
  base::FilePath folder;
  if (!elevated) {
    folder = CreateUserFolder();
  } else {
    // On the volume of what it takes, which cannot be renamed to another.
    // Without a folder there, that stays where it is (and is said so).
    if (!take.empty()) folder = CreateProtectedFolderOnVolumeOf(take.front());
    if (folder.empty()) folder = CreateProtectedFolder();
  }
  if (folder.empty()) return base::FilePath();
  auto discard = [elevated, &folder] {
    if (elevated)
      RemoveProtectedFolder(folder);
    else
      RemoveDirectoryW(base::as_wcstr(folder.value()));
  };
  const base::FilePath batch = folder.Append(kUninstallBatchFileName);
  if (batch.value().find(u'%') != std::u16string::npos ||
      !ToBatchPath(folder, &plan.own_folder)) {
    LOG(ERROR) << "The command interpreter cannot run a batch file in "
               << folder << ": its name holds a '%' or cannot be read";
    discard();
    return base::FilePath();
  }
  for (size_t i = 0; i < take.size(); ++i) {
    std::string batch_path;
    if (ToBatchPath(TakenName(folder, i, take[i]), &batch_path))
      plan.files.push_back(std::move(batch_path));
  }
  base::win::ScopedHandle held;
  const base::FilePath hold_path = folder.AppendASCII(kUninstallerHoldFileName);
  if (hold) {
    // Not inherited, and never shared for deletion or renaming: the batch
    // file can rename it only once this process has let go without
    // deleting it.
    held.Set(CreateFileW(base::as_wcstr(hold_path.value()),
                         GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                         CREATE_NEW, 0, nullptr));
    if (!held.IsValid()) {
      PLOG(ERROR) << "Could not make " << hold_path;
      discard();
      return base::FilePath();
    }
    plan.wait_for_uninstaller = true;
  }
  const std::string text = BuildUninstallBatchText(plan);
  if (text.size() > static_cast<size_t>(INT_MAX) ||
      base::WriteBufferToFile(batch, text.data(),
                              static_cast<int>(text.size())) !=
          static_cast<int>(text.size())) {
    LOG(ERROR) << "Could not write " << batch;
    base::DeleteFileOrDirectory(batch, false);
    if (held.IsValid()) {
      held.Close();
      base::DeleteFileOrDirectory(hold_path, false);
    }
    discard();
    return base::FilePath();
  }
  if (hold) *hold = std::move(held);
  LOG(INFO) << "Wrote the clean-up batch file " << batch;
  return batch;
}

bool MoveIntoUninstallBatchFolder(const base::FilePath& batch,
                                  const std::vector<base::FilePath>& take,
                                  size_t begin, size_t end) {
  bool all = true;
  for (size_t i = begin; i < std::min(end, take.size()); ++i) {
    const base::FilePath taken = TakenName(batch.DirName(), i, take[i]);
    LOG(INFO) << "Moving " << take[i]
              << " into the clean-up batch file's folder as " << taken;
    if (!base::MoveWithoutLinks(take[i].value(), taken.value(), false)) {
      PLOG(WARNING) << "Leaving " << take[i] << ": it cannot be moved to "
                    << taken;
      all = false;
    }
  }
  return all;
}

bool FinishUninstallBatchHold(base::win::ScopedHandle* hold) {
  const bool removed = hold->IsValid() && base::DeleteOpened(hold->Get());
  if (!removed) PLOG(ERROR) << "Cannot let the clean-up batch file go on";
  hold->Close();
  return removed;
}

bool LaunchUninstallBatch(const base::FilePath& batch) {
  const base::FilePath system = GetSystemFolder();
  if (system.empty()) return false;
  // With "/s" the interpreter takes what follows "/c" as it is, less the
  // outer quotes: the file's path is quoted once more, whatever it holds.
  // It has no '%' in it, which the interpreter would expand.
  const std::u16string command_line =
      u"\"" + system.Append(u"cmd.exe").value() + u"\" /d /v:off /s /c \"\"" +
      batch.value() + u"\"\"";
  base::LaunchOptions options;
  options.start_hidden = true;
  // Its own folder, which only the installer may change (nothing there is
  // found by a bare name) and which no other removal reaches: the
  // interpreter holds it as its current folder as long as it runs, so that
  // no other run takes it for left behind while it reads the file anew
  // for each line. The interpreter that removes it starts elsewhere.
  options.current_directory = batch.DirName();
  // The interpreter echoes every command it runs; the caller of the
  // uninstaller must not see them.
  if (!LaunchWithoutOutput(command_line, options).IsValid()) {
    PLOG(ERROR) << "Could not start the clean-up batch file " << batch;
    return false;
  }
  return true;
}

}  // namespace installer
