// The Installer with its real steps, under the test system: real files in a
// per-test folder, the product's real keys in HKEY_CURRENT_USER (restored
// afterwards; these tests run one at a time), shell folders and application
// data through path-service overrides, and recording stand-ins for the
// programs the installer starts. Taskbar pins, scheduled tasks, the start of
// the uninstall batch file and profile deletions go through the Installer's
// seams where the test system cannot do them (or must not).

#include <windows.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/run_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_plain_path_limit_win.h"
#include "base/values.h"
#include "base/win/registry.h"
#include "base/win/shortcut.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/core/uninstall_batch.h"
#include "desktop/windows/installer/core/uninstall_batch_win.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/shell_integration.h"
#include "desktop/windows/installer/service/shell_platform.h"
#include "desktop/windows/installer/service/task_scheduler.h"
#include "desktop/windows/installer/service/test/fake_shell_platform.h"
#include "desktop/windows/installer/service/test/in_use_child.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/null_task_scheduler.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/test/scoped_registry_restore.h"
#include "desktop/windows/installer/service/transactions/file_security.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/product_registry_keys_win.h"
#include "desktop/windows/installer/test/recording_installer_observer.h"
#include "desktop/windows/installer/test/settings_fixture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::kUninstallRoot;

// --- Recording stand-ins behind the Installer's seams.

std::vector<std::string>* g_calls = nullptr;

void Record(const std::string& call) {
  if (g_calls) g_calls->push_back(call);
}

class RecordingTaskScheduler : public test::NullTaskScheduler {
 public:
  bool Register(const ScheduledTaskSpec& spec) override {
    Record("Register " + base::UTF16ToUTF8(spec.name_suffix) + " " +
           base::UTF16ToUTF8(spec.command_line.GetCommandLineString()));
    return true;
  }
  void DeleteStaleTasks() override { Record("DeleteStaleTasks"); }
  void Delete(const std::u16string& name) override {
    Record("Delete " + base::UTF16ToUTF8(name));
  }
};

std::unique_ptr<TaskScheduler> MakeRecordingScheduler() {
  return std::make_unique<RecordingTaskScheduler>();
}

class RecordingPins : public TaskbarPins {
 public:
  bool CanPin() override { return true; }
  bool Pin(const base::FilePath& shortcut) override {
    Record("Pin " + shortcut.BaseName().AsUTF8());
    return true;
  }
  bool Unpin(const base::FilePath& shortcut) override {
    Record("Unpin " + shortcut.BaseName().AsUTF8());
    return true;
  }
};

// The clean-up batch file the last uninstall wrote.
base::FilePath* g_last_batch = nullptr;

bool RecordBatchLaunch(const base::FilePath& batch) {
  Record("LaunchBatch");
  if (g_last_batch) *g_last_batch = batch;
  return true;
}

bool RecordProfileDeletion(const base::FilePath& folder) {
  Record("DeleteProfile " + folder.AsUTF8());
  return true;
}

// --- The machine as the tests compare it.

struct MachineState {
  test::FileTreeSnapshot files;
  test::RegistryState registry;
  test::RegistrySnapshot company;

  bool operator==(const MachineState& other) const = default;
};

void PrintTo(const MachineState& state, std::ostream* out) {
  *out << "files:";
  for (const auto& [name, entry] : state.files) *out << " " << name;
  *out << "; keys:";
  for (const auto& [key, values] : state.registry) *out << " " << key;
  for (const auto& [key, values] : state.company) *out << " company\\" << key;
}

std::string LastInstallPathValue() {
  return "Last " + VersionInfo::GetStream() + " Install Path";
}

class InstallerStepsTest : public test::SettingsTestBase {
 protected:
  void SetUp() override {
    SettingsTestBase::SetUp();
    g_calls = &calls_;
    g_last_batch = &last_batch_;
    restore_ = std::make_unique<test::ScopedRegistryRestore>(
        test::ProductRegistryKeys());
    machine_ = dir().Append(u"machine");
    install_folder_ = machine_.Append(u"Velna \u00e9 100% x");
    records_ = dir().Append(u"records");
    protected_root_ = dir().Append(u"protected");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(records_));
    // The access lists an install for all users gives; the levels above
    // the install folder are the system's.
    security_ = std::make_unique<test::RecordedFolderSecurity>(
        records_.Append(u"folders.txt"));
    ASSERT_TRUE(security_->ProtectLevelsAbove(install_folder_));
    internal::SetFolderSecurityForTesting(security_.get());
    // The clean-up batch files of the (elevated) uninstalls.
    ASSERT_TRUE(base::FileUtil::CreateDirectory(protected_root_));
    internal::SetProtectedFolderRootForTesting(protected_root_);
    const struct {
      int key;
      const char16_t* folder;
    } overrides[] = {
        {base::DIR_USER_DESKTOP, u"desktop"},
        {base::DIR_COMMON_DESKTOP, u"common desktop"},
        {base::DIR_START_MENU, u"start menu"},
        {base::DIR_COMMON_START_MENU, u"common start menu"},
        {base::DIR_QUICK_LAUNCH, u"quick launch"},
        {base::DIR_ROAMING_APP_DATA, u"roaming"},
        {base::DIR_LOCAL_APP_DATA, u"local"},
    };
    for (const auto& o : overrides) {
      ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
          o.key, machine_.Append(o.folder), true, true));
      overridden_.push_back(o.key);
    }
    // The survey's browser records its command line.
    const base::FilePath programs = dir().Append(u"programs");
    ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
        base::DIR_PROGRAM_FILES, programs, true, true));
    overridden_.push_back(base::DIR_PROGRAM_FILES);
    ASSERT_TRUE(
        base::FileUtil::CreateDirectory(programs.Append(u"Internet Explorer")));
    ASSERT_TRUE(base::CopyOneFile(
        HostPath(), programs.Append(u"Internet Explorer\\iexplore.exe")));
    ASSERT_TRUE(SetEnvironmentVariableW(
        test::kHostRecordVariable, base::as_wcstr(records_.value() + u"\\")));
    interrupted_.Set(CreateEventW(
        nullptr, TRUE, FALSE,
        base::as_wcstr(MakeKernelObjectName(
            install_folder_.value(), kInstallationInterruptedEvent, true))));
    ASSERT_TRUE(interrupted_.IsValid());
    internal::SetTaskSchedulerFactoryForTesting(&MakeRecordingScheduler);
    internal::SetTaskbarPinsForTesting(&pins_);
    internal::SetUninstallBatchLauncherForTesting(&RecordBatchLaunch);
    internal::SetProfileDeleterForTesting(&RecordProfileDeletion);
  }

  void TearDown() override {
    internal::SetTaskSchedulerFactoryForTesting(nullptr);
    internal::SetTaskbarPinsForTesting(nullptr);
    internal::SetUninstallBatchLauncherForTesting(nullptr);
    internal::SetProfileDeleterForTesting(nullptr);
    SetEnvironmentVariableW(test::kHostRecordVariable, nullptr);
    base::PathService::RemoveOverrideForTesting(base::DIR_EXE);
    for (int key : overridden_)
      base::PathService::RemoveOverrideForTesting(key);
    g_calls = nullptr;
    g_last_batch = nullptr;
    internal::SetProtectedFolderRootForTesting(base::FilePath());
    internal::SetFolderSecurityForTesting(nullptr);
    restore_.reset();
  }

  static base::FilePath HostPath() {
    return base::FilePath(base::GetTestExecutableFolder() +
                          u"installer_test_host.exe");
  }
  static base::FilePath ServiceTestFile(const char16_t* name) {
    return base::FilePath(base::GetTestExecutableFolder() + u"service\\" +
                          name);
  }

  // A package in dir()\<name>: 30 versioned files in nested folders (the
  // browser, a module, names beyond ASCII), two root files and a recording
  // launcher. |variant| changes every content and one name.
  base::FilePath MakePackage(const std::u16string& name, int variant) {
    const base::FilePath package = dir().Append(name);
    std::vector<std::u16string> files = {
        base::UTF8ToUTF16(GetBrowserExecutableName()), u"sub\\module.dll"};
    for (int i = 0; files.size() < 30; ++i) {
      files.push_back(u"res\\d" + base::UintToString16(i % 4) +
                      (i % 3 == 0 ? u"\\r\u00e9sum\u00e9 " : u"\\f") +
                      base::UintToString16(i) +
                      (variant == 2 && i == 7 ? u"_new" : u"") + u".txt");
    }
    std::string list;
    for (const std::u16string& file : files) {
      const base::FilePath path = package.Append(file);
      if (file == u"sub\\module.dll") {
        EXPECT_TRUE(base::FileUtil::CreateDirectory(path.DirName()));
        EXPECT_TRUE(base::CopyOneFile(
            ServiceTestFile(u"installer_service_test_module.dll"), path));
      } else {
        EXPECT_TRUE(test::WriteTextFile(
            path,
            "v" + std::to_string(variant) + " " + base::UTF16ToUTF8(file)));
      }
      list += base::UTF16ToUTF8(file) + "\r\n";
    }
    EXPECT_TRUE(test::WriteTextFile(package.Append(kFilesListFileName), list));
    EXPECT_TRUE(test::WriteTextFile(package.Append(kRootFilesListFileName),
                                    "root_a.txt\r\nroot\u00e9.dat\r\n"));
    EXPECT_TRUE(test::WriteTextFile(package.Append(u"root_a.txt"),
                                    "root a " + std::to_string(variant)));
    EXPECT_TRUE(test::WriteTextFile(package.Append(u"root\u00e9.dat"),
                                    "root b " + std::to_string(variant)));
    EXPECT_TRUE(
        base::CopyOneFile(HostPath(), package.Append(kLauncherFileName)));
    EXPECT_TRUE(test::WriteTextFile(
        package.Append(u"installer_prefs_include.json"),
        "{\"welcome-url\": \"https://welcome.velna.com/w?p=1\"}"));
    return package;
  }

  MachineState State() const {
    MachineState state;
    state.files = test::TakeFileTreeSnapshot(machine_);
    state.registry = restore_->TakeState(true);
    state.company =
        test::TakeRegistrySnapshot(HKEY_CURRENT_USER, company_key().path());
    return state;
  }

  // Runs one installer with the package (or, empty, from the install
  // folder, for an uninstall) until its end. |on_step| sees each OnStep's
  // number, from 1.
  std::vector<std::string> RunInstaller(
      const base::FilePath& package, const std::u16string& arguments,
      std::function<void(int)> on_step = nullptr) {
    // A fresh scope for the process-wide objects (the running
    // installation, the preference pool), as each backend process has.
    base::AtExitManager at_exit;
    EXPECT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
        base::DIR_EXE, package.empty() ? install_folder_ : package, true,
        false));
    std::unique_ptr<Settings> settings = MakeSettings(
        package.empty() ? arguments
                        : u"--installfolder=\"" + install_folder_.value() +
                              u"\" " + arguments);
    test::RecordingInstallerObserver observer;
    auto installer = std::make_unique<Installer>();
    installer->AddObserver(&observer);
    base::RunLoop run_loop;
    int steps = 0;
    observer.set_on_event([&](const std::string& event) {
      if (event == "Step" && on_step) on_step(++steps);
      if (event == "Success" || event.rfind("InstallerTerminated", 0) == 0)
        run_loop.Quit();
    });
    base::MessageLoop::current()->PostDelayedTask(
        CURRENT_LOCATION, run_loop.QuitClosure(),
        base::TimeDelta::FromSeconds(50));
    installer->Start(settings.get());
    run_loop.Run();
    observer.set_on_event(nullptr);
    last_install_log_ = *installer->install_log();
    installer.reset();
    ResetEvent(interrupted_.Get());
    return observer.events();
  }

  // An interrupt, as the front end's, once the |k|th OnStep has come.
  std::function<void(int)> InterruptAt(int k) {
    return [this, k](int step) {
      if (step != k) return;
      // The step this notice announces is not begun: the run stops there.
      SetEvent(interrupted_.Get());
    };
  }

  // Runs the installer on |package| with |arguments| once for each step
  // number in |steps|, interrupted after that step: every run fails and
  // leaves the machine as it was.
  void ExpectEachInterruptRollsBack(const base::FilePath& package,
                                    const std::u16string& arguments,
                                    const std::vector<int>& steps) {
    const MachineState before = State();
    for (int step : steps) {
      SCOPED_TRACE(step);
      const std::vector<std::string> events =
          RunInstaller(package, arguments, InterruptAt(step));
      EXPECT_EQ("InstallerTerminated(0)", events.back());
      EXPECT_EQ(before, State());
    }
  }

  void ExpectNoAsideFiles() {
    EXPECT_EQ(std::vector<std::string>(),
              test::FindEntriesEndingWith(State().files, ".old"));
  }

  std::string Recorded(const std::u16string& program) {
    return test::ReadFileContents(records_.Append(program + u".txt"));
  }

  base::FilePath machine_;
  base::FilePath install_folder_;
  base::FilePath records_;
  base::FilePath protected_root_;
  base::FilePath last_batch_;
  base::win::ScopedHandle interrupted_;
  std::vector<int> overridden_;
  std::unique_ptr<test::RecordedFolderSecurity> security_;
  // Printed when a test fails.
  test::ScopedLogCapture logs_;
  std::unique_ptr<test::ScopedRegistryRestore> restore_;
  RecordingPins pins_;
  std::vector<std::string> calls_;
  InstallLog last_install_log_;
};

