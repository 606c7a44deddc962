#include "desktop/windows/installer/installer_callbacks.h"

#include <stdint.h>

#include <vector>

#include "base/memory/weak_ptr.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class Steps {
 public:
  void Start() { calls.push_back(0); }
  void Copy(uint32_t index) { calls.push_back(index); }
  base::WeakPtr<Steps> GetWeakPtr() { return weak_factory_.GetWeakPtr(); }

  std::vector<uint32_t> calls;

 private:
  base::WeakPtrFactory<Steps> weak_factory_{this};
};

TEST(InstallerCallbacksTest, MemberFunctionsWithAndWithoutIndex) {
  Steps steps;
  const base::Closure start = BindMemberFunction(&Steps::Start, &steps);
  const base::Closure copy =
      BindMemberFunctionWithUint(&Steps::Copy, &steps, 7);
  copy.Run();
  start.Run();
  copy.Run();
  EXPECT_EQ((std::vector<uint32_t>{7, 0, 7}), steps.calls);
}

TEST(InstallerCallbacksTest, WeakObjectsThatAreGoneAreNotCalled) {
  base::Closure copy;
  {
    Steps steps;
    copy = BindMemberFunctionWithUint(&Steps::Copy, steps.GetWeakPtr(), 3);
    copy.Run();
    EXPECT_EQ(1u, steps.calls.size());
  }
  copy.Run();
}

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
