#include "base/synchronization/atomic_flag.h"

#include <thread>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(AtomicFlagTest, SetPublishesEarlierWrites) {
  AtomicFlag flag;
  EXPECT_FALSE(flag.IsSet());
  int payload = 0;
  std::thread setter([&] {
    payload = 42;
    flag.Set();
  });
  while (!flag.IsSet()) std::this_thread::yield();
  EXPECT_EQ(42, payload);
  setter.join();
  flag.Set();
  EXPECT_TRUE(flag.IsSet());
}

}  // namespace
}  // namespace base
