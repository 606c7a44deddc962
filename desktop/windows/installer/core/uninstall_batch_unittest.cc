#include "desktop/windows/installer/core/uninstall_batch.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_path.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

UninstallBatchPlan Plan(std::vector<uint32_t> process_ids,
                        std::vector<std::string> files,
                        std::vector<std::string> folders) {
  UninstallBatchPlan plan;
  plan.system_folder = "C:\\Win%\\system32";
  plan.own_folder = "C:\\Win%\\Temp\\Velna Installer 0A";
  plan.process_ids = std::move(process_ids);
  plan.files = std::move(files);
  plan.folders = std::move(folders);
  return plan;
}

TEST(UninstallBatchTest, TextWaitsDeletesRemovesAndDeletesItself) {
  const std::string text = BuildUninstallBatchText(
      Plan({12, 0, 34}, {"C:\\a b\\x%y.dll", "C:\\a b\\z.exe"},
           {"C:\\a b\\sub%", "C:\\a b", "C:\\a%"}));
  EXPECT_EQ(
      "SET PID1_RUNNING=TRUE\r\n"
      "SET PID3_RUNNING=TRUE\r\n"
      ":again\r\n"
      "IF %PID1_RUNNING%==TRUE (\r\n"
      "\"C:\\Win%%\\system32\\tasklist.exe\" /FI \"PID eq 12\" "
      ">\"C:\\Win%%\\Temp\\Velna Installer 0A\\tasks.txt\"\r\n"
      "\"C:\\Win%%\\system32\\find.exe\" /c /i \".exe\" "
      "\"C:\\Win%%\\Temp\\Velna Installer 0A\\tasks.txt\"\r\n"
      "IF ERRORLEVEL 1 SET PID1_RUNNING=FALSE\r\n"
      ")\r\n"
      "IF %PID3_RUNNING%==TRUE (\r\n"
      "\"C:\\Win%%\\system32\\tasklist.exe\" /FI \"PID eq 34\" "
      ">\"C:\\Win%%\\Temp\\Velna Installer 0A\\tasks.txt\"\r\n"
      "\"C:\\Win%%\\system32\\find.exe\" /c /i \".exe\" "
      "\"C:\\Win%%\\Temp\\Velna Installer 0A\\tasks.txt\"\r\n"
      "IF ERRORLEVEL 1 SET PID3_RUNNING=FALSE\r\n"
      ")\r\n"
      "\"C:\\Win%%\\system32\\ping.exe\" -n 2 127.0.0.1 >NUL\r\n"
      "IF %PID1_RUNNING%==TRUE GOTO :again\r\n"
      "IF %PID3_RUNNING%==TRUE GOTO :again\r\n"
      "del \"C:\\Win%%\\Temp\\Velna Installer 0A\\tasks.txt\"\r\n"
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
      "\"C:\\Win%%\\system32\\ping.exe\" -n 2 127.0.0.1 >NUL\r\n"
      "GOTO :delete\r\n"
      ":folders\r\n"
      "rmdir \"C:\\a b\\sub%%\"\r\n"
      "rmdir \"C:\\a b\"\r\n"
      "rmdir \"C:\\a%%\"\r\n"
      "SET REMOVED_FOLDER=\"C:\\Win%%\\Temp\\Velna Installer 0A\"\r\n"
      "SET DELAY_PROGRAM=\"C:\\Win%%\\system32\\ping.exe\"\r\n"
      "start \"\" /d \"C:\\Win%%\\system32\" /b "
      "\"C:\\Win%%\\system32\\cmd.exe\" /d /v:off /c %%DELAY_PROGRAM%% -n 3 "
      "127.0.0.1 ^>NUL ^& rmdir %%REMOVED_FOLDER%%\r\n"
      "del %0\r\n",
      text);
}

