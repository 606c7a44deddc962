#include "desktop/windows/installer/package_fetcher/package_run_lock_win.h"

#include <windows.h>

#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"

namespace installer {

namespace {

constexpr char16_t kLockExtension[] = u"lock";
// The stems MakeDownloadFileName() gives.
constexpr char16_t kLockPattern[] = u"velna_installer_*.lock";

}  // namespace

PackageRunLock::PackageRunLock(const base::FilePath& download_path)
    : path_(download_path.ReplaceExtension(kLockExtension)) {
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  // Others may read it and delete it (the owner's own deletion at the end
  // must work while a backend still holds an inherited handle), but never
  // open it for themselves alone: that is how a later run sees it held.
  file_.Set(CreateFileW(base::as_wcstr(path_.value()), GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_DELETE, &inheritable,
                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_.IsValid())
    PLOG(WARNING) << "Could not create the package lock " << path_;
}

PackageRunLock::~PackageRunLock() {
  if (!file_.IsValid()) return;
  file_.Close();
  if (!DeleteFileW(base::as_wcstr(path_.value())))
    PLOG(WARNING) << "Could not remove the package lock " << path_;
}

// static
int PackageRunLock::RemoveStaleRuns(const base::FilePath& download_folder) {
  std::vector<base::FilePath> locks;
  base::FileEnumerator enumerator(download_folder, false,
                                  base::FileEnumerator::FILES, kLockPattern);
  for (base::FilePath lock = enumerator.Next(); !lock.empty();
       lock = enumerator.Next()) {
    locks.push_back(lock);
  }
  int removed = 0;
  for (const base::FilePath& lock : locks) {
    // Alone, or not at all: a run that lives (or a backend of it) holds it.
    base::win::ScopedHandle alone(
        CreateFileW(base::as_wcstr(lock.value()), GENERIC_READ, 0, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!alone.IsValid()) continue;
    const base::FilePath download = lock.ReplaceExtension(u"exe");
    bool complete = true;
    for (const base::FilePath& path :
         {download, GetArchivePath(download), GetPackageFolder(download)}) {
      if (!base::DeleteFileOrDirectory(path, true)) {
        LOG(WARNING) << "Could not remove " << path << " of an earlier run";
        complete = false;
      }
    }
    alone.Close();
    // Kept while something of the run is left, for a later try.
    if (!complete || !DeleteFileW(base::as_wcstr(lock.value()))) continue;
    LOG(INFO) << "Removed what an earlier run left: "
              << download.RemoveExtension();
    ++removed;
  }
  return removed;
}

}  // namespace installer
