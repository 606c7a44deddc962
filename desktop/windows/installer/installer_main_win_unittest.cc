// RunInstaller as installer.exe runs it: the order of the modes, the
// print modes, the help in a console of its own, the branding of a host
// without its own document, and the entry's checks before a role runs.

#include <windows.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/test/golden_help_text.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/test_host_seams_win.h"
#include "desktop/windows/installer/test/window_closer_win.h"
#include "desktop/windows/rc_l10n_handler/language_choice.h"
#include "desktop/windows/rc_l10n_handler/resource_reader_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

base::FilePath BesideTests(const char16_t* name) {
  return base::FilePath(base::GetTestExecutableFolder() + name);
}

// A silent front end that reaches no server: no statistics, and the
// package request goes to a closed port of the loopback host.
constexpr char16_t kOffline[] =
    u" --enable-installer-stats=0 "
    u"--internal-package-server=http://127.0.0.1:1/";

// A folder of one test with a copy of installer.exe (or another program)
// and a temporary folder of its own, so that the log file the run writes is
// this test's.
class InstallerRunTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    ASSERT_TRUE(base::FileUtil::CreateDirectory(temp()));
  }

  const base::FilePath& dir() const { return dir_.GetPath(); }
  base::FilePath temp() const { return dir().Append(u"temp"); }
  base::FilePath log_folder() const {
    return temp().Append(u"Velna Installer");
  }

  // Copies installer.exe into |folder| under |name|.
  base::FilePath CopyInstaller(const base::FilePath& folder,
                               const char16_t* name = u"installer.exe") {
    EXPECT_TRUE(base::FileUtil::CreateDirectory(folder));
    const base::FilePath copy = folder.Append(name);
    EXPECT_TRUE(base::CopyOneFile(BesideTests(u"installer.exe"), copy));
    return copy;
  }

  // Runs |program| with |arguments|; returns its exit code and fills
  // |*output| with what it printed.
  DWORD Run(const base::FilePath& program, const std::u16string& arguments,
            std::string* output = nullptr) {
    std::string printed;
    DWORD exit_code = 0xFFFFFFFF;
    EXPECT_TRUE(base::RunChildProcess(
        u"\"" + program.value() + u"\" " + arguments,
        {{u"TEMP", temp().value()}, {u"TMP", temp().value()}}, &printed,
        &exit_code));
    if (output) *output = printed;
    return exit_code;
  }

  // The text of the one log file the run's own process wrote, empty when
  // there is none. A front end may also have started a backend, which logs
  // beside it: a started backend carries the front end's "initial-pid".
  std::string LogText() {
    base::FileEnumerator logs(log_folder(), false, base::FileEnumerator::FILES,
                              u"*.log");
    std::string found;
    int count = 0;
    for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next()) {
      std::string text;
      base::FileUtil::ReadFileToString(log, &text);
      const size_t command_line = text.find("Command line: ");
      const std::string first_line =
          command_line == std::string::npos
              ? std::string()
              : text.substr(command_line,
                            text.find('\n', command_line) - command_line);
      if (first_line.find(" --initial-pid=") != std::string::npos) continue;
      found = text;
      ++count;
    }
    EXPECT_LE(count, 1) << "more than one log file of the run's own process";
    return found;
  }

  // The messages of the log (the text after each line's prefix).
  std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    for (const std::string& line :
         base::SplitString(LogText(), "\n", base::SplitWhitespace::kKeep,
                           base::SplitFilter::kNonEmpty)) {
      const size_t end = line.find("] ");
      messages.push_back(line.substr(end == std::string::npos ? 0 : end + 2));
    }
    return messages;
  }

  bool LogHas(const std::string& message) {
    for (const std::string& line : LogMessages()) {
      if (line == message) return true;
    }
    return false;
  }

  // Whether a line of the logs begins with |prefix|, waiting for it at
  // most |timeout_ms|.
  bool WaitForLogLineStarting(const std::string& prefix, int timeout_ms) {
    for (int waited = 0;; waited += 50) {
      for (const std::string& line : LogMessages()) {
        if (base::StartsWith(line, prefix, base::CompareCase::SENSITIVE))
          return true;
      }
      if (waited >= timeout_ms) return false;
      Sleep(50);
    }
  }

 private:
  base::win::ScopedComInitializer com_;
  base::ScopedTempDir dir_;
};

