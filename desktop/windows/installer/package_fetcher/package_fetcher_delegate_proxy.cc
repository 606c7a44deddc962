#include "desktop/windows/installer/package_fetcher/package_fetcher_delegate_proxy.h"

#include <utility>

#include "base/bind.h"
#include "base/location.h"

namespace installer {

PackageFetcherDelegateProxy::PackageFetcherDelegateProxy(
    base::ScopedRefPtr<base::SequencedTaskRunner> creator_runner,
    PackageFetcher::Delegate* delegate, UICallbackRunner* runner)
    : creator_runner_(std::move(creator_runner)),
      delegate_(delegate),
      runner_(runner) {}

PackageFetcherDelegateProxy::~PackageFetcherDelegateProxy() = default;

void PackageFetcherDelegateProxy::Clear() {
  delegate_.store(nullptr);
  runner_.store(nullptr);
}

void PackageFetcherDelegateProxy::Post(const base::Location& from_here,
                                       const base::Closure& task) {
  // A refused post (the creator's loop is gone) drops the call, as Clear
  // would.
  creator_runner_->PostTask(from_here, task);
}

void PackageFetcherDelegateProxy::SetTotalProgress(int total) {
  Post(
      CURRENT_LOCATION,
      base::Bind(&PackageFetcherDelegateProxy::DoSetTotalProgress,
                 base::ScopedRefPtr<PackageFetcherDelegateProxy>(this), total));
}

void PackageFetcherDelegateProxy::SetCurrentProgress(int current) {
  Post(CURRENT_LOCATION,
       base::Bind(&PackageFetcherDelegateProxy::DoSetCurrentProgress,
                  base::ScopedRefPtr<PackageFetcherDelegateProxy>(this),
                  current));
}

void PackageFetcherDelegateProxy::NotifyStalled() {
  Post(CURRENT_LOCATION,
       base::Bind(&PackageFetcherDelegateProxy::DoNotifyStalled,
                  base::ScopedRefPtr<PackageFetcherDelegateProxy>(this)));
}

void PackageFetcherDelegateProxy::NotifyStatusChanged(FetcherStatus status) {
  Post(CURRENT_LOCATION,
       base::Bind(&PackageFetcherDelegateProxy::DoNotifyStatusChanged,
                  base::ScopedRefPtr<PackageFetcherDelegateProxy>(this),
                  status));
}

void PackageFetcherDelegateProxy::NotifyTrackingDataObtained(
    const std::string& tracking_data) {
  Post(CURRENT_LOCATION,
       base::Bind(&PackageFetcherDelegateProxy::DoNotifyTrackingDataObtained,
                  base::ScopedRefPtr<PackageFetcherDelegateProxy>(this),
                  tracking_data));
}

void PackageFetcherDelegateProxy::RunUICallbackAndPostReply(
    const UICallback& callback,
    const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
    const ReplyCallback& reply) {
  Post(CURRENT_LOCATION,
       base::Bind(&PackageFetcherDelegateProxy::DoRunUICallbackAndPostReply,
                  base::ScopedRefPtr<PackageFetcherDelegateProxy>(this),
                  callback, reply_runner, reply));
}

void PackageFetcherDelegateProxy::DoSetTotalProgress(int total) {
  if (PackageFetcher::Delegate* delegate = delegate_.load())
    delegate->SetTotalProgress(total);
}

void PackageFetcherDelegateProxy::DoSetCurrentProgress(int current) {
  if (PackageFetcher::Delegate* delegate = delegate_.load())
    delegate->SetCurrentProgress(current);
}

void PackageFetcherDelegateProxy::DoNotifyStalled() {
  if (PackageFetcher::Delegate* delegate = delegate_.load())
    delegate->NotifyStalled();
}

void PackageFetcherDelegateProxy::DoNotifyStatusChanged(FetcherStatus status) {
  if (PackageFetcher::Delegate* delegate = delegate_.load())
    delegate->NotifyStatusChanged(status);
}

void PackageFetcherDelegateProxy::DoNotifyTrackingDataObtained(
    const std::string& tracking_data) {
  if (PackageFetcher::Delegate* delegate = delegate_.load())
    delegate->NotifyTrackingDataObtained(tracking_data);
}

void PackageFetcherDelegateProxy::DoRunUICallbackAndPostReply(
    const UICallback& callback,
    const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
    const ReplyCallback& reply) {
  if (UICallbackRunner* runner = runner_.load())
    runner->RunUICallbackAndPostReply(callback, reply_runner, reply);
}

}  // namespace installer
