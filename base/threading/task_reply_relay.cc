#include "base/threading/task_reply_relay.h"

#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/logging.h"
#include "base/threading/thread_task_runner_registration.h"

namespace base {
namespace internal {

namespace {

// Travels with the posted steps: owned by the task step, then by the reply
// step. Whichever step is destroyed unrun (its runner went away) takes the
// relay with it.
struct TaskReplyRelay {
  Location from_here;
  ScopedRefPtr<SequencedTaskRunner> origin;
  Closure reply;
  Closure task;
};

void RunReplyAndDestroy(std::unique_ptr<TaskReplyRelay>& relay) {
  std::unique_ptr<TaskReplyRelay> owned = std::move(relay);
  owned->task.Reset();
  owned->reply.Run();
}

void RunTaskAndPostReply(std::unique_ptr<TaskReplyRelay>& relay) {
  relay->task.Run();
  ScopedRefPtr<SequencedTaskRunner> origin = relay->origin;
  Location from_here = relay->from_here;
  origin->PostTask(from_here, Bind(&RunReplyAndDestroy, std::move(relay)));
}

}  // namespace

bool TaskReplyPoster::PostTaskAndReply(const Location& from_here,
                                       const Closure& task,
                                       const Closure& reply) {
  CHECK(!task.is_null());
  CHECK(!reply.is_null());
  ScopedRefPtr<SequencedTaskRunner> origin =
      ThreadTaskRunnerRegistration::Get();
  // A reply needs a runner to come back to.
  CHECK(origin);
  auto relay = std::make_unique<TaskReplyRelay>(
      TaskReplyRelay{from_here, std::move(origin), reply, task});
  return PostTask(from_here, Bind(&RunTaskAndPostReply, std::move(relay)));
}

}  // namespace internal
}  // namespace base
