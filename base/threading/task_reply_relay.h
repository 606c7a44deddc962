// The relay behind PostTaskAndReply, shared by task runners and the system
// worker pool: a poster sends the task wherever it posts, and the reply
// comes back to the runner of the thread that posted.

#ifndef BASE_THREADING_TASK_REPLY_RELAY_H_
#define BASE_THREADING_TASK_REPLY_RELAY_H_

#include "base/callback.h"
#include "base/location.h"

namespace base {
namespace internal {

class TaskReplyPoster {
 public:
  // Posts |task| through PostTask; after it ran, posts |reply| with the
  // same location to the calling thread's registered runner, which must
  // exist. The task's bound state is dropped on the calling thread just
  // before the reply runs. False when PostTask refuses: task and reply are
  // then released at once, unrun.
  bool PostTaskAndReply(const Location& from_here, const Closure& task,
                        const Closure& reply);

 protected:
  TaskReplyPoster() = default;
  ~TaskReplyPoster() = default;

 private:
  virtual bool PostTask(const Location& from_here, const Closure& task) = 0;
};

}  // namespace internal
}  // namespace base

#endif  // BASE_THREADING_TASK_REPLY_RELAY_H_
