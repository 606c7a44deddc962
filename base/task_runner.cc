#include "base/task_runner.h"

#include "base/threading/task_reply_relay.h"

namespace base {

namespace {

// Sends the task step of PostTaskAndReply through a runner.
class TaskRunnerAdapter : public internal::TaskReplyPoster {
 public:
  explicit TaskRunnerAdapter(TaskRunner* destination)
      : destination_(destination) {}

 private:
  bool PostTask(const Location& from_here, const Closure& task) override {
    return destination_->PostDelayedTask(from_here, task, TimeDelta());
  }

  TaskRunner* const destination_;
};

}  // namespace

// static
void TaskRunnerTraits::Destruct(const TaskRunner* task_runner) {
  task_runner->OnDestruct();
}

TaskRunner::TaskRunner() = default;
TaskRunner::~TaskRunner() = default;

bool TaskRunner::PostTask(const Location& from_here, const Closure& task) {
  return PostDelayedTask(from_here, task, TimeDelta());
}

bool TaskRunner::PostTaskAndReply(const Location& from_here,
                                  const Closure& task, const Closure& reply) {
  return TaskRunnerAdapter(this).PostTaskAndReply(from_here, task, reply);
}

void TaskRunner::OnDestruct() const { delete this; }

}  // namespace base