TEST_F(InstallerRunTest, PrintModesComeFirstAndLeaveNothing) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  const struct {
    const char16_t* arguments;
    const char* output;
  } cases[] = {
      {u"--version --uninstall", "41.0.2353.23"},
      {u"/?  --VERSION", "41.0.2353.23"},
      {u"--stream --internal-version --crash-reporter-parent-id=1", "2353.23"},
      {u"--set-folder-permission=x --stream", "beta"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.arguments));
    std::string output;
    EXPECT_EQ(0u, Run(installer, c.arguments, &output));
    EXPECT_EQ(c.output, output);
  }
  // No log, no download folder, no log beside the program.
  EXPECT_FALSE(base::PathExists(log_folder()));
  EXPECT_FALSE(base::PathExists(dir().Append(u"app\\debug.log")));
}

// The utility modes come before the installing roles: they set up no log.
TEST_F(InstallerRunTest, UtilityModesComeBeforeTheRoles) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  const struct {
    const char16_t* arguments;
    DWORD exit_code;
  } cases[] = {
      // The crash reporter before the help: without a parent to watch it
      // ends at once, and its role has done its work.
      {u"--crash-reporter-parent-id=4294967290 --help --uninstall", 0},
      // The permission utility before an uninstall; without a user to
      // grant access to, it does nothing and succeeds.
      {u"--set-folder-permission=C:\\nowhere --uninstall --backend", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.arguments));
    EXPECT_EQ(c.exit_code, Run(installer, c.arguments));
    EXPECT_FALSE(base::PathExists(log_folder()));
    EXPECT_FALSE(base::PathExists(base::FilePath(u"C:\\nowhere")));
  }
}

TEST_F(InstallerRunTest, UninstallOutsideAnInstallationFails) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  EXPECT_EQ(1u, Run(installer, u"--uninstall --v=2"));
  const std::vector<std::string> messages = LogMessages();
  ASSERT_GE(messages.size(), 3u) << LogText();
  EXPECT_EQ("Velna installer starting - version 41.0.2353.23 beta",
            messages[0]);
  EXPECT_EQ(0u, messages[1].find("Command line: \"")) << messages[1];
  EXPECT_NE(std::string::npos, messages[1].find("--uninstall --v=2"));
  EXPECT_EQ(
      "Requested to uninstall, but we are not in a valid installation "
      "folder",
      messages.back());
  // It stops before the message loop and the settings.
  EXPECT_FALSE(LogHas("Using default message loop"));
  EXPECT_FALSE(LogHas("Instanciating settings"));
}

// A development run records a trace of its tasks into the file it names,
// whatever the run's outcome.
TEST_F(InstallerRunTest, TraceFileFromTheCommandLine) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  const base::FilePath trace = dir().Append(u"trace out.json");
  EXPECT_EQ(1u, Run(installer,
                    u"--uninstall --trace-file=\"" + trace.value() + u"\""));
  std::string text;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(trace, &text));
  const std::unique_ptr<base::Value> document = base::JSONReader::Read(text);
  ASSERT_TRUE(document) << text;
  const base::DictionaryValue* root = nullptr;
  const base::ListValue* events = nullptr;
  ASSERT_TRUE(document->GetAsDictionary(&root)) << text;
  EXPECT_TRUE(root->GetList("traceEvents", &events)) << text;
  EXPECT_TRUE(
      LogHas("Requested to uninstall, but we are not in a valid "
             "installation folder"));
}