std::u16string InstallArguments() {
  return base::UTF8ToUTF16(
      "--allusers=0 --desktopshortcut=1 --startmenushortcut=1 "
      "--quicklaunchshortcut=1 --pintotaskbar=1 --launchvelna=1 "
      "--language=en-US");
}

// Removes the value every installation leaves by design.
MachineState WithoutLastInstallPath(MachineState state) {
  auto company = state.company.find("");
  if (company != state.company.end()) {
    company->second.erase(LastInstallPathValue());
    if (company->second.empty()) state.company.erase(company);
  }
  return state;
}

// Starts |batch| as LaunchUninstallBatch does. The uninstaller ends once it
// has started it, and with it its hold on the batch file's folder, which
// this test process plays.
base::Process StartBatch(const base::FilePath& batch) {
  internal::ReleaseProtectedFolderForTesting(batch.DirName());
  base::LaunchOptions options;
  options.start_hidden = true;
  options.current_directory = GetSystemFolder();
  return base::LaunchProcess(u"\"" + GetSystemCommandInterpreter().value() +
                                 u"\" /d /v:off /s /c \"\"" + batch.value() +
                                 u"\"\"",
                             options);
}

// Runs |batch| and waits for it.
bool RunBatchNow(const base::FilePath& batch) {
  base::Process process = StartBatch(batch);
  int exit_code = -1;
  return process.IsValid() && process.WaitForExitWithTimeout(60000, &exit_code);
}

// |name| in the system folder as the batch file names it.
std::string SystemProgram(const char* name) {
  std::string system;
  EXPECT_TRUE(ToBatchPath(GetSystemFolder(), &system));
  return "\"" + EscapeBatchPercent(system) + "\\" + name + "\"";
}

// Whether |folder| is gone within a minute: the batch file has its own
// folder removed about two seconds after its own end, by a command
// interpreter that a loaded machine may take seconds to start.
bool WaitForFolderGone(const base::FilePath& folder) {
  for (int i = 0; i < 600 && base::DirectoryExists(folder); ++i) ::Sleep(100);
  return !base::DirectoryExists(folder);
}

TEST_F(InstallerStepsTest, InstallUpdateAndUninstallLeaveTheMachineAsItWas) {
  const MachineState before = State();
  const base::FilePath first = MakePackage(u"package1", 1);
  const base::FilePath second = MakePackage(u"package2", 2);

  // Install: 7 steps + 29 + 1 + 1.
  std::vector<std::string> events = RunInstaller(first, InstallArguments());
  ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
  EXPECT_EQ("TotalSteps(38)", events[1]);
  EXPECT_EQ(38, std::count(events.begin(), events.end(), "Step"));
  const InstallLog installed = last_install_log_;
  EXPECT_EQ(30u, installed.files.size());
  EXPECT_EQ(2u, installed.root_files.size());
  EXPECT_EQ("v1 res\\d1\\f1.txt",
            test::ReadFileContents(install_folder_.Append(installed.subfolder)
                                       .Append(u"res\\d1\\f1.txt")));
  EXPECT_EQ("root a 1",
            test::ReadFileContents(install_folder_.Append(u"root_a.txt")));
  EXPECT_TRUE(base::PathExists(install_folder_.Append(kInstallLogFileName)));
  EXPECT_TRUE(base::PathExists(base::FilePath(installed.desktop_shortcut)));
  EXPECT_EQ(machine_.Append(u"quick launch")
                .Append(Installer::GetShortcutFileName(false))
                .value(),
            installed.quick_launch_shortcut);
  EXPECT_TRUE(installed.pinned);
  // Elevated, as every process here, without a desktop shell to start the
  // browser as: its command is logged, and nothing is started.
  const std::string launcher =
      "Not starting \"" + install_folder_.Append(kLauncherFileName).AsUTF8() +
      "\"";
  const std::string no_shell =
      ": this desktop has no shell (a service's session, or none runs)";
  EXPECT_TRUE(logs_.Has(logging::LOG_WARNING,
                        launcher + " --start-maximized" + no_shell));
  EXPECT_EQ("", Recorded(u"launcher.exe"));
  // The uninstall entry, and the preferences merged for the browser.
  base::win::RegKey uninstall;
  ASSERT_EQ(
      ERROR_SUCCESS,
      uninstall.Open(HKEY_CURRENT_USER,
                     Installer::GetUninstallKeyPath(u"").c_str(), KEY_READ));
  std::u16string location;
  EXPECT_EQ(ERROR_SUCCESS, uninstall.ReadValue(u"InstallLocation", &location));
  EXPECT_EQ(install_folder_.value(), location);
  uninstall.Close();
  std::unique_ptr<base::DictionaryValue> prefs =
      ReadJsonDictionaryFile(install_folder_.Append(kInstallerPrefsFileName));
  ASSERT_TRUE(prefs);
  std::string text;
  EXPECT_TRUE(prefs->GetString("welcome-url", &text));
  EXPECT_EQ("https://welcome.velna.com/w?p=1", text);
  // The available language nearest to the one asked for.
  EXPECT_TRUE(prefs->GetString("language", &text));
  EXPECT_EQ(0u, text.find("en")) << text;
  const base::ListValue* all = nullptr;
  ASSERT_TRUE(prefs->GetList("all-installer-experiments", &all));
  EXPECT_EQ(4u, all->GetSize());
  EXPECT_NE(calls_.end(),
            std::find(calls_.begin(), calls_.end(),
                      "Register Autoupdate " + installed.app_id + " \"" +
                          install_folder_.Append(kLauncherFileName).AsUTF8() +
                          "\" --scheduledautoupdate $(Arg0)"));

  // Update with the second package: a new subfolder; the first status kept.
  events = RunInstaller(second, InstallArguments());
  ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
  const InstallLog updated = last_install_log_;
  EXPECT_TRUE(base::PathExists(base::FilePath(updated.desktop_shortcut)));
  EXPECT_TRUE(base::PathExists(base::FilePath(updated.start_menu_shortcut)));
  EXPECT_EQ(installed.app_id, updated.app_id);
  EXPECT_NE(installed.subfolder, updated.subfolder);
  EXPECT_EQ("root a 2",
            test::ReadFileContents(install_folder_.Append(u"root_a.txt")));
  EXPECT_EQ(installed.desktop_shortcut, updated.desktop_shortcut);
  EXPECT_TRUE(logs_.Has(logging::LOG_WARNING, launcher + no_shell));
  EXPECT_TRUE(base::DirectoryExists(install_folder_.Append(u"old_status")));

  // Uninstall from the installation, then the batch file once it is gone.
  calls_.clear();
  events = RunInstaller(base::FilePath(), u"--uninstall");
  ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
  EXPECT_EQ("TotalSteps(6)", events[1]);
  EXPECT_NE(calls_.end(), std::find(calls_.begin(), calls_.end(),
                                    "Delete Autoupdate " + installed.app_id));
  EXPECT_NE(calls_.end(),
            std::find(calls_.begin(), calls_.end(), "LaunchBatch"));
  // From a protected folder of its own, not the folder it removes.
  EXPECT_EQ(protected_root_, last_batch_.DirName().DirName());
  const std::string batch = test::ReadFileContents(last_batch_);
  EXPECT_NE(std::string::npos,
            batch.find(SystemProgram("tasklist.exe") + " /FI \"PID eq " +
                       std::to_string(GetCurrentProcessId()) + "\" >"))
      << batch;
  EXPECT_EQ(std::string::npos, batch.find(":delete")) << batch;
  ASSERT_TRUE(RunBatchNow(last_batch_));
  EXPECT_TRUE(WaitForFolderGone(last_batch_.DirName()));
  // Empty, the install folder went with the batch file; the test made it
  // before the install, so it is made again for the comparison.
  EXPECT_FALSE(base::PathExists(install_folder_));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder_));
  EXPECT_EQ(WithoutLastInstallPath(before), WithoutLastInstallPath(State()));
}

