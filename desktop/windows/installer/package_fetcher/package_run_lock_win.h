// PackageRunLock: marks the files of one package fetcher in the download
// folder (its download, archive and package folder, which share the stem
// "velna_installer_<time>") as in use, by a "<stem>.lock" file that the
// front end holds open while it lives. The handle is inheritable, so the
// backends that the front end starts (one of them runs from the package
// folder) hold it too. A run that was killed leaves its lock file behind,
// unheld: RemoveStaleRuns() of a later run removes that run's files.
//
// Windows only; one thread at a time.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_RUN_LOCK_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_RUN_LOCK_WIN_H_

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

class PackageRunLock {
 public:
  // Creates and holds the lock of the run whose download is
  // |download_path|. A lock that cannot be created (another run of the
  // same second holds it) is logged; the run goes on without one.
  explicit PackageRunLock(const base::FilePath& download_path);
  PackageRunLock(const PackageRunLock&) = delete;
  PackageRunLock& operator=(const PackageRunLock&) = delete;
  // Closes the lock and deletes its file (at once, or when the last
  // backend holding it has ended).
  ~PackageRunLock();

  bool held() const { return file_.IsValid(); }

  // Removes, in |download_folder|, the download, archive and package folder
  // of every earlier run whose lock file nobody holds, then that lock file.
  // A run without a lock file is never touched, nor one whose lock is
  // held. Returns how many runs were removed completely.
  static int RemoveStaleRuns(const base::FilePath& download_folder);

 private:
  const base::FilePath path_;
  base::win::ScopedHandle file_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_RUN_LOCK_WIN_H_