// A front end and the backend it starts often begin within one second:
// the log another process of that second wrote stays, and this run's log
// carries its process id.
TEST_F(InstallerRunTest, TheLogOfAnotherProcessOfTheSameSecondStays) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(log_folder()));
  // This second and the next few: the run starts within them.
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  FILETIME file_time = {};
  ASSERT_TRUE(SystemTimeToFileTime(&now, &file_time));
  std::vector<base::FilePath> others;
  for (int second = 0; second < 5; ++second) {
    ULARGE_INTEGER time = {{file_time.dwLowDateTime, file_time.dwHighDateTime}};
    time.QuadPart += second * 10000000ull;
    const FILETIME later = {time.LowPart, time.HighPart};
    SYSTEMTIME local = {};
    ASSERT_TRUE(FileTimeToSystemTime(&later, &local));
    others.push_back(log_folder().Append(
        GetInstallerLogFileName({local.wYear, local.wMonth, local.wDay,
                                 local.wHour, local.wMinute, local.wSecond})));
    ASSERT_TRUE(test::WriteTextFile(others.back(), "another process\n"));
  }

  EXPECT_EQ(1u, Run(installer, u"--uninstall"));
  for (const base::FilePath& other : others) {
    std::string text;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(other, &text));
    EXPECT_EQ("another process\n", text) << other;
  }
  int own_logs = 0;
  base::FileEnumerator logs(log_folder(), false, base::FileEnumerator::FILES,
                            u"velna_installer_??????????????_*.log");
  for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next()) {
    std::string text;
    base::FileUtil::ReadFileToString(log, &text);
    EXPECT_NE(std::string::npos, text.find("Velna installer starting"));
    ++own_logs;
  }
  EXPECT_EQ(1, own_logs);
}

TEST_F(InstallerRunTest, PackageBackendIsRecognisedByItsExactName) {
  const struct {
    const char16_t* name;
    bool files_list;
    const char* inside_package;
  } cases[] = {
      {u"installer.exe", true, "Inside package1"},
      {u"Installer.exe", true, "Inside package0"},
      {u"installer.exe", false, "Inside package0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.name));
    base::ScopedTempDir package;
    ASSERT_TRUE(package.CreateUniqueTempDirUnderPath(dir()));
    ASSERT_TRUE(
        test::WriteTextFile(package.GetPath().Append(u"velna.exe"), "MZ"));
    if (c.files_list) {
      ASSERT_TRUE(test::WriteTextFile(package.GetPath().Append(u"files_list"),
                                      "velna.exe\n"));
    }
    const base::FilePath installer = CopyInstaller(package.GetPath(), c.name);
    base::DeleteFileOrDirectory(log_folder(), true);
    // The backend runner stops at once without its initial process.
    EXPECT_EQ(1u, Run(installer, u"--backend --installfolder=relative"));
    EXPECT_TRUE(LogHas(c.inside_package)) << LogText();
    EXPECT_TRUE(LogHas("Backend1"));
    EXPECT_TRUE(LogHas("Missing information about initial process"));
  }
}

// The names of the files in |folder|, sorted; none for a missing folder.
std::vector<std::u16string> FileNames(const base::FilePath& folder) {
  std::vector<std::u16string> names;
  base::FileEnumerator files(folder, true, base::FileEnumerator::FILES);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next())
    names.push_back(file.value().substr(folder.value().size() + 1));
  std::sort(names.begin(), names.end());
  return names;
}

