#include "desktop/windows/installer/core/installer_step_count.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerStepCountTest, Formula) {
  const struct {
    size_t list_steps, files, root_files;
    bool uninstalling;
    uint32_t expected;
  } cases[] = {
      // A fresh install of 2 files and 1 root file: 7 + 1 + 0 + 1.
      {7, 2, 1, false, 9},
      // No root files: their -1 counts.
      {7, 2, 0, false, 8},
      // An update lists 11 steps.
      {11, 50, 3, false, 11 + 49 + 2 + 1},
      // An uninstall: 5 + 1, whatever the lists hold.
      {5, 0, 0, true, 6},
      {5, 7, 7, true, 6},
      // One file and no root files: the two adjustments cancel out.
      {1, 1, 0, false, 1},
      // The sum wraps round in 32 bits.
      {0, 0, 0, false, 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, CountTotalSteps(c.list_steps, c.files, c.root_files,
                                          c.uninstalling))
        << c.list_steps << " " << c.files << " " << c.root_files;
  }
}

}  // namespace
}  // namespace installer
