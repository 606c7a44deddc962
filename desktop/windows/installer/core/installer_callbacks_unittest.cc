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

class Steps {
 public:
  void Start() { calls.push_back(UINT32_MAX); }
  void Copy(uint32_t index) { calls.push_back(index); }
  base::WeakPtr<Steps> GetWeakPtr() { return weak_factory_.GetWeakPtr(); }

  std::vector<uint32_t> calls;

 private:
  base::WeakPtrFactory<Steps> weak_factory_{this};
};

// Each closure keeps its own bound index, and one bound through a weak
// pointer does nothing once its object is gone.
TEST(InstallerCallbacksTest, MemberFunctionsWithAndWithoutIndex) {
  base::Closure start_later, copy_later;
  {
    Steps steps;
    const base::Closure start = BindMemberFunction(&Steps::Start, &steps);
    const base::Closure copy =
        BindMemberFunctionWithUint(&Steps::Copy, &steps, 7);
    const base::Closure last =
        BindMemberFunctionWithUint(&Steps::Copy, &steps, UINT32_MAX - 1);
    copy.Run();
    start.Run();
    last.Run();
    copy.Run();
    EXPECT_EQ((std::vector<uint32_t>{7, UINT32_MAX, UINT32_MAX - 1, 7}),
              steps.calls);
    start_later = BindMemberFunction(&Steps::Start, steps.GetWeakPtr());
    copy_later =
        BindMemberFunctionWithUint(&Steps::Copy, steps.GetWeakPtr(), 3);
    copy_later.Run();
    EXPECT_EQ(3u, steps.calls.back());
  }
  start_later.Run();
  copy_later.Run();
}

}  // namespace
}  // namespace installer