// An elevated backend starts in a current folder it did not choose, under a
// log name its starter gave: it logs into its log folder or nowhere. A name
// longer than the product makes (which no folder could hold) gets a name of
// its own there, and a log folder that cannot be made leaves the run without
// a log, never with one in the current folder.
TEST_F(InstallerRunTest, ABackendLogsInItsLogFolderOrNowhere) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  const base::FilePath current = dir().Append(u"current");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(current));
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"file"), "x"));
  const std::u16string long_name =
      u"velna_installer_" + std::u16string(300, u'1') + u".log";
  ASSERT_EQ(320u, long_name.size());
  wchar_t saved[MAX_PATH];
  ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, saved));
  ASSERT_TRUE(SetCurrentDirectoryW(base::as_wcstr(current.value())));
  const std::u16string arguments = u"--backend --installfolder=relative";
  EXPECT_EQ(1u,
            Run(installer, arguments + u" --installer-log-name=" + long_name));
  // The temporary folder lies below a file: no log folder can be made.
  const std::u16string unusable = dir().Append(u"file\\temp").value();
  std::string output;
  DWORD exit_code = 0;
  EXPECT_TRUE(base::RunChildProcess(
      u"\"" + installer.value() + u"\" " + arguments,
      {{u"TEMP", unusable}, {u"TMP", unusable}}, &output, &exit_code));
  EXPECT_EQ(1u, exit_code);
  ASSERT_TRUE(SetCurrentDirectoryW(saved));

  EXPECT_EQ(std::vector<std::u16string>(), FileNames(current));
  EXPECT_EQ(std::vector<std::u16string>{u"installer.exe"},
            FileNames(dir().Append(u"app")));
  const std::vector<std::u16string> logs = FileNames(log_folder());
  ASSERT_EQ(1u, logs.size());
  EXPECT_TRUE(IsInstallerLogFileName(logs[0])) << logs[0];
  EXPECT_TRUE(LogHas("Missing information about initial process"));
}

TEST_F(InstallerRunTest, AutoupdateFromVersion12RecoversTheFolder) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  const base::FilePath folder = dir().Append(u"Velna 12");
  {
    // The run shows the installer window and accepts by itself: its
    // backend starts. Then the user quits. Its package fetcher asks a
    // closed port of this machine, not the update server.
    DWORD exit_code = 0;
    std::thread run([&] {
      exit_code = Run(installer, u"--silent --autoupdate --installfolder= \"" +
                                     folder.value() +
                                     u"\" --v=2 "
                                     u"--internal-package-server=http://"
                                     u"127.0.0.1:9/");
    });
    EXPECT_TRUE(WaitForLogLineStarting("launching installer backend: ", 30000));
    test::WindowCloser closer(installer);
    run.join();
    EXPECT_EQ(1u, exit_code);
    EXPECT_LE(2, closer.closed());
  }
  EXPECT_TRUE(LogHas("Initializing controller with fetcher."));
  EXPECT_TRUE(LogHas("Terminating the UI"));
  EXPECT_TRUE(LogHas("It looks like we are autoupdating from V12."));
  EXPECT_TRUE(
      LogHas("Recovered install folder from command line: " + folder.AsUTF8()));
  EXPECT_TRUE(LogHas("Configuring for V12 autoupdate."));
  EXPECT_TRUE(LogHas("Silent:0"));
  EXPECT_TRUE(LogHas("Run Immediately1"));
  EXPECT_TRUE(LogHas("Using UI message loop"));
  EXPECT_TRUE(LogHas("Running UI controller"));

  // A relative last argument recovers nothing: still silent.
  base::DeleteFileOrDirectory(log_folder(), true);
  EXPECT_EQ(1u, Run(installer,
                    u"--silent --autoupdate --installfolder= relative --v=2" +
                        std::u16string(kOffline)));
  EXPECT_TRUE(LogHas("Recovered install folder from command line: "));
  EXPECT_TRUE(LogHas("Silent:1"));
  EXPECT_TRUE(LogHas("Running silent controller"));
}