// The OnStep numbers at which each step of a list begins, for |files|
// versioned and |root| root files: copy steps announce one more per file.
std::vector<int> StepStarts(const std::vector<int>& copy_positions,
                            size_t list_size, size_t files, size_t root) {
  std::vector<int> starts;
  int at = 1;
  for (size_t position = 1; position <= list_size; ++position) {
    starts.push_back(at);
    at += 1;
    if (position == static_cast<size_t>(copy_positions[0])) at += files - 1;
    if (position == static_cast<size_t>(copy_positions[1]) && root > 0)
      at += root - 1;
  }
  return starts;
}

TEST_F(InstallerStepsTest, AnInterruptAfterEveryInstallStepRollsBack) {
  // The last step ends the run before an interrupt can come.
  std::vector<int> starts = StepStarts({1, 2}, 7, 30, 2);
  starts.pop_back();
  ExpectEachInterruptRollsBack(MakePackage(u"package1", 1), InstallArguments(),
                               starts);
}

TEST_F(InstallerStepsTest, AnInterruptAfterEveryUpdateStepRollsBack) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const base::FilePath package = MakePackage(u"package2", 2);
  std::vector<int> starts = StepStarts({2, 4}, 11, 30, 2);
  starts.pop_back();
  ExpectEachInterruptRollsBack(package, InstallArguments(), starts);
}

TEST_F(InstallerStepsTest, AnInterruptAfterEveryUninstallStepRollsBack) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  // With an old status to remove, so that every step has work.
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package2", 2), InstallArguments()).back());
  ExpectEachInterruptRollsBack(base::FilePath(), u"--uninstall", {1, 2, 3, 4});
}

TEST_F(InstallerStepsTest, InjectedFailuresLeaveTheMachineAsItWas) {
  const base::FilePath package = MakePackage(u"package1", 1);
  const std::string files_list =
      test::ReadFileContents(package.Append(kFilesListFileName));
  struct Case {
    const char* name;
    std::function<void()> inject;
    std::function<void()> undo;
    std::string expected;
  };
  const base::FilePath launcher = package.Append(kLauncherFileName);
  const base::FilePath status_folder =
      install_folder_.Append(kInstallLogFileName);
  const Case cases[] = {
      {"missing copy source",
       [&] {
         test::WriteTextFile(package.Append(kFilesListFileName),
                             files_list + "res\\missing.txt\r\n");
       },
       [&] {
         test::WriteTextFile(package.Append(kFilesListFileName), files_list);
       },
       "Error(37062," + install_folder_.AsUTF8() + "\\" +
           VersionInfo::GetProductVersion() +
           "\\res\\missing.txt,Failed copying res\\missing.txt)"},
      {"missing launcher",
       [&] { base::FileUtil::Move(launcher, launcher.AddExtension(u"away")); },
       [&] { base::FileUtil::Move(launcher.AddExtension(u"away"), launcher); },
       "Error(37062," + install_folder_.Append(kLauncherFileName).AsUTF8() +
           ",Failed copying the launcher)"},
      {"volatile uninstall key",
       [&] {
         RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(kUninstallRoot));
         HKEY key = nullptr;
         RegCreateKeyExW(HKEY_CURRENT_USER, base::as_wcstr(kUninstallRoot), 0,
                         nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                         &key, nullptr);
         RegCloseKey(key);
       },
       [&] {
         RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(kUninstallRoot));
       },
       "Error(37055,,Failed writing uninstallation information)"},
      {"status file is a folder",
       [&] { base::FileUtil::CreateDirectory(status_folder); },
       [&] { base::DeleteFileOrDirectory(status_folder, true); },
       "Error(37055,,Failed saving the installation status)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.inject();
    const MachineState before = State();
    const std::vector<std::string> events =
        RunInstaller(package, InstallArguments());
    ASSERT_LE(2u, events.size());
    EXPECT_EQ(c.expected, events[events.size() - 2]);
    EXPECT_EQ("InstallerTerminated(0)", events.back());
    EXPECT_EQ(before, State());
    ExpectNoAsideFiles();
    c.undo();
  }
}

// The user's own uninstall leaves a module in use to the batch file, which
// deletes it by its path once free.
TEST_F(InstallerStepsTest, AModuleInUseIsLeftToTheBatchFile) {
  const base::win::ScopedHandle limited(base::DuplicateLimitedToken());
  ASSERT_TRUE(limited.IsValid());
  internal::ScopedAccessTokenForTesting standard_user(limited.Get());
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const std::u16string subfolder = last_install_log_.subfolder;
  const base::FilePath module =
      install_folder_.Append(subfolder).Append(u"sub\\module.dll");
  std::string module_text;
  ASSERT_TRUE(ToBatchPath(module, &module_text));
  auto holder = std::make_unique<test::InUseChild>();
  ASSERT_TRUE(holder->Start(
      ServiceTestFile(u"installer_service_test_child.exe"), module));
  const std::vector<std::string> events =
      RunInstaller(base::FilePath(), u"--uninstall");
  ASSERT_EQ("Success", events.back());
  ASSERT_TRUE(base::PathExists(module));

  // In the OEM code page, every '%' doubled; once it is gone the record,
  // then its folders up to the install folder, deepest first, then the
  // install folder.
  const std::string batch = test::ReadFileContents(last_batch_);
  std::string folder_text;
  ASSERT_TRUE(ToBatchPath(install_folder_, &folder_text));
  EXPECT_NE(std::string::npos, folder_text.find("\x82"))
      << "é in the OEM code page";
  const std::string sub =
      EscapeBatchPercent(folder_text) + "\\" + base::UTF16ToUTF8(subfolder);
  EXPECT_NE(std::string::npos,
            batch.find("del \"" + EscapeBatchPercent(module_text) + "\"\r\n"))
      << batch;
  EXPECT_NE(
      std::string::npos,
      batch.find(":folders\r\nIF EXIST \"" + EscapeBatchPercent(module_text) +
                 "\" GOTO :end\r\ndel \"" + EscapeBatchPercent(folder_text) +
                 "\\installation_status.xml\"\r\nrmdir \"" + sub +
                 "\\sub\"\r\nrmdir \"" + sub + "\"\r\nrmdir \"" +
                 EscapeBatchPercent(folder_text) + "\"\r\n"))
      << batch;

  // The batch file tries the module again until its holder lets it go (the
  // test system's TASKLIST finds no process to wait for).
  base::Process batch_process = StartBatch(last_batch_);
  ASSERT_TRUE(batch_process.IsValid());
  ::Sleep(1500);
  EXPECT_TRUE(base::PathExists(module));
  holder.reset();
  int exit_code = -1;
  ASSERT_TRUE(batch_process.WaitForExitWithTimeout(40000, &exit_code));
  EXPECT_FALSE(base::PathExists(module));
  EXPECT_FALSE(base::PathExists(install_folder_.Append(subfolder)));
  // Empty now, the install folder goes too, and the batch file's own folder
  // a little after the file.
  EXPECT_FALSE(base::PathExists(install_folder_));
  EXPECT_TRUE(WaitForFolderGone(last_batch_.DirName()));
}

// An administrator's elevated uninstall of a user's installation, which the
// user may change (an elevated prompt): the batch file names no path there,
// whatever the record says the installation is for. The module in use goes
// into the batch file's own folder first; the record and the emptied
// folders go before the uninstall ends.
TEST_F(InstallerStepsTest, AnElevatedUninstallHandsTheBatchFileNoUsersPath) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const base::FilePath module =
      install_folder_.Append(last_install_log_.subfolder)
          .Append(u"sub\\module.dll");
  auto holder = std::make_unique<test::InUseChild>();
  ASSERT_TRUE(holder->Start(
      ServiceTestFile(u"installer_service_test_child.exe"), module));
  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  EXPECT_FALSE(base::PathExists(module));
  EXPECT_FALSE(base::PathExists(install_folder_));
  const std::string batch = test::ReadFileContents(last_batch_);
  std::string machine_text;
  ASSERT_TRUE(ToBatchPath(machine_, &machine_text));
  EXPECT_EQ(std::string::npos, batch.find(machine_text)) << batch;
  holder.reset();
  ASSERT_TRUE(RunBatchNow(last_batch_));
  EXPECT_TRUE(WaitForFolderGone(last_batch_.DirName()));
}

TEST_F(InstallerStepsTest, BatchPathsTheInterpreterCannotReadUseShortNames) {
  const base::FilePath file = machine_.Append(u"\u4e2d\u6587 file.txt");
  ASSERT_TRUE(test::WriteTextFile(file, "x"));
  std::string text;
  if (ToBatchPath(file, &text)) {
    // The short name: plain OEM bytes that name the same file.
    EXPECT_EQ(std::string::npos, text.find('?'));
    EXPECT_NE(file.AsUTF8(), text);
  }
  EXPECT_FALSE(ToBatchPath(machine_.Append(u"\u4e2d missing"), &text));
}

// --- The profile deletion of an uninstallation.

class ProfileDeletionTest : public InstallerStepsTest {
 protected:
  // A minimal installation whose installer preferences hold |prefs|
  // (nothing when null).
  void MakeInstallation(const char* prefs) {
    ASSERT_TRUE(test::WriteInstallationLog(
        install_folder_, test::MakeInstallLog(install_folder_, false), false));
    if (prefs) {
      ASSERT_TRUE(test::WriteTextFile(
          install_folder_.Append(kInstallerPrefsFileName), prefs));
    }
  }

  static void PlantProfile(const base::FilePath& folder) {
    ASSERT_TRUE(test::WriteTextFile(folder.Append(kLocalStateFileName), "{}"));
  }
};

std::string JsonPath(const base::FilePath& path) {
  std::string text;
  for (char c : path.AsUTF8()) {
    if (c == '\\') text += '\\';
    text += c;
  }
  return text;
}

