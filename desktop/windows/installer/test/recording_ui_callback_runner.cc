#include "desktop/windows/installer/test/recording_ui_callback_runner.h"

#include <algorithm>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"

namespace installer {
namespace test {

namespace {

constexpr int kDeclined = 1223;  // ERROR_CANCELLED

void RunReply(const UICallbackRunner::ReplyCallback& reply, int value) {
  reply.Run(value);
}

}  // namespace

RecordingUICallbackRunner::RecordingUICallbackRunner()
    : replies_({kDeclined}) {}

RecordingUICallbackRunner::~RecordingUICallbackRunner() = default;

void RecordingUICallbackRunner::RunUICallbackAndPostReply(
    const UICallback& callback,
    const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
    const ReplyCallback& reply) {
  const int value = replies_[std::min(calls_, replies_.size() - 1)];
  ++calls_;
  reply_runner->PostTask(CURRENT_LOCATION, base::Bind(&RunReply, reply, value));
}

void RecordingUICallbackRunner::SetReplies(std::vector<int> replies) {
  CHECK(!replies.empty());
  replies_ = std::move(replies);
  calls_ = 0;
}

}  // namespace test
}  // namespace installer