// A front end that is not elevated (the test host with a standard user's
// rights) downloads where "temp-folder" says.
TEST_F(InstallerRunTest, DownloadFolderFromTheCommandLine) {
  const base::FilePath app = dir().Append(u"app");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(app));
  const base::FilePath installer = app.Append(u"installer_test_host.exe");
  ASSERT_TRUE(
      base::CopyOneFile(BesideTests(u"installer_test_host.exe"), installer));
  const base::FilePath seams = dir().Append(u"seams.json");
  const base::FilePath rights = dir().Append(u"rights.json");
  ASSERT_TRUE(test::WriteTextFile(seams, "{}"));
  ASSERT_TRUE(test::WriteTextFile(rights, "{\"administrator\": false}"));
  ASSERT_TRUE(SetEnvironmentVariableW(test::kHostSeamsVariable,
                                      base::as_wcstr(seams.value())));
  ASSERT_TRUE(SetEnvironmentVariableW(test::kUnelevatedRightsVariable,
                                      base::as_wcstr(rights.value())));
  const base::FilePath base = dir().Append(u"downloads");
  const base::FilePath folder = base.Append(u"Velna Installer");
  EXPECT_EQ(
      1u, Run(installer, u"--silent --temp-folder=\"" + base.value() +
                             u"\" --installfolder=relative --v=1" + kOffline));
  EXPECT_TRUE(LogHas("Using download folder from command line"));
  EXPECT_TRUE(LogHas("Installer download folder: " + folder.AsUTF8()));
  // Made for the run, and removed again since it stayed empty.
  EXPECT_TRUE(base::DirectoryExists(base));
  EXPECT_FALSE(base::PathExists(folder));

  // A folder that still holds a download is kept.
  ASSERT_TRUE(test::WriteTextFile(folder.Append(u"package.exe"), "MZ"));
  EXPECT_EQ(1u, Run(installer, u"--silent --temp-folder=\"" + base.value() +
                                   u"\" --installfolder=relative" + kOffline));
  EXPECT_TRUE(base::PathExists(folder.Append(u"package.exe")));

  // A base that cannot hold it: a file of that name.
  base::DeleteFileOrDirectory(log_folder(), true);
  ASSERT_TRUE(test::WriteTextFile(dir().Append(u"file"), "x"));
  EXPECT_EQ(1u, Run(installer, u"--silent --temp-folder=\"" +
                                   dir().Append(u"file").value() + u"\""));
  EXPECT_TRUE(LogHas("Could not create temporary installer folder"));
  SetEnvironmentVariableW(test::kHostSeamsVariable, nullptr);
  SetEnvironmentVariableW(test::kUnelevatedRightsVariable, nullptr);
}

// An elevated front end (as every process is on the test system) downloads
// into a new folder that only administrators may change: in the folder
// "temp-folder" names (made when missing), else in the system's temporary
// folder. It removes that folder at its end; its log stays in its
// temporary folder.
TEST_F(InstallerRunTest, AnElevatedFrontEndDownloadsIntoAProtectedFolder) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  const base::FilePath named = dir().Append(u"downloads\\made");
  wchar_t windows[MAX_PATH] = {};
  ASSERT_NE(0u, GetSystemWindowsDirectoryW(windows, MAX_PATH));
  const base::FilePath system_temp =
      base::FilePath(base::as_u16cstr(windows)).Append(u"Temp");
  for (const bool with_temp_folder : {true, false}) {
    SCOPED_TRACE(with_temp_folder);
    base::DeleteFileOrDirectory(log_folder(), true);
    const std::u16string temp_folder =
        with_temp_folder ? u" --temp-folder=\"" + named.value() + u"\"" : u"";
    EXPECT_EQ(1u, Run(installer, u"--silent --installfolder=relative --v=1" +
                                     temp_folder + kOffline));
    const std::string prefix = "Installer download folder: ";
    std::string logged;
    for (const std::string& line : LogMessages()) {
      if (base::StartsWith(line, prefix, base::CompareCase::SENSITIVE))
        logged = line.substr(prefix.size());
    }
    const base::FilePath folder(base::UTF8ToUTF16(logged));
    EXPECT_EQ(0, base::FilePath::CompareIgnoreCase(
                     folder.DirName().value(),
                     (with_temp_folder ? named : system_temp).value()))
        << logged;
    EXPECT_EQ(0u, folder.BaseName().value().find(u"Velna Installer "))
        << logged;
    EXPECT_FALSE(base::PathExists(folder));
  }
  EXPECT_TRUE(base::DirectoryExists(named));
  EXPECT_TRUE(base::FileEnumerator(named, false,
                                   base::FileEnumerator::FILES |
                                       base::FileEnumerator::DIRECTORIES)
                  .Next()
                  .empty());
}