TEST_F(ProfileDeletionTest, OnlyAProfileIsDeleted) {
  std::u16string user;
  ASSERT_TRUE(GetCurrentUserName(&user));
  const base::FilePath roaming = machine_.Append(u"roaming");
  const base::FilePath local = machine_.Append(u"local");
  const std::u16string default_name =
      u"Velna Software\\Velna " + base::UTF8ToUTF16(GetInternalStreamName());
  const base::FilePath users = machine_.Append(u"profiles");
  wchar_t short_install_folder[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW(base::as_wcstr(install_folder_.value()),
                                  short_install_folder, MAX_PATH));
  const struct {
    const char* name;
    std::string prefs;  // "-" for no file
    base::FilePath planted;
    std::vector<std::string> deleted;
  } cases[] = {
      {"the default profile and its local side",
       "{}",
       roaming.Append(default_name),
       {"DeleteProfile " + roaming.Append(default_name).AsUTF8(),
        "DeleteProfile " + local.Append(default_name).AsUTF8()}},
      {"no installer preferences", "-", roaming.Append(default_name), {}},
      {"a template of the user name only",
       "{\"profile_path\": \"<USERNAME>\"}",
       base::FilePath(),
       {}},
      {"a user folder of all users' folder",
       "{\"profile_path\": \"" + JsonPath(users) + "\\\\<USERNAME>\"}",
       users.Append(user),
       {"DeleteProfile " + users.Append(user).AsUTF8()}},
      {"the roaming folder itself",
       "{\"profile_path\": \"" + JsonPath(roaming) + "\"}",
       roaming,
       {}},
      {"a folder holding the roaming folder",
       "{\"profile_path\": \"" + JsonPath(machine_) + "\"}",
       machine_,
       {}},
      {"the install folder",
       "{\"profile_path\": \"" + JsonPath(install_folder_) + "\"}",
       install_folder_,
       {}},
      // Other spellings of the install folder: the same folder.
      {"the install folder as a device path",
       "{\"profile_path\": \"\\\\\\\\?\\\\" + JsonPath(install_folder_) + "\"}",
       install_folder_,
       {}},
      {"the install folder by its short name",
       "{\"profile_path\": \"" +
           JsonPath(base::FilePath(base::as_u16cstr(short_install_folder))) +
           "\"}",
       install_folder_,
       {}},
      {"a drive root", "{\"profile_path\": \"C:\\\\\"}", base::FilePath(), {}},
      {"a folder without profile files",
       "{\"profile_path\": \"" + JsonPath(users.Append(u"empty")) + "\"}",
       base::FilePath(),
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    calls_.clear();
    MakeInstallation(c.prefs == "-" ? nullptr : c.prefs.c_str());
    if (!c.planted.empty()) PlantProfile(c.planted);
    ASSERT_TRUE(base::FileUtil::CreateDirectory(local.Append(default_name)));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(users.Append(u"empty")));
    const std::vector<std::string> events =
        RunInstaller(base::FilePath(), u"--uninstall --deleteuserprofile=1");
    EXPECT_EQ("Success", events.back());
    std::vector<std::string> deleted;
    for (const std::string& call : calls_) {
      if (call.rfind("DeleteProfile ", 0) == 0) deleted.push_back(call);
    }
    EXPECT_EQ(c.deleted, deleted);
    // A refusal names the folder and the reason; the uninstall succeeds.
    if (c.deleted.empty() && !c.planted.empty()) {
      bool logged = false;
      for (const std::string& line : logs_.Messages(logging::LOG_WARNING)) {
        logged |= line.find(c.planted.AsUTF8() + ": ") != std::string::npos;
      }
      EXPECT_TRUE(logged);
    }
    if (!c.planted.empty())
      base::DeleteFileOrDirectory(c.planted.Append(kLocalStateFileName), false);
  }
}

TEST_F(ProfileDeletionTest, AProperProfileIsReallyDeleted) {
  internal::SetProfileDeleterForTesting(nullptr);
  const std::u16string default_name =
      u"Velna Software\\Velna " + base::UTF8ToUTF16(GetInternalStreamName());
  const base::FilePath profile =
      machine_.Append(u"roaming").Append(default_name);
  const base::FilePath cache = machine_.Append(u"local").Append(default_name);
  PlantProfile(profile);
  ASSERT_TRUE(
      test::WriteTextFile(profile.Append(u"Default\\Preferences"), "{}"));
  ASSERT_TRUE(test::WriteTextFile(cache.Append(u"Cache\\data_0"), "x"));
  MakeInstallation("{}");
  const std::vector<std::string> events =
      RunInstaller(base::FilePath(), u"--uninstall --deleteuserprofile=1");
  EXPECT_EQ("Success", events.back());
  EXPECT_FALSE(base::PathExists(profile));
  EXPECT_FALSE(base::PathExists(cache));
  EXPECT_TRUE(base::DirectoryExists(machine_.Append(u"roaming")));
  EXPECT_TRUE(base::DirectoryExists(machine_.Append(u"local")));
  EXPECT_FALSE(
      base::PathExists(install_folder_.Append(kInstallerPrefsFileName)));
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

TEST_F(InstallerStepsTest, TheUninstallKeyIsTheFirstFreeOneAndTheSearchEnds) {
  const base::FilePath package = MakePackage(u"package1", 1);
  auto create = [](const std::u16string& suffix) {
    base::win::RegKey key;
    return key.Create(HKEY_CURRENT_USER,
                      Installer::GetUninstallKeyPath(suffix).c_str(),
                      KEY_SET_VALUE) == ERROR_SUCCESS;
  };
  ASSERT_TRUE(create(u""));
  ASSERT_TRUE(create(u"1"));
  std::vector<std::string> events = RunInstaller(package, InstallArguments());
  ASSERT_EQ("Success", events.back());
  base::win::RegKey key;
  std::u16string name;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Open(HKEY_CURRENT_USER,
                     Installer::GetUninstallKeyPath(u"2").c_str(), KEY_READ));
  EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(u"DisplayName", &name));
  key.Close();
  // The value of the recorded key names the same path.
  ASSERT_FALSE(last_install_log_.hkcu_keys.empty());
  bool recorded = false;
  for (const InstallLogKey& logged : last_install_log_.hkcu_keys) {
    recorded |=
        base::UTF8ToUTF16(logged.path) == Installer::GetUninstallKeyPath(u"2");
  }
  EXPECT_TRUE(recorded);
  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  // The record goes last, with the batch file.
  ASSERT_TRUE(RunBatchNow(last_batch_));
  ASSERT_TRUE(WaitForFolderGone(last_batch_.DirName()));
  ASSERT_FALSE(base::PathExists(install_folder_.Append(kInstallLogFileName)));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder_));

  // Every name taken: the search gives up with the generic error.
  for (int n = 2; n < 1000; ++n)
    ASSERT_TRUE(create(base::UTF8ToUTF16(std::to_string(n))));
  // The installation moved the package's files out: a fresh package.
  MakePackage(u"package1", 1);
  const MachineState before = State();
  events = RunInstaller(package, InstallArguments());
  ASSERT_LE(2u, events.size());
  EXPECT_EQ("Error(37055,,No free uninstall key after 1000 tries)",
            events[events.size() - 2]);
  EXPECT_EQ(before, State());
}

