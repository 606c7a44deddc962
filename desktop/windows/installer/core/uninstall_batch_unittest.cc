#include "desktop/windows/installer/core/uninstall_batch.h"

#include <set>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(UninstallBatchTest, TextWaitsDeletesRemovesAndDeletesItself) {
  const std::string text = BuildUninstallBatchText(
      {12, 0, 34}, {"C:\\a b\\x%y.dll", "C:\\a b\\z.exe"},
      {"C:\\a b\\sub%", "C:\\a b"}, "C:\\a%");
  EXPECT_EQ(
      "SET PID1_RUNNING=TRUE\r\n"
      "SET PID3_RUNNING=TRUE\r\n"
      ":again\r\n"
      "IF %PID1_RUNNING%==TRUE (\r\n"
      "TASKLIST /FI \"PID eq 12\" | FIND /c /i \".exe\"\r\n"
      "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\r\n"
      ")\r\n"
      "IF %PID3_RUNNING%==TRUE (\r\n"
      "TASKLIST /FI \"PID eq 34\" | FIND /c /i \".exe\"\r\n"
      "IF ERRORLEVEL 1 SET PID3_RUNNING=FALSE\r\n"
      ")\r\n"
      "ping -n 2 127.0.0.1 >NUL\r\n"
      "IF %PID1_RUNNING%==TRUE GOTO :again\r\n"
      "IF %PID3_RUNNING%==TRUE GOTO :again\r\n"
      "SET DELETE_ATTEMPTS=0\r\n"
      ":delete\r\n"
      "del \"C:\\a b\\x%%y.dll\"\r\n"
      "del \"C:\\a b\\z.exe\"\r\n"
      "SET /A DELETE_ATTEMPTS+=1\r\n"
      "IF %DELETE_ATTEMPTS% GEQ 30 GOTO :folders\r\n"
      "IF EXIST \"C:\\a b\\x%%y.dll\" GOTO :wait\r\n"
      "IF EXIST \"C:\\a b\\z.exe\" GOTO :wait\r\n"
      "GOTO :folders\r\n"
      ":wait\r\n"
      "ping -n 2 127.0.0.1 >NUL\r\n"
      "GOTO :delete\r\n"
      ":folders\r\n"
      "rmdir \"C:\\a b\\sub%%\"\r\n"
      "rmdir \"C:\\a b\"\r\n"
      "SET REMOVED_FOLDER=\"C:\\a%%\"\r\n"
      "start \"\" /d \"C:\\a%%\\..\" /b cmd /d /v:off /c ping -n 3 127.0.0.1 "
      "^>NUL ^& rmdir %%REMOVED_FOLDER%%\r\n"
      "del %0\r\n",
      text);
}

// The folders above the installation that it created go after it, each
// when empty, removed by an interpreter that runs above the highest.
TEST(UninstallBatchTest, CreatedParentsGoAfterTheInstallFolder) {
  EXPECT_EQ(
      ":again\r\n"
      "ping -n 2 127.0.0.1 >NUL\r\n"
      "SET REMOVED_FOLDER=\"C:\\p q\\r%%\\Velna\"\r\n"
      "SET REMOVED_PARENT_1=\"C:\\p q\\r%%\"\r\n"
      "SET REMOVED_PARENT_2=\"C:\\p q\"\r\n"
      "start \"\" /d \"C:\\p q\\..\" /b cmd /d /v:off /c ping -n 3 127.0.0.1 "
      "^>NUL ^& rmdir %%REMOVED_FOLDER%% ^& rmdir %%REMOVED_PARENT_1%% ^& "
      "rmdir %%REMOVED_PARENT_2%%\r\n"
      "del %0\r\n",
      BuildUninstallBatchText({}, {}, {}, "C:\\p q\\r%\\Velna",
                              {"C:\\p q\\r%", "C:\\p q"}));
}

TEST(UninstallBatchTest, EveryPercentIsDoubled) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {{"", ""},       {"a", "a"},
               {"%", "%%"},    {"a%b%c", "a%%b%%c"},
               {"%%", "%%%%"}, {"%PATH%", "%%PATH%%"}};
  for (const auto& c : cases)
    EXPECT_EQ(c.out, EscapeBatchPercent(c.in)) << c.in;
}

TEST(UninstallBatchTest, FoldersStopAtTheInstallFolderDeepestFirst) {
  const base::FilePath install(u"C:\\Program Files\\Velna");
  std::set<base::FilePath> folders;
  CollectLeftoverFolders(install.Append(u"41.0\\sub\\x.dll"), install,
                         &folders);
  CollectLeftoverFolders(install.Append(u"41.0\\y.dll"), install, &folders);
  // Directly in the install folder, another case, and outside it.
  CollectLeftoverFolders(install.Append(u"launcher.exe"), install, &folders);
  CollectLeftoverFolders(base::FilePath(u"c:\\program files\\VELNA\\z\\a.dll"),
                         install, &folders);
  CollectLeftoverFolders(base::FilePath(u"C:\\Windows\\a.dll"), install,
                         &folders);
  CollectLeftoverFolders(base::FilePath(u"C:\\Program Files\\Velna2\\a.dll"),
                         install, &folders);
  std::vector<std::u16string> reversed;
  for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    reversed.push_back(it->value());
  EXPECT_EQ((std::vector<std::u16string>{u"c:\\program files\\VELNA\\z",
                                         u"C:\\Program Files\\Velna\\41.0\\sub",
                                         u"C:\\Program Files\\Velna\\41.0"}),
            reversed);
}

// Without leftover files there is nothing to try again, and without an
// install folder nothing to remove after the batch file.
TEST(UninstallBatchTest, WithoutFilesOrInstallFolder) {
  EXPECT_EQ(
      "SET PID1_RUNNING=TRUE\r\n"
      ":again\r\n"
      "IF %PID1_RUNNING%==TRUE (\r\n"
      "TASKLIST /FI \"PID eq 7\" | FIND /c /i \".exe\"\r\n"
      "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\r\n"
      ")\r\n"
      "ping -n 2 127.0.0.1 >NUL\r\n"
      "IF %PID1_RUNNING%==TRUE GOTO :again\r\n"
      "rmdir \"C:\\v\"\r\n"
      "del %0\r\n",
      BuildUninstallBatchText({7}, {}, {"C:\\v"}, ""));
}

}  // namespace
}  // namespace installer