// An elevated front end makes its first protected folder once what killed
// runs left in the protected root has gone: a folder there with the
// installer's access list that nobody holds. A folder of the same name
// pattern that a user owns stays. The access lists are those recorded by
// the test's folder security, which the test host's seams give the run
// (the test system makes up one with the user as owner for every folder).
TEST_F(InstallerRunTest, AnElevatedFrontEndRemovesWhatKilledRunsLeftOnly) {
  const base::FilePath installer =
      dir().Append(u"app\\installer_test_host.exe");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(installer.DirName()));
  ASSERT_TRUE(
      base::CopyOneFile(BesideTests(u"installer_test_host.exe"), installer));
  const base::FilePath root = dir().Append(u"protected");
  const base::FilePath record = dir().Append(u"security.txt");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(root));
  test::RecordedFolderSecurity security(record);
  const base::FilePath left = root.Append(u"Velna Installer 00000000000000c1");
  const base::FilePath users = root.Append(u"Velna Installer 00000000000000c2");
  ASSERT_TRUE(security.Create(left, kProtectedFolderSecurity));
  ASSERT_TRUE(security.Create(
      users, u"O:S-1-5-21-1-2-3-1001D:PAI(A;OICI;FA;;;S-1-5-21-1-2-3-1001)"));
  for (const base::FilePath& folder : {left, users})
    ASSERT_TRUE(test::WriteTextFile(folder.Append(u"installer.exe"), "MZ"));
  base::DictionaryValue seam_values;
  seam_values.SetString("protected_root", root.value());
  seam_values.SetString("folder_security", record.value());
  std::string json;
  ASSERT_TRUE(base::JSONWriter::Write(seam_values, &json));
  const base::FilePath seams = dir().Append(u"seams.json");
  ASSERT_TRUE(test::WriteTextFile(seams, json));
  ASSERT_TRUE(SetEnvironmentVariableW(test::kHostSeamsVariable,
                                      base::as_wcstr(seams.value())));
  EXPECT_EQ(1u, Run(installer, std::u16string(u"--silent "
                                              u"--installfolder=relative") +
                                   kOffline));
  SetEnvironmentVariableW(test::kHostSeamsVariable, nullptr);
  EXPECT_FALSE(base::PathExists(left));
  EXPECT_TRUE(LogHas("Removed a protected folder that an earlier run left: " +
                     left.AsUTF8()));
  EXPECT_TRUE(base::PathExists(users.Append(u"installer.exe")));
  // The run's own folder went at its end.
  base::FileEnumerator remaining(root, false,
                                 base::FileEnumerator::DIRECTORIES);
  EXPECT_EQ(users, remaining.Next());
  EXPECT_TRUE(remaining.Next().empty());
}

// The uninstall takes its experiments from the installation, and reads the
// installation's preferences without changing them.
TEST_F(InstallerRunTest, UninstallReadsTheStoredExperiments) {
  const base::FilePath folder = dir().Append(u"Velna beta");
  InstallLog log = test::MakeInstallLog(folder, false);
  ASSERT_TRUE(test::WriteInstallationLog(folder, log, false));
  ASSERT_TRUE(test::WriteTextFile(folder.Append(u"velna.exe"), "MZ"));
  const base::FilePath prefs = folder.Append(u"installer_prefs.json");
  const base::FilePath installer = CopyInstaller(folder);
  const struct {
    std::string prefs;
    bool enabled;
  } cases[] = {
      {R"({"installer-experiments": ["installer-experiment-test@1"]})", true},
      {R"({"installer-experiments": ["installer-experiment-test@2"]})", false},
      {"{\"installer-experiments\": [", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.prefs);
    ASSERT_TRUE(test::WriteTextFile(prefs, c.prefs));
    base::DeleteFileOrDirectory(log_folder(), true);
    // The experiments are read before the role runs; the backend role
    // then stops at once without its front end.
    EXPECT_EQ(1u, Run(installer,
                      u"--uninstall --backend --v=1 "
                      u"--with-feature:installer-experiment-test=on"));
    EXPECT_TRUE(
        LogHas("Retrieving experiment states from installation folder..."));
    EXPECT_EQ(c.enabled, LogHas("Test experiment is enabled")) << LogText();
    std::string contents;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(prefs, &contents));
    EXPECT_EQ(c.prefs, contents);
    EXPECT_FALSE(base::PathExists(prefs.ReplaceExtension(u"bad")));
  }
}

