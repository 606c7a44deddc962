#include "desktop/windows/installer/core/installer_callbacks.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerCallbacksTest, ReplyCarriesItsResult) {
  int received = 0;
  const base::Callback<void(int)> reply =
      base::Bind([](int* out, int result) { *out = result; }, &received);
  const base::Closure bound = BindReplyWithResult(reply, 1223);
  EXPECT_EQ(0, received);
  bound.Run();
  EXPECT_EQ(1223, received);
}

}  // namespace
}  // namespace installer
