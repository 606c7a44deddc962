// PackageFetcherWorker: the work of a PackageFetcher, on the thread
// "Package fetcher worker". A run is a chain of steps, each a task on that
// thread:
//
//   Start (clean up, read the running executable's payload)
//     full package: ───────────────────────────────────→ UnpackArchive
//                   (the archive where it lies, in the executable)
//     otherwise:    FetchDownloadUrl → OnDownloadUrlFetched
//                   → OnPackageDownloaded (checksum, signer, version,
//                     stream) → ExtractArchive ─────────→ UnpackArchive
//   UnpackArchive → OnArchiveUnpacked (welcome page) → partner content
//     → OnPackageReady
//
// Every failure ends the run with one final status and a "failure_reason"
// on the run's statistics entry; partner content never fails a run. Steps
// that arrive after the run was abandoned (a new Start, or the worker's
// destruction) do nothing.
//
// Created on the creator's thread; everything else, destruction included,
// happens on the worker thread, except Cancel().

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_WORKER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_WORKER_WIN_H_

#include <stddef.h>
#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/sequenced_task_runner.h"
#include "base/time/time.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/stats_node.h"
#include "desktop/windows/installer/package_fetcher/app_output_win.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher_delegate_proxy.h"

namespace prefs {
class JsonPrefStore;
}

namespace installer {

class PackageServerReply;
class WinInetDownloader;

class PackageFetcherWorker {
 public:
  // The longest wait for the downloaded installer's version or stream.
  static constexpr base::TimeDelta kChildProcessTimeout =
      base::TimeDelta::FromMicroseconds(60 * 1000 * 1000);

  // |download_path| as PackageFetcher made it; |fetcher_node| is where the
  // statistics go; |proxy| reaches the creator.
  PackageFetcherWorker(const base::FilePath& download_path,
                       const StatsNode& fetcher_node,
                       base::ScopedRefPtr<PackageFetcherDelegateProxy> proxy);
  PackageFetcherWorker(const PackageFetcherWorker&) = delete;
  PackageFetcherWorker& operator=(const PackageFetcherWorker&) = delete;
  // Clears the proxy, abandons the transfer and removes the download, the
  // archive, the partner file being downloaded and the package folder.
  ~PackageFetcherWorker();

  // Begins a run, abandoning one that is still going.
  void Start();

  // Removes the package folder of a finished run (PackageFetcher::
  // RemovePackage).
  void RemovePackageFolder();

  // Any thread: a downloaded installer running for its version or stream is
  // ended at once, and no further one is started. For the destruction.
  void Cancel() { cancelled_.store(true); }

  void set_child_process_timeout(base::TimeDelta timeout) {
    child_process_timeout_ = timeout;
  }

 private:
  // The steps of a run, in their order.
  void ReadPayload();
  void FetchDownloadUrl();
  void OnDownloadUrlFetched();
  void OnPackageDownloaded(const std::string& expected_checksum);
  // False, with the run failed, when the downloaded installer's version or
  // stream does not fit this installer.
  bool CheckVersionAndStream();
  void ExtractArchive();
  // Unpacks the archive in the |length| bytes at |offset| of |archive_path|
  // (the whole file: FileInStream::kWholeFile); the written-out archive is
  // deleted afterwards, an installer that carries one is not.
  void UnpackArchive(const base::FilePath& archive_path, uint64_t offset,
                     uint64_t length);
  void OnArchiveUnpacked();
  void WriteWelcomeUrl(const std::string& url);
  void OnWelcomeUrlSaved();
  void OnWelcomeUrlWriteDone();
  void StartPartnerContent();
  void DownloadPartnerContentFile();
  void OnPartnerContentDownloaded(const std::u16string& file_name,
                                  const std::string& checksum);
  void AppendAddedFilesToList();
  void OnPackageReady();

  // Ends the run with |status|: the "result" text, the restart counter, and
  // the report.
  void SetStatus(FetcherStatus status);
  // Logs |reason| as an error, stores it as "failure_reason" and ends the
  // run with |status|.
  void Fail(FetcherStatus status, const char* reason);
  void Report(FetcherStatus status);

  // Runs the downloaded installer with |switch_name| under the installer's
  // global lock.
  AppOutputResult RunDownloadedInstaller(const char* switch_name,
                                         std::string* output);
  // Blocks until a welcome page write already posted has ended (10 s at
  // most), so that no file appears in a package folder being removed.
  void WaitForWelcomeUrlWrite();

  const base::FilePath download_path_;
  const base::FilePath download_folder_;
  const base::FilePath package_folder_;
  const base::FilePath archive_path_;
  const base::FilePath partner_temp_path_;
  const base::ScopedRefPtr<PackageFetcherDelegateProxy> proxy_;
  base::TimeDelta child_process_timeout_ = kChildProcessTimeout;
  std::atomic<bool> cancelled_{false};

  // Counts the runs that ended through SetStatus.
  int32_t fetch_counter_ = 0;
  int32_t partner_attempts_ = 0;

  // The current run.
  std::unique_ptr<WinInetDownloader> downloader_;
  // The downloaded installer, held from its checks until its archive has
  // been written out, readable but neither writable nor removable by anyone
  // meanwhile: every use by its name sees the bytes that were checked.
  base::win::ScopedHandle download_lock_;
  bool full_package_ = false;
  std::string tracking_data_;
  std::string reply_body_;
  std::unique_ptr<PackageServerReply> reply_;
  size_t partner_cursor_ = 0;
  // UTF-8 names of the partner files moved into the package folder.
  std::vector<std::string> added_files_;
  base::ScopedRefPtr<prefs::JsonPrefStore> welcome_store_;
  base::ScopedRefPtr<base::SequencedTaskRunner> welcome_write_runner_;
  bool welcome_url_saved_ = false;

  StatsNode fetcher_node_;
  std::unique_ptr<StatsNode> fetch_entry_;
  std::unique_ptr<StatsNode> additional_file_entry_;
  std::unique_ptr<StatsNode> try_entry_;

  // Invalidated by every Start: steps of an abandoned run do nothing.
  base::WeakPtrFactory<PackageFetcherWorker> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_WORKER_WIN_H_
