#include "desktop/windows/installer/core/installer_callbacks.h"

#include <stdint.h>

#include <vector>

#include "base/memory/weak_ptr.h"
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

struct Steps {
  void Start() { calls.push_back(UINT32_MAX); }
  void Copy(uint32_t index) { calls.push_back(index); }

  std::vector<uint32_t> calls;
  base::WeakPtrFactory<Steps> weak_factory{this};
};

// A copy step keeps its whole index; one bound through a weak pointer does
// nothing once its object is gone.
TEST(InstallerCallbacksTest, MemberFunctionsWithAndWithoutIndex) {
  base::Closure copy_later;
  {
    Steps steps;
    BindMemberFunction(&Steps::Start, &steps).Run();
    copy_later = BindMemberFunctionWithUint(
        &Steps::Copy, steps.weak_factory.GetWeakPtr(), UINT32_MAX - 1);
    copy_later.Run();
    EXPECT_EQ((std::vector<uint32_t>{UINT32_MAX, UINT32_MAX - 1}), steps.calls);
  }
  copy_later.Run();
}

}  // namespace
}  // namespace installer
