#include "desktop/windows/installer/core/installer_log_text.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(InstallerLogTextTest, BackendLogsNameTheirFrontEnd) {
  const std::string front_end =
      "[10:11:0101/120000:INFO:installer_main_win.cc(265)] Command line: "
      "\"C:\\x\\installer.exe\" --silent --installfolder=\"C:\\V\"\r\n";
  const std::string backend =
      "[20:21:0101/120001:INFO:installer_main_win.cc(265)] Command line: "
      "\"C:\\p\\installer.exe\" --backend --initial-pid=1234 "
      "--crash-reporter-pid=99\r\n";
  const std::string last =
      "[20:21:0101/120001:INFO:a.cc(1)] x\n"
      "[20:21:0101/120001:INFO:b.cc(2)] Command line: installer.exe "
      "--backend --initial-pid=1234\n";
  EXPECT_TRUE(IsLogOfBackendOf(backend, 1234));
  EXPECT_TRUE(IsLogOfBackendOf(last, 1234));
  EXPECT_FALSE(IsLogOfBackendOf(backend, 123));
  EXPECT_FALSE(IsLogOfBackendOf(backend, 12345));
  EXPECT_FALSE(IsLogOfBackendOf(front_end, 1234));
  EXPECT_FALSE(IsLogOfBackendOf("", 1234));
  // Only the command line counts, not a later line that mentions the id.
  EXPECT_FALSE(IsLogOfBackendOf(
      front_end + "[10:11:0101/120000:INFO:r.cc(9)] launching installer "
                  "backend: installer.exe --initial-pid=1234\r\n",
      1234));
}

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