// The granting utility ends, and takes its grant back, when the installer
// it serves dies without saying so.
TEST_F(InstallerRunTest, PermissionUtilityEndsWithTheProcessItServes) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  const base::FilePath folder = dir().Append(u"install");
  base::win::ScopedHandle granted(
      CreateEventW(nullptr, FALSE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(
                       folder.value(), kGiveInstallPermissionEvent, false))));
  base::win::ScopedHandle undo(CreateEventW(
      nullptr, FALSE, FALSE,
      base::as_wcstr(MakeKernelObjectName(
          folder.value(), kGiveInstallPermissionUndoEvent, false))));
  base::Process served = base::LaunchProcess(
      u"\"" + BesideTests(u"installer_test_host.exe").value() +
          u"\" --host-mode=wait",
      base::LaunchOptions());
  ASSERT_TRUE(served.IsValid());
  wchar_t user[257] = {};
  DWORD size = 257;
  ASSERT_TRUE(GetUserNameW(user, &size));
  base::Process utility = base::LaunchProcess(
      u"\"" + installer.value() + u"\" --set-folder-permission=\"" +
          folder.value() + u"\" --permissions-for-user=" +
          base::as_u16cstr(user) + u" --initial-pid=" +
          base::UintToString16(served.Pid()),
      base::LaunchOptions());
  ASSERT_TRUE(utility.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(granted.Get(), 60000));
  EXPECT_TRUE(base::DirectoryExists(folder));
  int exit_code = -1;
  EXPECT_FALSE(utility.WaitForExitWithTimeout(200, &exit_code));
  ASSERT_TRUE(served.Terminate(1, true));
  ASSERT_TRUE(utility.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(0, exit_code);
}

