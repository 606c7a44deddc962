#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/threading/thread_task_runner_registration.h"
#include "desktop/windows/installer/common/stats_node.h"
#include "desktop/windows/installer/common/ui_callback_runner.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher_delegate_proxy.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher_worker_win.h"
#include "desktop/windows/installer/package_fetcher/package_run_lock_win.h"

namespace installer {

namespace {

class PackageFetcherHandleImpl : public PackageFetcherHandle {
 public:
  PackageFetcherHandleImpl(const base::FilePath& download_folder,
                           StatsNode* fetcher_node, UICallbackRunner* runner,
                           PackageFetcher::Delegate* delegate)
      : fetcher_(download_folder, fetcher_node, runner, delegate) {}

  void Start() override { fetcher_.Start(); }
  void RemovePackage() override { fetcher_.RemovePackage(); }
  base::FilePath download_path() const override {
    return fetcher_.download_path();
  }

 private:
  PackageFetcher fetcher_;
};

constexpr char kWorkerThreadName[] = "Package fetcher worker";

base::FilePath MakeDownloadPath(const base::FilePath& download_folder) {
  base::Time::Exploded now;
  base::Time::Now().LocalExplode(&now);
  return download_folder.Append(MakeDownloadFileName(now));
}

void RemoveStaleRuns(const base::FilePath& download_folder) {
  PackageRunLock::RemoveStaleRuns(download_folder);
}

}  // namespace

PackageFetcher::PackageFetcher(const base::FilePath& download_folder,
                               StatsNode* fetcher_node,
                               UICallbackRunner* runner, Delegate* delegate)
    : download_path_(MakeDownloadPath(download_folder)),
      lock_(std::make_unique<PackageRunLock>(download_path_)),
      thread_(kWorkerThreadName) {
  CHECK(runner);
  CHECK(fetcher_node);
  CHECK(delegate);
  base::ScopedRefPtr<base::SequencedTaskRunner> creator_runner =
      base::ThreadTaskRunnerRegistration::Get();
  CHECK(creator_runner) << "The package fetcher needs a message loop";
  worker_ = std::make_unique<PackageFetcherWorker>(
      download_path_, *fetcher_node,
      base::MakeRefCounted<PackageFetcherDelegateProxy>(
          std::move(creator_runner), delegate, runner));
  CHECK(thread_.Start()) << "Cannot start the " << kWorkerThreadName;
  // Off the creator's thread: a large package folder takes a while.
  thread_.task_runner()->PostTask(
      CURRENT_LOCATION, base::Bind(&RemoveStaleRuns, download_folder));
}

PackageFetcher::~PackageFetcher() {
  worker_->Cancel();
  thread_.task_runner()->DeleteSoon(CURRENT_LOCATION, worker_.release());
  thread_.Stop();
}

void PackageFetcher::Start() {
  thread_.task_runner()->PostTask(
      CURRENT_LOCATION,
      base::Bind(&PackageFetcherWorker::Start, worker_.get()));
}

void PackageFetcher::RemovePackage() {
  thread_.task_runner()->PostTask(
      CURRENT_LOCATION,
      base::Bind(&PackageFetcherWorker::RemovePackageFolder, worker_.get()));
}

void PackageFetcher::SetChildProcessTimeoutForTesting(base::TimeDelta timeout) {
  worker_->set_child_process_timeout(timeout);
}

std::unique_ptr<PackageFetcherHandle> CreatePackageFetcherHandle(
    const base::FilePath& download_folder, StatsNode* fetcher_node,
    UICallbackRunner* runner, PackageFetcher::Delegate* delegate) {
  return std::make_unique<PackageFetcherHandleImpl>(
      download_folder, fetcher_node, runner, delegate);
}

}  // namespace installer
