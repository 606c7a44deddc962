// PackageFetcher: brings the browser package into the package folder, from
// the payload appended to the installer or from the update server, and
// reports to its creator through a Delegate.
//
// The fetcher lives on its creator's thread, which must run a message loop.
// All the work happens on the thread "Package fetcher worker" (see
// PackageFetcherWorker); what the creator hears of it arrives as tasks
// posted to its own thread. Each Start() begins a run: the previous run's
// download and package folder are removed, then the package is read from
// the running executable or downloaded and checked, and unpacked. A run
// reports STARTED, then statuses in the order of FetcherStatus, and ends
// with exactly one of PACKAGE_READY, INITIALIZATION_FAILED, DOWNLOAD_FAILED
// or UNPACKING_FAILED, unless a new Start() or the destruction abandons it
// first.
//
// Files (from the download path D, "<download folder>\velna_installer_<local
// time>.exe"): D itself is the downloaded installer, D without its extension
// the package folder, D with the extension "7z" the archive. They live as
// long as the fetcher: its destruction removes them.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/threading/thread.h"
#include "base/time/time.h"
#include "desktop/windows/installer/package_fetcher/progress_listener.h"

namespace installer {

class PackageFetcherWorker;
class PackageRunLock;
class StatsNode;
class UICallbackRunner;

// What NotifyStatusChanged reports. 0 to 5 mark the steps of a run; 6 to 9
// end it.
enum FetcherStatus : int32_t {
  STARTED = 0,
  // The previous run's download and package folder are removed.
  FOLDER_READY = 1,
  // The package will be downloaded; the update server is being asked.
  FETCHING_DOWNLOAD_URL = 2,
  // The update server answered; the package download follows.
  DOWNLOADING = 3,
  // The archive is being written out and unpacked.
  EXTRACTING = 4,
  FETCHING_PARTNER_CONTENT = 5,
  // The package folder is complete.
  PACKAGE_READY = 6,
  // An earlier run's download or package folder cannot be removed.
  INITIALIZATION_FAILED = 7,
  // Asking the server, downloading or checking the download failed.
  DOWNLOAD_FAILED = 8,
  // The payload is corrupt, or the archive cannot be written or unpacked.
  UNPACKING_FAILED = 9,
};

// The statistics "result" text of |status|: "package_ready",
// "initialization_failed", "download_failed", "unpacking_failed", and
// "invalid" for every other value.
const char* GetFetcherStatusResultText(int status);

// "velna_installer_YYYYMMDDhhmmss.exe" for the local time |now|.
std::u16string MakeDownloadFileName(const base::Time::Exploded& now);

// The package folder and the archive path of |download_path|.
base::FilePath GetPackageFolder(const base::FilePath& download_path);
base::FilePath GetArchivePath(const base::FilePath& download_path);

// The version a downloaded installer is held against: |override_version|
// when it parses as a version whose first component plus 50 is at least the
// first component of |own_version|, else |own_version|.
std::string ChooseInstallerVersion(const std::string& own_version,
                                   const std::string& override_version);
// True when |output| (what the downloaded installer printed) is a version
// not lower than |version|.
bool IsDownloadedVersionAcceptable(const std::string& output,
                                   const std::string& version);

class PackageFetcher {
 public:
  // What the fetcher reports to its creator, always on the creator's
  // thread. The same interface is the progress listener of a download
  // (bytes) and of the unpacking (files).
  class Delegate : public ProgressListener {
   public:
    // A transfer failed for the third time in a row and is being retried.
    virtual void NotifyStalled() = 0;
    virtual void NotifyStatusChanged(FetcherStatus status) = 0;
    // The run found tracking data (not empty), before it asks the server.
    virtual void NotifyTrackingDataObtained(
        const std::string& tracking_data) = 0;
  };

  // Builds the download path from the local time, marks the run's files in
  // the download folder as in use (PackageRunLock) and starts the worker
  // thread, which first removes what killed runs left there. |fetcher_node|
  // (required; copied) receives the fetcher's statistics, one entry of its list
  // "fetches" per run. |runner| (required) shows the download's dialogs and
  // |delegate| (required) hears the progress; both must outlive the fetcher and
  // are only called on this thread.
  PackageFetcher(const base::FilePath& download_folder, StatsNode* fetcher_node,
                 UICallbackRunner* runner, Delegate* delegate);
  PackageFetcher(const PackageFetcher&) = delete;
  PackageFetcher& operator=(const PackageFetcher&) = delete;
  // Ends a running child process at once, lets the worker finish the step
  // it is in, deletes the worker (which removes the download, the archive
  // and the package folder), joins the thread and lets go of the run's
  // lock. Nothing reaches the delegate or the runner afterwards, not even
  // what was posted before.
  ~PackageFetcher();

  // Begins a run. Called once after creation and again for each restart;
  // a run still going is abandoned (its later steps do nothing).
  void Start();

  // The package is no longer needed (its backend installs from a copy of
  // its own): the worker removes the package folder now, without waiting
  // for the destruction. For after PACKAGE_READY; a later Start() unpacks
  // again.
  void RemovePackage();

  const base::FilePath& download_path() const { return download_path_; }

  // The longest wait for the downloaded installer to print its version or
  // stream (60 s). Call before Start.
  void SetChildProcessTimeoutForTesting(base::TimeDelta timeout);

 private:
  const base::FilePath download_path_;
  // Outlives the worker, which removes the files it marks.
  std::unique_ptr<PackageRunLock> lock_;
  std::unique_ptr<PackageFetcherWorker> worker_;
  base::Thread thread_;
};

// What a front end drives of its package fetcher (PackageFetcher's Start(),
// RemovePackage() and download_path()), so that tests can stand in for it.
class PackageFetcherHandle {
 public:
  virtual ~PackageFetcherHandle() = default;
  virtual void Start() = 0;
  virtual void RemovePackage() = 0;
  virtual base::FilePath download_path() const = 0;
};

// A PackageFetcher behind the handle, made with these constructor
// arguments.
std::unique_ptr<PackageFetcherHandle> CreatePackageFetcherHandle(
    const base::FilePath& download_folder, StatsNode* fetcher_node,
    UICallbackRunner* runner, PackageFetcher::Delegate* delegate);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