TEST_F(InstallerStepsTest, InstallerPrefsAreMergedAndTheTaskErrorCountFalls) {
  const struct {
    const char* stored;
    int expected_count;
  } cases[] = {{"{\"au_task_error_count\": 3, \"keep\": \"x\"}", 2},
               {"{\"au_task_error_count\": 0, \"keep\": \"x\"}", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    const base::FilePath prefs_path =
        install_folder_.Append(kInstallerPrefsFileName);
    ASSERT_TRUE(test::WriteTextFile(prefs_path, c.stored));
    // A fresh package each time: an installation moves its files out.
    const base::FilePath package = MakePackage(u"package1", 1);
    ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
    std::unique_ptr<base::DictionaryValue> prefs =
        ReadJsonDictionaryFile(prefs_path);
    ASSERT_TRUE(prefs);
    int count = -1;
    EXPECT_TRUE(prefs->GetInteger("au_task_error_count", &count));
    EXPECT_EQ(c.expected_count, count);
    std::string keep;
    EXPECT_TRUE(prefs->GetString("keep", &keep));
    EXPECT_EQ("x", keep);
    bool flag = true;
    EXPECT_TRUE(prefs->GetBoolean("autoupdate", &flag));
    EXPECT_FALSE(flag);
    EXPECT_TRUE(prefs->GetBoolean("import_browser_data", &flag));
    ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
    // Nothing of the installation's own files stays.
    EXPECT_FALSE(base::PathExists(prefs_path));
  }
}

TEST_F(InstallerStepsTest, TheLauncherStepInstallsOnlyJsonOverrides) {
  const base::FilePath package = MakePackage(u"package1", 1);
  const base::FilePath overrides = package.Append(u"pref_default_overrides");
  const base::FilePath installed =
      install_folder_.Append(u"pref_default_overrides");
  // A fetch cut off in the middle of a list, then a whole one.
  ASSERT_TRUE(test::WriteTextFile(overrides, "{\"a\": [1, 2"));
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  EXPECT_FALSE(base::PathExists(installed));
  EXPECT_TRUE(logs_.Has(logging::LOG_WARNING,
                        "Supplied pref default overrides is not valid JSON"));
  ASSERT_TRUE(test::WriteTextFile(overrides, "{\"a\": [1, 2]}"));
  // The installation moved the package's files out: a fresh package.
  MakePackage(u"package1", 1);
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  EXPECT_EQ("{\"a\": [1, 2]}", test::ReadFileContents(installed));
  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  EXPECT_FALSE(base::PathExists(installed));
}

TEST_F(InstallerStepsTest, ShortcutsCarryTheVersionAfterACollision) {
  const base::FilePath desktop = machine_.Append(u"desktop");
  const base::FilePath someones =
      desktop.Append(Installer::GetShortcutFileName(false));
  ASSERT_TRUE(test::WriteTextFile(someones, "someone's"));
  const base::FilePath package = MakePackage(u"package1", 1);
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  const std::u16string versioned = Installer::GetShortcutFileName(true);
  EXPECT_EQ(desktop.Append(versioned).value(),
            last_install_log_.desktop_shortcut);
  EXPECT_EQ(machine_.Append(u"start menu").Append(versioned).value(),
            last_install_log_.start_menu_shortcut);
  EXPECT_NE(calls_.end(), std::find(calls_.begin(), calls_.end(),
                                    "Pin " + base::UTF16ToUTF8(versioned)));
  // The update keeps the versioned names; the uninstall leaves the other
  // program's shortcut. (The installation moved the package's files out.)
  MakePackage(u"package1", 1);
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  EXPECT_EQ(desktop.Append(versioned).value(),
            last_install_log_.desktop_shortcut);
  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  EXPECT_FALSE(base::PathExists(desktop.Append(versioned)));
  EXPECT_EQ("someone's", test::ReadFileContents(someones));
}

// Elevated, as every process here, without a desktop shell to open the
// survey as: its command, the URL one argument, is logged, nothing starts.
TEST_F(InstallerStepsTest, TheSurveyGetsItsUrlAsOneArgumentUnlessSilent) {
  const std::string survey =
      "Not starting \"" +
      dir().Append(u"programs\\Internet Explorer\\iexplore.exe").AsUTF8() +
      "\" -private " + BrandingConfig::GetUrl("uninstall_survey") +
      "?version=" + VersionInfo::GetProductVersion() +
      "&uuid=&p=1: this desktop has no shell (a service's session, or none "
      "runs)";
  for (bool silent : {true, false}) {
    SCOPED_TRACE(silent);
    // A fresh package each time: an installation moves its files out.
    const base::FilePath package = MakePackage(u"package1", 1);
    ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
    ASSERT_EQ("Success",
              RunInstaller(base::FilePath(),
                           silent ? u"--uninstall --silent" : u"--uninstall")
                  .back());
    EXPECT_EQ(!silent, logs_.Has(logging::LOG_WARNING, survey));
    EXPECT_FALSE(base::PathExists(records_.Append(u"iexplore.exe.txt")));
  }
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

// An uninstallation for all users of the browser that handles the web
// gives it back: the system browser's reinstall command runs (a recording
// program, its quoted path split from its arguments), then the association
// registration makes the system browser the default.
TEST_F(InstallerStepsTest, TheSystemBrowserGetsTheWebBack) {
  constexpr char16_t kInstallInfo[] =
      u"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE";
  constexpr char16_t kHttp[] = u"Software\\Classes\\http";
  test::ScopedRegistryRestore system_keys(
      {{HKEY_LOCAL_MACHINE, kInstallInfo}, {HKEY_CURRENT_USER, kHttp}});
  const base::FilePath setup = dir().Append(u"programs\\ie setup\\setup.exe");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(setup.DirName()));
  ASSERT_TRUE(base::CopyOneFile(HostPath(), setup));
  base::win::RegKey key;
  ASSERT_EQ(
      ERROR_SUCCESS,
      key.Create(HKEY_LOCAL_MACHINE,
                 (std::u16string(kInstallInfo) + u"\\InstallInfo").c_str(),
                 KEY_SET_VALUE));
  ASSERT_EQ(
      ERROR_SUCCESS,
      key.WriteValue(u"ReinstallCommand",
                     (u"\"" + setup.value() + u"\" /reinstall /x").c_str()));
  key.Close();
  ASSERT_EQ(
      ERROR_SUCCESS,
      key.Create(HKEY_CURRENT_USER,
                 (std::u16string(kHttp) + u"\\shell\\open\\command").c_str(),
                 KEY_SET_VALUE));
  ASSERT_EQ(
      ERROR_SUCCESS,
      key.WriteValue(
          u"", (u"\"" + install_folder_.Append(kLauncherFileName).value() +
                u"\" \"%1\"")
                   .c_str()));
  key.Close();
  ASSERT_TRUE(test::WriteInstallationLog(
      install_folder_, test::MakeInstallLog(install_folder_, true), false));

  test::FakeShellPlatform platform(base::win::kVersionWin7);
  ScopedShellPlatformForTesting scoped_platform(&platform);
  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  const std::string recorded = Recorded(u"setup.exe");
  EXPECT_NE(std::string::npos, recorded.find("setup.exe\" /reinstall /x"))
      << recorded;
  EXPECT_EQ(
      (std::vector<std::string>{"SetAppAsDefault Internet Explorer .htm 0",
                                "SetAppAsDefault Internet Explorer .html 0",
                                "SetAppAsDefault Internet Explorer http 1",
                                "SetAppAsDefault Internet Explorer https 1"}),
      platform.calls);
}

// A silent installation on Windows 10, or one by the elevated copy of
// another backend, leaves the default browser to the user, even when asked
// to take it.
TEST_F(InstallerStepsTest, ASilentInstallOnWindows10LeavesTheDefaultBrowser) {
  test::FakeShellPlatform platform(base::win::kVersionWin10);
  ScopedShellPlatformForTesting scoped_platform(&platform);
  const base::FilePath package = MakePackage(u"package1", 1);
  for (const char16_t* arguments : {u" --silent", u" --parent-pid=5"}) {
    SCOPED_TRACE(base::UTF16ToUTF8(arguments));
    ASSERT_EQ("Success", RunInstaller(package, InstallArguments() + arguments +
                                                   u" --setdefaultbrowser=1")
                             .back());
    EXPECT_EQ(std::vector<std::string>(), platform.calls);
    base::win::RegKey company(HKEY_CURRENT_USER, company_key().path().c_str(),
                              KEY_READ);
    std::u16string previous;
    EXPECT_NE(ERROR_SUCCESS,
              company.ReadValue(kPreviousDefaultBrowserValue, &previous));
  }
}

// The launcher also takes the browser's name over a former installation
// that kept its executable aside, and the tracking data comes along.
TEST_F(InstallerStepsTest, TheLauncherReplacesTheBrowserKeptAside) {
  const base::FilePath package = MakePackage(u"package1", 1);
  ASSERT_TRUE(
      test::WriteTextFile(package.Append(u"server_tracking_data"), "tracking"));
  const base::FilePath exe =
      install_folder_.Append(base::UTF8ToUTF16(GetBrowserExecutableName()));
  const base::FilePath old = exe.ReplaceExtension(u".old");
  ASSERT_TRUE(test::WriteTextFile(exe, "previous browser"));
  ASSERT_TRUE(test::WriteTextFile(old, "older browser"));
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments() +
                                                 u" --server-tracking-data="
                                                 u"server_tracking_data")
                           .back());
  EXPECT_EQ("previous browser", test::ReadFileContents(old));
  EXPECT_EQ(test::ReadFileContents(package.Append(kLauncherFileName)),
            test::ReadFileContents(exe));
  EXPECT_EQ("tracking", test::ReadFileContents(
                            install_folder_.Append(u"server_tracking_data")));
  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  EXPECT_FALSE(base::PathExists(old));
  EXPECT_FALSE(
      base::PathExists(install_folder_.Append(u"server_tracking_data")));
}

// An update adjusts the existing installation's profile: it takes the
// installation's language, loses the statistics choice and receives the
// custom edition.
TEST_F(InstallerStepsTest, AnUpdateAdjustsTheProfile) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const base::FilePath package = MakePackage(u"package2", 2);
  ASSERT_TRUE(test::WriteTextFile(
      package.Append(u"resources\\custom_partner_content.json"), "{}"));
  std::string list = test::ReadFileContents(package.Append(kFilesListFileName));
  ASSERT_TRUE(
      test::WriteTextFile(package.Append(kFilesListFileName),
                          list + "resources\\custom_partner_content.json\r\n"));
  const base::FilePath profile =
      machine_.Append(u"roaming")
          .Append(u"Velna Software\\Velna " +
                  base::UTF8ToUTF16(GetInternalStreamName()));
  ASSERT_TRUE(test::WriteTextFile(profile.Append(kLocalStateFileName),
                                  "{\"intl\": {\"app_locale\": \"xx\"}}"));
  ASSERT_TRUE(test::WriteTextFile(
      profile.Append(u"Preferences"),
      "{\"statistics\": {\"collection_enabled\": true}, \"k\": 1}"));
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  std::unique_ptr<base::DictionaryValue> local_state =
      ReadJsonDictionaryFile(profile.Append(kLocalStateFileName));
  ASSERT_TRUE(local_state);
  std::string locale;
  EXPECT_TRUE(local_state->GetString("intl.app_locale", &locale));
  EXPECT_EQ(0u, locale.find("en")) << locale;
  bool updated = false;
  EXPECT_TRUE(
      local_state->GetBoolean("custom_partner_content.updated", &updated));
  EXPECT_TRUE(updated);
  std::unique_ptr<base::DictionaryValue> preferences =
      ReadJsonDictionaryFile(profile.Append(u"Preferences"));
  ASSERT_TRUE(preferences);
  EXPECT_FALSE(preferences->HasKey("statistics"));
  EXPECT_EQ("{}", test::ReadFileContents(
                      profile.Append(u"custom_partner_content.json")));
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

// Every file and folder below |folder|: attributes, and the contents and
// last-write time of files. (A folder's time changes with every file moved
// in or out.)
std::map<std::u16string, std::string> TreeWithTimes(
    const base::FilePath& folder) {
  std::map<std::u16string, std::string> tree;
  base::FileEnumerator walk(
      folder, true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = walk.Next(); !path.empty(); path = walk.Next()) {
    const WIN32_FIND_DATAW info = walk.GetInfo();
    std::string entry = std::to_string(info.dwFileAttributes);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      entry += " " + std::to_string(info.ftLastWriteTime.dwHighDateTime) + ":" +
               std::to_string(info.ftLastWriteTime.dwLowDateTime) + " " +
               test::ReadFileContents(path);
    }
    tree[path.value().substr(folder.value().size())] = entry;
  }
  return tree;
}

// A user who is no administrator, as most are: such a backend works from the
// package folder itself, where an elevated one (every process here) works
// from a protected copy of it.
class ScopedStandardUser : public InstallerRights {
 public:
  ScopedStandardUser() { internal::SetInstallerRightsForTesting(this); }
  ~ScopedStandardUser() override {
    internal::SetInstallerRightsForTesting(nullptr);
  }
  bool IsUserAdministrator(bool) override { return false; }
  bool IsElevated() override { return false; }
  bool IsUacEnabled() override { return real_->IsUacEnabled(); }
  bool CanAccessFolder(const base::FilePath& folder) override {
    return real_->CanAccessFolder(folder);
  }
  bool GrantFolderAccess(const base::FilePath& folder, uint32_t access,
                         uint32_t option,
                         std::unique_ptr<SavedSecurity>* saved) override {
    return real_->GrantFolderAccess(folder, access, option, saved);
  }
  base::Process LaunchElevated(const base::FilePath&,
                               const std::u16string&) override {
    ADD_FAILURE() << "a standard user's install asked for elevation";
    return base::Process();
  }

 private:
  InstallerRights* const real_ = internal::GetRealInstallerRights();
};