// A host without a branding document of its own reads the test harness
// module's, without running any of its code.
TEST_F(InstallerRunTest, BrandingOfTheTestHarnessModule) {
  const struct {
    const char16_t* module;
    bool has_code;
  } cases[] = {
      {u"installer_harness_branding_module.dll", false},
      {u"installer_planted_module.dll", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(base::UTF16ToUTF8(c.module));
    base::ScopedTempDir host_dir;
    ASSERT_TRUE(host_dir.CreateUniqueTempDirUnderPath(dir()));
    const base::FilePath host = host_dir.GetPath().Append(u"host.exe");
    ASSERT_TRUE(
        base::CopyOneFile(BesideTests(u"installer_engine_host.exe"), host));
    ASSERT_TRUE(
        base::CopyOneFile(BesideTests(u"installer_engine.dll"),
                          host_dir.GetPath().Append(u"installer_engine.dll")));
    // Without the module: the engine's built-in document.
    std::string output;
    EXPECT_EQ(0u, Run(host, u"--version", &output));
    EXPECT_EQ("41.0.2353.23", output);

    ASSERT_TRUE(base::CopyOneFile(
        BesideTests(c.module), host_dir.GetPath().Append(u"_velautolib.pyd")));
    const base::FilePath marker = host_dir.GetPath().Append(u"marker");
    std::string printed;
    DWORD exit_code = 0;
    ASSERT_TRUE(base::RunChildProcess(u"\"" + host.value() + u"\" --version",
                                      {{u"VELNA_TEST_MARKER", marker.value()}},
                                      &printed, &exit_code));
    EXPECT_EQ(0u, exit_code);
    EXPECT_EQ("43.54.2353.23", printed);
    EXPECT_FALSE(base::PathExists(marker));
    if (c.has_code) {
      // The marker works: loading the module as code leaves it.
      ASSERT_TRUE(SetEnvironmentVariableW(L"VELNA_TEST_MARKER",
                                          base::as_wcstr(marker.value())));
      HMODULE module = LoadLibraryW(base::as_wcstr(
          host_dir.GetPath().Append(u"_velautolib.pyd").value()));
      ASSERT_NE(nullptr, module);
      FreeLibrary(module);
      SetEnvironmentVariableW(L"VELNA_TEST_MARKER", nullptr);
      EXPECT_TRUE(base::PathExists(marker));
    }
  }
}

// The console's rows for |text| printed into a console |width| columns
// wide: tabs to the next multiple of 8, long lines wrapped.
std::vector<std::string> ConsoleRows(const std::string& text, size_t width) {
  std::vector<std::string> rows;
  for (const std::string& line : base::SplitString(
           text, "\n", base::SplitWhitespace::kKeep, base::SplitFilter::kAll)) {
    std::string expanded;
    for (char c : line) {
      if (c == '\t')
        expanded.append(8 - expanded.size() % 8, ' ');
      else
        expanded.push_back(c);
    }
    size_t start = 0;
    do {
      std::string row = expanded.substr(start, width);
      row.erase(row.find_last_not_of(' ') + 1);
      rows.push_back(row);
      start += width;
    } while (start < expanded.size());
  }
  // The text ends with a line feed: the cursor's row follows.
  rows.pop_back();
  return rows;
}

// The language list as the help prints it: the codes of installer.exe's
// language resource.
std::string LanguageLine() {
  HMODULE exe = LoadLibraryExW(
      base::as_wcstr(BesideTests(u"installer.exe").value()), nullptr,
      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  EXPECT_NE(nullptr, exe);
  std::string bytes;
  EXPECT_TRUE(ReadResourceBytes(exe, 134, L"TXT", &bytes));
  FreeLibrary(exe);
  std::vector<std::string> codes;
  for (const std::u16string& code : ParseLanguageList(bytes))
    codes.push_back(base::UTF16ToUTF8(code));
  EXPECT_FALSE(codes.empty());
  return base::JoinString(codes, ", ");
}

// The help as a user sees it: in a console of its own, which waits for a
// key (needs a display).
TEST_F(InstallerRunTest, HelpInItsOwnConsoleEndsOnAKey) {
  const base::FilePath installer = CopyInstaller(dir().Append(u"app"));
  for (const char16_t* help : {u"/?", u"--help"}) {
    SCOPED_TRACE(base::UTF16ToUTF8(help));
    std::string output;
    const DWORD exit_code =
        Run(BesideTests(u"installer_console_reader.exe"),
            u"\"" + installer.value() + u"\" " + help, &output);
    // The key ended the pause and the help returned true.
    EXPECT_EQ(0u, exit_code) << output;
    std::vector<std::string> rows = base::SplitString(
        output, "\n", base::SplitWhitespace::kKeep, base::SplitFilter::kAll);
    ASSERT_GE(rows.size(), 2u) << output;
    unsigned width = 0;
    ASSERT_EQ(0u, rows[0].find("width="));
    ASSERT_TRUE(base::StringToUint(rows[0].substr(6), &width));
    // No console could be read (no display for Wine's console window).
    ASSERT_GT(width, 0u) << output;
    rows.erase(rows.begin());
    rows.pop_back();  // after the last line feed
    const std::vector<std::string> expected =
        ConsoleRows(test::GoldenHelpText(LanguageLine()), width);
    // The help, then the pause's prompt on the row after it.
    ASSERT_EQ(expected.size() + 1, rows.size()) << output;
    EXPECT_EQ(expected, std::vector<std::string>(rows.begin(), rows.end() - 1));
    EXPECT_FALSE(rows.back().empty());
    EXPECT_FALSE(base::PathExists(log_folder()));
  }
}

}  // namespace
}  // namespace installer
