// RecordingUICallbackRunner: the UICallbackRunner of tests. It never shows
// a dialog: it counts the prompts and answers each with the next value of
// its reply list (the last one repeats), posted to the reply runner as a
// front end would. The default reply is 1223 (ERROR_CANCELLED), a declined
// prompt.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_UI_CALLBACK_RUNNER_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_UI_CALLBACK_RUNNER_H_

#include <stddef.h>

#include <vector>

#include "desktop/windows/installer/common/ui_callback_runner.h"

namespace installer {
namespace test {

class RecordingUICallbackRunner : public UICallbackRunner {
 public:
  RecordingUICallbackRunner();
  ~RecordingUICallbackRunner() override;

  void RunUICallbackAndPostReply(
      const UICallback& callback,
      const base::ScopedRefPtr<base::TaskRunner>& reply_runner,
      const ReplyCallback& reply) override;

  // Replaces the replies (at least one) and forgets the prompts so far.
  void SetReplies(std::vector<int> replies);
  size_t calls() const { return calls_; }

 private:
  std::vector<int> replies_;
  size_t calls_ = 0;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_RECORDING_UI_CALLBACK_RUNNER_H_