TEST_F(InstallerStepsTest, MovedFilesGoBackToThePackageOnRollback) {
  ScopedStandardUser standard_user;
  const base::FilePath package = MakePackage(u"package1", 1);
  const base::FilePath list_path = package.Append(kFilesListFileName);
  const std::string files_list = test::ReadFileContents(list_path);
  const std::string first_line = files_list.substr(0, files_list.find('\r'));
  // The 16th of 31 lines names a file the package lacks.
  std::string broken_list = files_list;
  size_t at = 0;
  for (int line = 0; line < 15; ++line) at = broken_list.find('\n', at) + 1;
  broken_list.insert(at, "res\\missing.txt\r\n");
  // Files are moved, not copied: the first is gone from the package by the
  // time the interrupt comes.
  bool first_moved = false;
  auto interrupt = InterruptAt(15);
  const struct {
    const char* name;
    const std::string& list;
    std::function<void(int)> on_step;
  } kCases[] = {
      {"a failure after half the files", broken_list, nullptr},
      {"an interrupt after half the files", files_list,
       [&](int step) {
         if (step == 15) {
           first_moved =
               !base::PathExists(package.Append(base::UTF8ToUTF16(first_line)));
         }
         interrupt(step);
       }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test::WriteTextFile(list_path, c.list));
    const std::map<std::u16string, std::string> package_before =
        TreeWithTimes(package);
    const MachineState before = State();
    const std::vector<std::string> events =
        RunInstaller(package, InstallArguments(), c.on_step);
    EXPECT_EQ("InstallerTerminated(0)", events.back());
    EXPECT_TRUE(TreeWithTimes(package) == package_before);
    EXPECT_EQ(before, State());
    ExpectNoAsideFiles();
  }
  EXPECT_TRUE(first_moved);

  // A retry finds the whole package; its files end up in the install
  // folder, as they were, and no longer in the package.
  ASSERT_TRUE(test::WriteTextFile(list_path, files_list));
  const std::map<std::u16string, std::string> package_before =
      TreeWithTimes(package);
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  const std::map<std::u16string, std::string> installed =
      TreeWithTimes(install_folder_.Append(last_install_log_.subfolder));
  for (const std::u16string& file : last_install_log_.files) {
    const std::u16string key = u"\\" + file;
    EXPECT_FALSE(base::PathExists(package.Append(file)));
    ASSERT_EQ(1u, installed.count(key)) << base::UTF16ToUTF8(file);
    EXPECT_EQ(package_before.at(key), installed.at(key));
  }
  EXPECT_EQ(30u, last_install_log_.files.size());

  // Its uninstall runs as the user: the batch file lies in a new folder of
  // the user's temporary folder, and goes with it.
  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  base::FilePath temp;
  ASSERT_TRUE(base::GetTempDir(&temp));
  EXPECT_EQ(0, base::FilePath::CompareIgnoreCase(
                   temp.StripTrailingSeparators().value(),
                   last_batch_.DirName().DirName().value()))
      << last_batch_;
  EXPECT_EQ(0u, last_batch_.DirName().BaseName().value().find(
                    GetInstallerFolderName() + u" "));
  ASSERT_TRUE(RunBatchNow(last_batch_));
  EXPECT_FALSE(base::PathExists(install_folder_));
  EXPECT_TRUE(WaitForFolderGone(last_batch_.DirName()));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder_));
}

// Takes the security of the first |moves| files' new folder, then fails.
class LimitedFileSecurity : public FileSecurity {
 public:
  explicit LimitedFileSecurity(int moves) : moves_(moves) {
    FileSecurity::SetForTesting(this);
  }
  ~LimitedFileSecurity() override { FileSecurity::SetForTesting(nullptr); }
  bool Save(const base::FilePath&, Saved* saved) override {
    *saved = {1};
    return true;
  }
  bool TakeFolderSecurity(const base::FilePath& path) override {
    taken.push_back(path);
    return static_cast<int>(taken.size()) <= moves_;
  }
  bool Restore(const base::FilePath&, const Saved&) override { return true; }

  std::vector<base::FilePath> taken;

 private:
  const int moves_;
};

TEST_F(InstallerStepsTest, MovedFilesTakeTheSecurityOfTheirFolder) {
  // For all users every moved file is given its install folder's security,
  // and from the first that cannot take it on the files are copied (the
  // run is stopped after ten files, before it would write the machine's
  // keys). For the user alone, whose temporary folder the package came
  // from, the files keep theirs.
  const base::FilePath package = MakePackage(u"package1", 1);
  const std::map<std::u16string, std::string> package_before =
      TreeWithTimes(package);
  {
    LimitedFileSecurity security(2);
    const std::vector<std::string> events = RunInstaller(
        package, u"--allusers=1 --language=en-US", InterruptAt(10));
    EXPECT_EQ("InstallerTerminated(0)", events.back());
    ASSERT_EQ(3u, security.taken.size());
    EXPECT_EQ(u"Velna \u00e9 100% x",
              security.taken[0].DirName().DirName().BaseName().value());
    EXPECT_TRUE(TreeWithTimes(package) == package_before);
  }
  LimitedFileSecurity security(2);
  ScopedStandardUser standard_user;
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  EXPECT_TRUE(security.taken.empty());
  for (const std::u16string& file : last_install_log_.files)
    EXPECT_FALSE(base::PathExists(package.Append(file)));
}

TEST_F(InstallerStepsTest, FilesAreCopiedAcrossVolumesAndWhenListedTwice) {
  ScopedStandardUser standard_user;
  const base::FilePath package = MakePackage(u"package1", 1);
  const base::FilePath list_path = package.Append(kFilesListFileName);
  const std::string files_list = test::ReadFileContents(list_path);
  const std::string first_line = files_list.substr(0, files_list.find('\r'));
  // Another volume: every file stays in the package.
  internal::SetSameVolumeCheckForTesting(
      [](const base::FilePath&, const base::FilePath&) { return false; });
  const std::map<std::u16string, std::string> package_before =
      TreeWithTimes(package);
  const std::vector<std::string> events =
      RunInstaller(package, InstallArguments());
  internal::SetSameVolumeCheckForTesting(nullptr);
  ASSERT_EQ("Success", events.back());
  const std::map<std::u16string, std::string> package_after =
      TreeWithTimes(package);
  for (const std::u16string& file : last_install_log_.files) {
    const std::u16string key = u"\\" + file;
    EXPECT_EQ(package_before.at(key), package_after.at(key));
  }

  // A line twice, and the same file in the root too: moved once, copied
  // from its new place the other times, and recorded each time.
  const std::u16string first = base::UTF8ToUTF16(first_line);
  const std::string first_contents =
      test::ReadFileContents(package.Append(first));
  ASSERT_TRUE(test::WriteTextFile(list_path, files_list + first_line + "\r\n"));
  ASSERT_TRUE(test::WriteTextFile(package.Append(kRootFilesListFileName),
                                  "root_a.txt\r\n" + first_line + "\r\n"));
  ASSERT_EQ("Success", RunInstaller(package, InstallArguments()).back());
  EXPECT_EQ(31u, last_install_log_.files.size());
  EXPECT_EQ(2u, last_install_log_.root_files.size());
  EXPECT_FALSE(base::PathExists(package.Append(first)));
  EXPECT_EQ(first_contents,
            test::ReadFileContents(install_folder_.Append(first)));
  EXPECT_EQ(
      first_contents,
      test::ReadFileContents(
          install_folder_.Append(last_install_log_.subfolder).Append(first)));
}

TEST_F(InstallerStepsTest, AFailedUpdateLeavesTheInstallationAsItWas) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const base::FilePath package = MakePackage(u"package2", 2);
  const base::FilePath launcher = package.Append(kLauncherFileName);
  const std::string files_list =
      test::ReadFileContents(package.Append(kFilesListFileName));
  for (const char* failure : {"missing copy source", "missing launcher"}) {
    SCOPED_TRACE(failure);
    const bool copy = std::string(failure) == "missing copy source";
    if (copy) {
      ASSERT_TRUE(test::WriteTextFile(package.Append(kFilesListFileName),
                                      "res\\missing.txt\r\n" + files_list));
    } else {
      ASSERT_TRUE(
          base::FileUtil::Move(launcher, launcher.AddExtension(u"away")));
    }
    const MachineState before = State();
    const std::vector<std::string> events =
        RunInstaller(package, InstallArguments());
    ASSERT_LE(2u, events.size());
    EXPECT_EQ(0u, events[events.size() - 2].find("Error(37062,"))
        << events[events.size() - 2];
    EXPECT_EQ("InstallerTerminated(0)", events.back());
    EXPECT_EQ(before, State());
    ExpectNoAsideFiles();
    if (copy) {
      ASSERT_TRUE(
          test::WriteTextFile(package.Append(kFilesListFileName), files_list));
    } else {
      ASSERT_TRUE(
          base::FileUtil::Move(launcher.AddExtension(u"away"), launcher));
    }
  }
}

// A record in a folder others may change (an older engine's install for
// all users outside Program Files) that names a key none of the installer's
// rows writes is refused by the update and the uninstall before either
// changes anything; the genuine record still updates and uninstalls.
TEST_F(InstallerStepsTest, ARecordNamingForeignKeysIsRefused) {
  const base::FilePath first = MakePackage(u"package1", 1);
  const base::FilePath second = MakePackage(u"package2", 2);
  std::vector<test::RegistryLocation> machine_keys;
  for (const test::RegistryLocation& key : test::ProductRegistryKeys())
    machine_keys.push_back({HKEY_LOCAL_MACHINE, key.second});
  test::ScopedRegistryRestore machine_restore(machine_keys);
  const std::u16string hkcu_key = company_key().Path(u"Victim");
  const std::u16string hklm_parent =
      u"Software\\VelnaTest\\" +
      base::UTF8ToUTF16(
          testing::UnitTest::GetInstance()->current_test_info()->name());
  const std::u16string hklm_key = hklm_parent + u"\\Policy";
  for (const auto& [root, key] :
       {std::make_pair(HKEY_CURRENT_USER, hkcu_key),
        std::make_pair(HKEY_LOCAL_MACHINE, hklm_key)}) {
    base::win::RegKey victim;
    ASSERT_EQ(ERROR_SUCCESS, victim.Create(root, key.c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, victim.WriteValue(u"v", u"kept"));
  }
  // Owned by a user, "Authenticated Users: Modify" inherited from a drive
  // root.
  const std::u16string open =
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)";
  test::RecordedFolderSecurity security(records_.Append(u"security.txt"));
  ASSERT_TRUE(security.ProtectLevelsAbove(install_folder_));
  internal::SetFolderSecurityForTesting(&security);
  const base::FilePath record = install_folder_.Append(kInstallLogFileName);
  const std::string refusal =
      "Refusing the installation status file " + record.AsUTF8() +
      ": it names the registry key HKEY_CURRENT_USER\\" +
      base::UTF16ToUTF8(hkcu_key);
  for (bool all_users : {false, true}) {
    SCOPED_TRACE(all_users);
    std::u16string arguments = InstallArguments();
    if (all_users) arguments.replace(0, 12, u"--allusers=1");
    const test::RegistryState machine_before = machine_restore.TakeState(true);
    ASSERT_TRUE(security.Write(install_folder_, open));
    std::vector<std::string> events = RunInstaller(first, arguments);
    ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
    // As an older engine left it.
    ASSERT_TRUE(security.Write(install_folder_, open));
    const std::string genuine = test::ReadFileContents(record);
    InstallLog log;
    XmlDocument document;
    ASSERT_TRUE(ReadInstallLog(&document, &log, record));
    log.hkcu_keys.push_back({1, base::UTF16ToUTF8(hkcu_key), {}});
    log.hklm_keys.push_back(
        {0, base::UTF16ToUTF8(hklm_key), {{"REG_SZ", "v", "kept"}}});
    ASSERT_TRUE(WriteInstallLog(&document, log, record));
    const MachineState planted = State();
    const test::RegistryState machine_planted = machine_restore.TakeState(true);

    for (const bool update : {true, false}) {
      SCOPED_TRACE(update ? "update" : "uninstall");
      events = update ? RunInstaller(second, arguments)
                      : RunInstaller(base::FilePath(), u"--uninstall");
      ASSERT_LE(2u, events.size());
      EXPECT_EQ("InstallerTerminated(0)", events.back());
      // An uninstall says that the uninstall failed. The record's path,
      // the user's, is in the local log only.
      EXPECT_EQ(std::string(update ? "Error(37055,," : "Error(37056,,") +
                    kRefusedRecordReason + ")",
                events[events.size() - 2]);
      bool logged = false;
      for (const std::string& line : logs_.Messages(logging::LOG_ERROR))
        logged |= line.find(refusal) != std::string::npos;
      EXPECT_TRUE(logged) << refusal;
      EXPECT_EQ(planted, State());
      EXPECT_EQ(machine_planted, machine_restore.TakeState(true));
    }
    ASSERT_TRUE(test::WriteTextFile(record, genuine));
    // For all users, only a folder nobody else may change is updated.
    ASSERT_TRUE(security.Write(install_folder_, kProtectedFolderSecurity));
    events = RunInstaller(second, arguments);
    ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
    events = RunInstaller(base::FilePath(), u"--uninstall");
    ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
    EXPECT_EQ(machine_before, machine_restore.TakeState(true));
    for (const auto& [root, key] :
         {std::make_pair(HKEY_CURRENT_USER, hkcu_key),
          std::make_pair(HKEY_LOCAL_MACHINE, hklm_key)}) {
      EXPECT_EQ(ERROR_SUCCESS,
                test::ReadRawRegistryValue(root, key, u"v").result);
    }
    ASSERT_TRUE(base::DeleteFileOrDirectory(install_folder_, true));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder_));
  }
  internal::SetFolderSecurityForTesting(security_.get());
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, base::as_wcstr(hklm_parent));
}

