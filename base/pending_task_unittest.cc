#include "base/pending_task.h"

#include <limits.h>

#include <vector>

#include "base/bind.h"
#include "base/location.h"
#include "gtest/gtest.h"

namespace base {
namespace {

PendingTask MakeTask(int64_t run_time_us, int sequence_num) {
  PendingTask task(CURRENT_LOCATION, Closure(),
                   TimeTicks::FromInternalValue(run_time_us), true);
  task.sequence_num = sequence_num;
  return task;
}

TEST(PendingTaskTest, RunsBeforeOrdersByTimeThenSequence) {
  struct Case {
    int64_t a_time;
    int a_seq;
    int64_t b_time;
    int b_seq;
    bool a_first;
  } cases[] = {
      {10, 5, 20, 1, true},  // earlier run time wins
      {20, 1, 10, 5, false},
      {10, 1, 10, 2, true},  // equal times: posting order
      {10, 2, 10, 1, false},
      {10, INT_MAX, 10, INT_MIN, true},  // across the counter's wrap
      {10, INT_MIN, 10, INT_MAX, false},
      {10, 3, 10, 3, false},  // the same task is not before itself
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a_seq << " vs " << c.b_seq);
    EXPECT_EQ(
        RunsBefore(MakeTask(c.a_time, c.a_seq), MakeTask(c.b_time, c.b_seq)),
        c.a_first);
  }
}

TEST(PendingTaskTest, DelayedQueuePopsInRunOrder) {
  DelayedTaskQueue queue;
  // Numbers from just before the wrap to just after it, pushed shuffled.
  int sequence[] = {INT_MAX - 1, INT_MAX, INT_MIN, INT_MIN + 1};
  queue.Push(MakeTask(30, 0));
  queue.Push(MakeTask(20, sequence[2]));
  queue.Push(MakeTask(20, sequence[0]));
  queue.Push(MakeTask(20, sequence[3]));
  queue.Push(MakeTask(20, sequence[1]));
  queue.Push(MakeTask(5, 100));

  std::vector<int> order;
  while (!queue.empty()) order.push_back(queue.Pop().sequence_num);
  std::vector<int> want = {100,         sequence[0], sequence[1],
                           sequence[2], sequence[3], 0};
  EXPECT_EQ(order, want);
}

TEST(PendingTaskTest, MovingKeepsTheTask) {
  int runs = 0;
  PendingTask task(CURRENT_LOCATION, Bind([](int* runs) { ++*runs; }, &runs));
  EXPECT_EQ(task.delayed_run_time, TimeTicks());
  EXPECT_TRUE(task.nestable);
  EXPECT_FALSE(task.is_high_res);
  PendingTask moved(std::move(task));
  EXPECT_TRUE(task.task.is_null());
  moved.task.Run();
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace base
