#include "desktop/windows/installer/core/installer_log_text.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerLogTextTest, LastErrorLine) {
  const std::string log =
      "[1:2:0101/120000:INFO:a.cc(1)] Beginning installation\r\n"
      "[1:2:0101/120000:ERROR:b.cc(2)] Could not create scheduled task\r\n"
      "[1:2:0101/120000:ERROR:c.cc(3)] File removal failed: C:\\V\\x.dll\r\n"
      "[1:2:0101/120001:INFO:d.cc(4)] ERROR: not a severity\r\n"
      "[1:2:0101/120001:WARNING:e.cc(5)] Installation cancelled\r\n";
  EXPECT_EQ("File removal failed: C:\\V\\x.dll", FindLastErrorMessage(log));
  EXPECT_EQ("only", FindLastErrorMessage("[ERROR:f.cc(1)] only"));
  EXPECT_EQ(
      "", FindLastErrorMessage("[1:2:0101/120000:INFO:a.cc(1)] fine\n"
                               "a message's second line with ERROR: in it\n"));
  EXPECT_EQ("", FindLastErrorMessage(""));
  EXPECT_EQ("", FindLastErrorMessage("\n\n"));
}

}  // namespace
}  // namespace installer