// A program found by a bare name would be looked for in the interpreter's
// current folder first, where anyone who may write there can put one: every
// line the file runs is one of the interpreter's own commands, or a program
// of the system folder named by its path. Nothing is piped.
TEST(UninstallBatchTest, EveryProgramIsNamedByItsPath) {
  const char* const kOwnCommands[] = {
      "SET ",
      "IF ",
      ")",
      ":",
      "del ",
      "rmdir ",
      "GOTO ",
      ("start \"\" /d \"C:\\Win%%\\system32\" /b "
       "\"C:\\Win%%\\system32\\cmd.exe\" ")};
  for (const UninstallBatchPlan& plan :
       {Plan({1, 2, 3, 4}, {"C:\\v\\a.dll"}, {"C:\\v"}), Plan({}, {}, {})}) {
    const std::string text = BuildUninstallBatchText(plan);
    EXPECT_EQ(std::string::npos, text.find('|')) << text;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos;
         start = end + 2, end = text.find("\r\n", start)) {
      const std::string line = text.substr(start, end - start);
      bool known = line.rfind("\"C:\\Win%%\\system32\\", 0) == 0;
      for (const char* command : kOwnCommands)
        known |= line.rfind(command, 0) == 0;
      EXPECT_TRUE(known) << line;
    }
  }
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

// Nothing happens while the uninstaller holds its file; one it ended
// without deleting is renamed, and then nothing but the own folder goes.
// The record goes after every other file, and stays while one does.
TEST(UninstallBatchTest, WaitsForTheUninstallerAndRemovesTheRecordLast) {
  UninstallBatchPlan plan = Plan({12}, {"C:\\v\\a.dll"}, {"C:\\v"});
  plan.wait_for_uninstaller = true;
  plan.record = "C:\\v%\\installation_status.xml";
  const std::string text = BuildUninstallBatchText(plan);
  EXPECT_EQ(
      ":uninstalling\r\n"
      "ren \"C:\\Win%%\\Temp\\Velna Installer 0A\\uninstalling\" "
      "abandoned\r\n"
      "IF EXIST \"C:\\Win%%\\Temp\\Velna Installer 0A\\abandoned\" "
      "GOTO :end\r\n"
      "IF NOT EXIST \"C:\\Win%%\\Temp\\Velna Installer 0A\\uninstalling\" "
      "GOTO :uninstalled\r\n"
      "\"C:\\Win%%\\system32\\ping.exe\" -n 2 127.0.0.1 >NUL\r\n"
      "GOTO :uninstalling\r\n"
      ":uninstalled\r\n"
      "SET PID1_RUNNING=TRUE\r\n"
      ":again\r\n",
      text.substr(0, text.find(":again") + 8));
  EXPECT_NE(std::string::npos,
            text.find(":folders\r\n"
                      "IF EXIST \"C:\\v\\a.dll\" GOTO :end\r\n"
                      "del \"C:\\v%%\\installation_status.xml\"\r\n"
                      "rmdir \"C:\\v\"\r\n"
                      ":end\r\n"
                      "IF EXIST \"C:\\Win%%\\Temp\\Velna Installer "
                      "0A\\abandoned\" del \"C:\\Win%%\\Temp\\Velna "
                      "Installer 0A\\abandoned\"\r\n"
                      "SET REMOVED_FOLDER="))
      << text;
}

// Without leftover files there is nothing to try again, and without a
// process nothing to wait for.
TEST(UninstallBatchTest, WithoutFilesOrProcesses) {
  EXPECT_EQ(
      ":again\r\n"
      "\"C:\\Win%%\\system32\\ping.exe\" -n 2 127.0.0.1 >NUL\r\n"
      "rmdir \"C:\\v\"\r\n"
      "SET REMOVED_FOLDER=\"C:\\Win%%\\Temp\\Velna Installer 0A\"\r\n"
      "SET DELAY_PROGRAM=\"C:\\Win%%\\system32\\ping.exe\"\r\n"
      "start \"\" /d \"C:\\Win%%\\system32\" /b "
      "\"C:\\Win%%\\system32\\cmd.exe\" /d /v:off /c %%DELAY_PROGRAM%% -n 3 "
      "127.0.0.1 ^>NUL ^& rmdir %%REMOVED_FOLDER%%\r\n"
      "del %0\r\n",
      BuildUninstallBatchText(Plan({0}, {}, {"C:\\v"})));
}

}  // namespace
}  // namespace installer