// An entry of the name an update wants that this installation's record
// lists and that is its own, here one a run with the entry hidden wrote up
// to its name, is taken over: the update writes its values there (a
// rollback puts the part back as it was) and removes the rest. One that
// the record does not list is never taken, even one that names no folder:
// the update writes its own under the next name.
TEST_F(InstallerStepsTest, APartWrittenEntryOfTheRecordIsTakenOverByName) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const std::u16string entry = Installer::GetUninstallKeyPath(u"");
  const std::u16string next = Installer::GetUninstallKeyPath(u"1");
  auto cut_short = [&entry]() {
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS, key.Open(HKEY_CURRENT_USER, entry.c_str(),
                                      KEY_QUERY_VALUE | KEY_SET_VALUE));
    for (const char16_t* name :
         {u"DisplayIcon", u"DisplayVersion", u"HelpLink", u"NoModify",
          u"NoRepair", u"Publisher", u"UninstallString", u"URLInfoAbout",
          u"URLUpdateInfo"}) {
      ASSERT_EQ(ERROR_SUCCESS, key.DeleteValue(name));
    }
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"SystemComponent", 1));
  };
  cut_short();
  const base::FilePath package = MakePackage(u"package2", 2);
  // Stopped once the registry step is done.
  ExpectEachInterruptRollsBack(package, InstallArguments(),
                               {StepStarts({2, 4}, 11, 30, 2)[7]});
  std::vector<std::string> events = RunInstaller(package, InstallArguments());
  ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
  EXPECT_TRUE(
      logs_.Has(logging::LOG_INFO, "Taking over the uninstall entry " +
                                       base::UTF16ToUTF8(entry) +
                                       ", which this installation wrote"));
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, next));
  {
    base::win::RegKey key(HKEY_CURRENT_USER, entry.c_str(), KEY_QUERY_VALUE);
    std::u16string command;
    EXPECT_EQ(ERROR_SUCCESS, key.ReadValue(u"UninstallString", &command));
    DWORD hidden = 0;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              key.ReadValueDW(u"SystemComponent", &hidden));
  }

  // The same part, no longer listed by the record.
  cut_short();
  const base::FilePath record = install_folder_.Append(kInstallLogFileName);
  InstallLog log;
  XmlDocument document;
  ASSERT_TRUE(ReadInstallLog(&document, &log, record));
  ASSERT_EQ(1u,
            std::erase_if(log.hkcu_keys, [&entry](const InstallLogKey& key) {
              return base::UTF8ToUTF16(key.path) == entry;
            }));
  ASSERT_TRUE(WriteInstallLog(&document, log, record));
  {
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Open(HKEY_CURRENT_USER, entry.c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, key.DeleteValue(u"InstallLocation"));
  }
  const std::string state_key =
      test::RegistryStateKey(HKEY_CURRENT_USER, entry);
  const test::RegistryKeyValues part = State().registry.at(state_key);
  // The installation moved the package's files out: a fresh package.
  events = RunInstaller(MakePackage(u"package2", 2), InstallArguments());
  ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, next));
  EXPECT_EQ(part, State().registry.at(state_key));
  EXPECT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, entry));
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, next));
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(entry));
}

// Every installation names its uninstall entry after its version: a record
// that names another installation's entry is refused, and the entry stays,
// also beside an update of the genuine record.
TEST_F(InstallerStepsTest, AnotherInstallationsUninstallEntryStays) {
  const base::FilePath first = MakePackage(u"package1", 1);
  const base::FilePath second = MakePackage(u"package2", 2);
  ASSERT_EQ("Success", RunInstaller(first, InstallArguments()).back());
  const std::u16string other =
      kUninstallKeysPath + base::UTF8ToUTF16(VersionInfo::GetProductName()) +
      u" 9.9";
  {
    base::win::RegKey entry;
    ASSERT_EQ(ERROR_SUCCESS,
              entry.Create(HKEY_CURRENT_USER, other.c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS,
              entry.WriteValue(u"InstallLocation", u"C:\\Program Files\\V"));
  }
  const base::FilePath record = install_folder_.Append(kInstallLogFileName);
  const std::string genuine = test::ReadFileContents(record);
  InstallLog log;
  XmlDocument document;
  ASSERT_TRUE(ReadInstallLog(&document, &log, record));
  log.hkcu_keys.push_back({1, base::UTF16ToUTF8(other), {}});
  ASSERT_TRUE(WriteInstallLog(&document, log, record));
  std::vector<std::string> events = RunInstaller(second, InstallArguments());
  ASSERT_LE(2u, events.size());
  EXPECT_EQ("Error(37055,," + std::string(kRefusedRecordReason) + ")",
            events[events.size() - 2]);
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, other));

  ASSERT_TRUE(test::WriteTextFile(record, genuine));
  events = RunInstaller(second, InstallArguments());
  EXPECT_EQ("Success", events.back()) << events[events.size() - 2];
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, other));
  EXPECT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, other));
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(other));
}

}  // namespace
}  // namespace installer

namespace installer {
namespace {

TEST_F(InstallerStepsTest, AStatusFileThatCannotGoStopsTheUninstall) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const MachineState before = State();
  // Held open by another without sharing deletion: it cannot be moved.
  base::win::ScopedHandle held(CreateFileW(
      base::as_wcstr(install_folder_.Append(kInstallLogFileName).value()),
      GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held.IsValid());
  const std::vector<std::string> events =
      RunInstaller(base::FilePath(), u"--uninstall");
  held.Close();
  ASSERT_LE(2u, events.size());
  EXPECT_EQ("Error(37056,,Failed to remove installation status file)",
            events[events.size() - 2]);
  EXPECT_EQ(before, State());
  ExpectNoAsideFiles();
}

// A status file that does not read is stood in for by an older kept record,
// and an uninstall entry of the folder names a version that has no folder:
// the uninstallation still removes the installed version, and every entry.
TEST_F(InstallerStepsTest, AnEntryOfAVersionWithoutAFolderLeavesNoVersion) {
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const base::FilePath status = install_folder_.Append(kInstallLogFileName);
  InstallLog installed;
  XmlDocument document;
  ASSERT_TRUE(ReadInstallLog(&document, &installed, status));
  // A version holds its installer, which the test's package lacks.
  ASSERT_TRUE(test::WriteTextFile(
      install_folder_.Append(installed.subfolder).Append(kPackageInstallerName),
      "MZ"));
  InstallLog older = installed;
  older.subfolder = u"40.0.0.1";
  older.version = "40.0.0.1";
  older.files = {kPackageInstallerName};
  ASSERT_TRUE(test::WriteTextFile(
      install_folder_.Append(older.subfolder).Append(kPackageInstallerName),
      "MZ"));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(
      install_folder_.Append(kOldStatusFolderName)));
  ASSERT_TRUE(WriteInstallLog(&document, older,
                              MakeKeptInstallLogPath(install_folder_, 1)));
  ASSERT_TRUE(test::WriteTextFile(status, "<install_log version=\"4"));
  const std::u16string stray =
      kUninstallKeysPath + base::UTF8ToUTF16(VersionInfo::GetProductName()) +
      u" 99.0.0.0";
  {
    base::win::RegKey entry;
    ASSERT_EQ(ERROR_SUCCESS,
              entry.Create(HKEY_CURRENT_USER, stray.c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, entry.WriteValue(u"InstallLocation",
                                              install_folder_.value().c_str()));
    ASSERT_EQ(ERROR_SUCCESS, entry.WriteValue(u"DisplayVersion", u"99.0.0.0"));
  }

  EXPECT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  EXPECT_FALSE(base::PathExists(install_folder_.Append(installed.subfolder)));
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, stray));
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER,
                                       Installer::GetUninstallKeyPath(u"")));
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(stray));
}

// Wherever a power cut hits an update or an uninstall, the status file
// names a version whose folder holds every file it lists, and the uninstall
// entry is there.
TEST_F(InstallerStepsTest, EveryStepLeavesACompleteVersionAndTheEntry) {
  auto entries = [this]() {
    int count = 0;
    for (const auto& [key, values] :
         test::TakeRegistrySnapshot(HKEY_CURRENT_USER, kUninstallRoot)) {
      const auto location = values.find("InstallLocation");
      count +=
          location != values.end() &&
          location->second.data == test::RegistryText(install_folder_.value());
    }
    return count;
  };
  auto check = [&](int step) {
    SCOPED_TRACE(step);
    InstallLog record;
    XmlDocument document;
    ASSERT_TRUE(ReadInstallLogFromFolder(&document, &record, install_folder_));
    for (const std::u16string& file : record.files) {
      EXPECT_TRUE(base::PathExists(
          install_folder_.Append(record.subfolder).Append(file)))
          << base::UTF16ToUTF8(file);
    }
    EXPECT_EQ(1, entries());
  };
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  ASSERT_EQ("Success",
            RunInstaller(MakePackage(u"package2", 2), InstallArguments(), check)
                .back());
  // An uninstall has begun removing the files: only its record and entry
  // stay to the end.
  auto check_uninstall = [&](int step) {
    SCOPED_TRACE(step);
    EXPECT_TRUE(base::PathExists(install_folder_.Append(kInstallLogFileName)));
    EXPECT_EQ(1, entries());
  };
  ASSERT_EQ(
      "Success",
      RunInstaller(base::FilePath(), u"--uninstall", check_uninstall).back());
  EXPECT_EQ(0, entries());
}

