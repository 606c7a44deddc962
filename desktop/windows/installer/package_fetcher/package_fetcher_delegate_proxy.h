// PackageFetcherDelegateProxy: how the fetcher's worker thread reaches the
// creator's delegate and UI callback runner. Every call is posted as a task
// to the creator's thread (the location names the method), where it calls
// the real object, unless Clear() came first.
//
// Reference counted: each posted task holds a reference, so the proxy
// outlives the worker that cleared it. Any thread may call the interface
// methods; Clear() may be called from any thread, but the real objects are
// only safe to destroy once Clear() has returned and the creator's thread
// is not inside one of the proxy's tasks (the fetcher's destructor, on the
// creator's thread, guarantees both).

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_DELEGATE_PROXY_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_DELEGATE_PROXY_H_

#include <atomic>
#include <string>

#include "base/memory/ref_counted.h"
#include "base/sequenced_task_runner.h"
#include "desktop/windows/installer/common/ui_callback_runner.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/wininet/download_progress_listener.h"

namespace installer {

class PackageFetcherDelegateProxy
    : public PackageFetcher::Delegate,
      public DownloadProgressListener,  // for the worker's downloader
      public UICallbackRunner,
      public base::RefCounted<PackageFetcherDelegateProxy> {
 public:
  // |creator_runner| runs the tasks; |delegate| and |runner| (not owned)
  // are called there.
  PackageFetcherDelegateProxy(
      base::ScopedRefPtr<base::SequencedTaskRunner> creator_runner,
      PackageFetcher::Delegate* delegate, UICallbackRunner* runner);
  PackageFetcherDelegateProxy(const PackageFetcherDelegateProxy&) = delete;
  PackageFetcherDelegateProxy& operator=(const PackageFetcherDelegateProxy&) =
      delete;

  // Forgets the real objects: tasks still in flight do nothing.
  void Clear();

  // PackageFetcher::Delegate:
  void SetTotalProgress(int total) override;
  void SetCurrentProgress(int current) override;
  void NotifyStalled() override;
  void NotifyStatusChanged(FetcherStatus status) override;
  void NotifyTrackingDataObtained(const std::string& tracking_data) override;

  // UICallbackRunner:
  void RunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply) override;

 private:
  friend class base::RefCounted<PackageFetcherDelegateProxy>;
  ~PackageFetcherDelegateProxy() override;

  void Post(const base::Location& from_here, const base::Closure& task);

  // The tasks, on the creator's thread.
  void DoSetTotalProgress(int total);
  void DoSetCurrentProgress(int current);
  void DoNotifyStalled();
  void DoNotifyStatusChanged(FetcherStatus status);
  void DoNotifyTrackingDataObtained(const std::string& tracking_data);
  void DoRunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply);

  const base::ScopedRefPtr<base::SequencedTaskRunner> creator_runner_;
  std::atomic<PackageFetcher::Delegate*> delegate_;
  std::atomic<UICallbackRunner*> runner_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_DELEGATE_PROXY_H_