// What a killed writer or copy leaves (also what a run killed as it removed
// that set aside) goes with the uninstallation; what it did not make (a bare
// "<hex>.tmp" too) stays, named in the log.
TEST_F(InstallerStepsTest, TheUninstallRemovesWriterLeftoversAndSaysWhatStays) {
  // The user's own: its batch file removes the record.
  const base::win::ScopedHandle limited(base::DuplicateLimitedToken());
  ASSERT_TRUE(limited.IsValid());
  internal::ScopedAccessTokenForTesting standard_user(limited.Get());
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  const base::FilePath old_status = install_folder_.Append(u"old_status");
  const base::FilePath written[] = {
      install_folder_.Append(u"launcher.exe.1A2b.tmp"),
      install_folder_.Append(u"launcher.exe.C3.tmp.1796857966.old"),
      install_folder_.Append(u"ROOT_A.txt.F.tmp"),
      install_folder_.Append(u"installer_prefs.json.B7.tmp"),
      old_status.Append(u"installation_status.xml.1796857966.c0.tmp")};
  for (const base::FilePath& path : written)
    ASSERT_TRUE(test::WriteTextFile(path, "<install_log version=\"4"));
  for (const char16_t* name : {u"notes.tmp.txt", u"cafe.tmp"})
    ASSERT_TRUE(test::WriteTextFile(install_folder_.Append(name), "mine"));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder_.Append(u"kept")));

  ASSERT_EQ("Success", RunInstaller(base::FilePath(), u"--uninstall").back());
  for (const base::FilePath& path : written)
    EXPECT_FALSE(base::PathExists(path)) << path;
  EXPECT_FALSE(base::PathExists(old_status));
  // The record goes last, with the batch file.
  EXPECT_TRUE(base::PathExists(install_folder_.Append(kInstallLogFileName)));
  ASSERT_TRUE(RunBatchNow(last_batch_));
  EXPECT_FALSE(base::PathExists(install_folder_.Append(kInstallLogFileName)));
  base::win::RegKey entry;
  EXPECT_NE(ERROR_SUCCESS,
            entry.Open(HKEY_CURRENT_USER,
                       Installer::GetUninstallKeyPath(u"").c_str(), KEY_READ));
  const std::vector<std::string> warnings =
      logs_.Messages(logging::LOG_WARNING);
  const auto said = std::find_if(
      warnings.begin(), warnings.end(), [](const std::string& line) {
        return line.find(" stays: the uninstallation leaves 3 entries") !=
               std::string::npos;
      });
  ASSERT_NE(warnings.end(), said);
  EXPECT_NE(std::string::npos, said->find("notes.tmp.txt")) << *said;
  EXPECT_NE(std::string::npos, said->find("cafe.tmp")) << *said;
  EXPECT_NE(std::string::npos, said->find("kept")) << *said;
  EXPECT_EQ(std::string::npos, said->find(".bat")) << *said;
}

// An installation that an older installer made in a folder of 240
// characters, where a new one is refused: made here by installing into a
// short folder and moving it there. Its names (the versioned files, and the
// root files such as the tile manifest) are 260 to 290 characters long.
TEST_F(InstallerStepsTest, AnInstallationInALongFolderIsUpdatedAndUninstalled) {
  base::ScopedPlainPathLimit limit;
  ASSERT_TRUE(limit.ok());
  const MachineState before = State();
  const std::u16string arguments =
      u"--allusers=0 --desktopshortcut=1 --startmenushortcut=1 "
      u"--launchvelna=0 --language=en-US";
  auto with_manifest = [](const base::FilePath& package) {
    const std::string list =
        test::ReadFileContents(package.Append(kRootFilesListFileName));
    EXPECT_TRUE(test::WriteTextFile(package.Append(kRootFilesListFileName),
                                    list + "velna.VisualElementsManifest.xml"));
    EXPECT_TRUE(test::WriteTextFile(
        package.Append(u"velna.VisualElementsManifest.xml"), "<tiles/>"));
    return package;
  };
  const base::FilePath first = with_manifest(MakePackage(u"package1", 1));
  const base::FilePath second = with_manifest(MakePackage(u"package2", 2));
  // Without shortcuts: the move would leave them pointing at the short
  // folder, foreign to the installation. The update makes them.
  ASSERT_EQ("Success", RunInstaller(first,
                                    u"--allusers=0 --desktopshortcut=0 "
                                    u"--startmenushortcut=0 --launchvelna=0 "
                                    u"--language=en-US")
                           .back());
  const base::FilePath short_folder = install_folder_;
  install_folder_ =
      machine_.Append(std::u16string(240 - machine_.value().size() - 1, u'l'));
  interrupted_.Set(CreateEventW(
      nullptr, TRUE, FALSE,
      base::as_wcstr(MakeKernelObjectName(
          install_folder_.value(), kInstallationInterruptedEvent, true))));
  ASSERT_TRUE(base::MoveFileOrDirectory(short_folder, install_folder_));
  const base::FilePath manifest =
      install_folder_.Append(u"velna.VisualElementsManifest.xml");
  ASSERT_TRUE(base::PathExists(manifest));

  // An update that fails part-way (a file of its list is missing), and one
  // ended from outside, leave the installation as it was.
  const MachineState installed = State();
  const std::string files_list =
      test::ReadFileContents(second.Append(kFilesListFileName));
  ASSERT_TRUE(test::WriteTextFile(second.Append(kFilesListFileName),
                                  files_list + "res\\missing.txt\r\n"));
  EXPECT_EQ("InstallerTerminated(0)", RunInstaller(second, arguments).back());
  EXPECT_EQ(installed, State());
  ASSERT_TRUE(
      test::WriteTextFile(second.Append(kFilesListFileName), files_list));
  ExpectEachInterruptRollsBack(second, arguments, {20});
  ExpectNoAsideFiles();

  std::vector<std::string> events = RunInstaller(second, arguments);
  ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
  const InstallLog updated = last_install_log_;
  EXPECT_TRUE(base::PathExists(base::FilePath(updated.desktop_shortcut)));
  EXPECT_TRUE(base::PathExists(base::FilePath(updated.start_menu_shortcut)));
  EXPECT_EQ("v2 res\\d1\\f1.txt",
            test::ReadFileContents(install_folder_.Append(updated.subfolder)
                                       .Append(u"res\\d1\\f1.txt")));
  EXPECT_EQ("root a 2",
            test::ReadFileContents(install_folder_.Append(u"root_a.txt")));
  EXPECT_TRUE(base::DirectoryExists(install_folder_.Append(u"old_status")));
  ExpectNoAsideFiles();

  // Everything goes at the uninstall; the batch file is left only the
  // folder itself.
  events = RunInstaller(base::FilePath(), u"--uninstall");
  ASSERT_EQ("Success", events.back()) << events[events.size() - 2];
  EXPECT_FALSE(base::PathExists(manifest));
  EXPECT_FALSE(logs_.Has(logging::LOG_WARNING, "could not be removed now"));
  const std::string batch = test::ReadFileContents(last_batch_);
  EXPECT_EQ(std::string::npos, batch.find(":delete")) << batch;
  ASSERT_TRUE(RunBatchNow(last_batch_));
  EXPECT_FALSE(base::PathExists(install_folder_));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(short_folder));
  EXPECT_EQ(WithoutLastInstallPath(before), WithoutLastInstallPath(State()));
}

// The real step lists, whose last step fails instead: the whole run is
// rolled back.
class FailingLastStepFactory : public InstallerStepFactory {
 public:
  std::vector<base::Closure> BuildSteps(
      Installer* installer, InstallationOperation operation) override {
    std::vector<base::Closure> steps =
        internal::GetDefaultInstallerStepFactory()->BuildSteps(installer,
                                                               operation);
    steps.back() = base::Bind(
        [](Installer* failing) {
          failing->ReportError(kIdsInstallError, u"", "The last step failed");
        },
        installer);
    return steps;
  }
};

// A shortcut taken off the taskbar is pinned again when the run rolls back,
// and stays off when the run succeeds.
TEST_F(InstallerStepsTest, ARollbackPinsAgainWhatTheRunUnpinned) {
  const base::FilePath pins = dir().Append(u"pins");
  ASSERT_TRUE(base::PathService::OverrideAndCreateIfNeeded(
      base::DIR_TASKBAR_PINS, pins, true, true));
  overridden_.push_back(base::DIR_TASKBAR_PINS);
  ASSERT_EQ(
      "Success",
      RunInstaller(MakePackage(u"package1", 1), InstallArguments()).back());
  // Where the shell keeps a pin of the launcher.
  base::win::ShortcutProperties properties;
  properties.set_target(install_folder_.Append(kLauncherFileName));
  ASSERT_TRUE(base::win::CreateOrUpdateShortcutLink(
      pins.Append(u"pinned.lnk"), properties,
      base::win::SHORTCUT_CREATE_ALWAYS));

  FailingLastStepFactory failing;
  const struct {
    const char* name;
    const std::u16string arguments;
    bool fail;
    std::vector<std::string> pins_calls;
  } cases[] = {
      {"an update that unpins",
       InstallArguments() + u" --pintotaskbar=0",
       true,
       {"Unpin pinned.lnk", "Pin pinned.lnk"}},
      {"an uninstallation",
       u"--uninstall --silent",
       true,
       {"Unpin pinned.lnk", "Pin pinned.lnk"}},
      {"an uninstallation that succeeds",
       u"--uninstall --silent",
       false,
       {"Unpin pinned.lnk"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    calls_.clear();
    internal::SetInstallerStepFactoryForTesting(c.fail ? &failing : nullptr);
    // A fresh package for an update: the installation moved the files out.
    const std::vector<std::string> events = RunInstaller(
        c.arguments.rfind(u"--uninstall", 0) == 0 ? base::FilePath()
                                                  : MakePackage(u"package1", 1),
        c.arguments);
    internal::SetInstallerStepFactoryForTesting(nullptr);
    EXPECT_EQ(c.fail ? "InstallerTerminated(0)" : "Success", events.back());
    // It failed where meant to, not earlier.
    if (c.fail) {
      ASSERT_GE(events.size(), 2u);
      EXPECT_NE(std::string::npos,
                events[events.size() - 2].find("The last step failed"))
          << events[events.size() - 2];
    }
    std::vector<std::string> pins_calls;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(pins_calls),
                 [](const std::string& call) {
                   return call.rfind("Pin ", 0) == 0 ||
                          call.rfind("Unpin ", 0) == 0;
                 });
    EXPECT_EQ(c.pins_calls, pins_calls);
  }
}

}  // namespace
}  // namespace installer
