// The checks a signed engine makes of a package before an elevated process
// uses it: every program and library signed by the expected signer, and
// an installer not older than the engine. The signed programs are the
// package tests' material, signed by a throwaway authority that a setup
// test trusts; the engine counts as signed through its seam.

#include "desktop/windows/installer/core/protected_package_win.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/process/launch.h"
#include "base/run_loop.h"
#include "base/strings/string_split.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/run_loop_for.h"
#include "base/test/scoped_temp_dir.h"
#include "base/values.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/settings.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_process_test_base_win.h"
#include "desktop/windows/installer/test/recording_ipc_delegate.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::Quoted;

// What the version stub prints for "internal-version" instead of this
// build's version.
constexpr wchar_t kStubVersionVariable[] = L"VELNA_TEST_STUB_VERSION";

// This test is the front end of a per-test install folder; the package's
// programs are signed by the material's signer, which the engine expects,
// the browser and the launcher being the signed version stub.
class SignedPackageTest : public test::InstallerProcessTestBase {
 protected:
  void SetUp() override {
    InstallerProcessTestBase::SetUp();
    signer_ = test::MaterialString("fetcher.expected_signer");
    ASSERT_FALSE(signer_.empty());
    BrandingConfig::OverrideForTesting(
        "expected_signer", std::make_unique<base::StringValue>(signer_));
    Put(base::UTF8ToUTF16(GetBrowserExecutableName()), "version_stub_signed");
    Put(kLauncherFileName, "version_stub_signed");
    Put(kPackageInstallerName, "version_stub_signed");
    interrupted_ = FolderEvent(kInstallationInterruptedEvent);
    package_ready_ = FolderEvent(kPackageReadyEvent);
    ASSERT_TRUE(interrupted_.IsValid() && package_ready_.IsValid());
    ASSERT_TRUE(receiver_.Connect(kInstallerMailslotNamePrefix +
                                  install_folder().value()));
  }

  void TearDown() override {
    SetEnvironmentVariableW(kStubVersionVariable, nullptr);
    if (backend_.IsValid()) backend_.Terminate(9, true);
    receiver_.Close();
    internal::SetEngineSignedForTesting(-1);
    internal::SetProtectedFolderRootForTesting(base::FilePath());
    internal::SetFolderSecurityForTesting(nullptr);
    InstallerProcessTestBase::TearDown();
  }

  // Puts the material's image |image| into the package as |name|.
  void Put(const std::u16string& name, const std::string& image) {
    ASSERT_TRUE(
        base::FileUtil::CreateDirectory(package().Append(name).DirName()));
    ASSERT_TRUE(base::CopyOneFile(
        test::MaterialPath(test::MaterialString("fetcher.images." + image)),
        package().Append(name)));
  }

  // The seams of every process: the engine counts as signed and expects
  // the material's signer.
  void WriteSignedSeams() {
    base::DictionaryValue extra;
    extra.SetBoolean("engine_signed", true);
    auto branding = std::make_unique<base::DictionaryValue>();
    branding->SetString("company_name", company_key().path().substr(9));
    branding->SetString("expected_signer", signer_);
    extra.Set("branding", std::move(branding));
    WriteSeams(WorkSteps(false), extra);
  }

  // Starts |program| as a backend of an install for all users of this
  // test's folder, this process being its initial process; with
  // |wait_for_package| as the first backend that waits for the package.
  void StartBackend(const base::FilePath& program, bool wait_for_package) {
    settings_ = MakeSettings(u"--installfolder=" + Quoted(install_folder()) +
                             u" --v=1 --allusers=1");
    base::CommandLine command_line(base::CommandLine::NO_PROGRAM);
    settings_->AppendToCommandLine(&command_line, false);
    command_line.AppendSwitchASCII("initial-pid",
                                   std::to_string(GetCurrentProcessId()));
    if (wait_for_package) {
      command_line.AppendSwitchNative("wait-for-package",
                                      package().value() + u"\\");
    }
    command_line.SetProgram(program);
    backend_ =
        base::LaunchProcessFromCommandLine(command_line, base::LaunchOptions());
    ASSERT_TRUE(backend_.IsValid());
  }

  // The backend's exit code, once everything it wrote has been read (at
  // most a minute).
  int BackendExitCode() {
    int exit_code = -1;
    for (int i = 0; i < 3000 && !backend_.WaitForExitWithTimeout(0, &exit_code);
         ++i) {
      base::RunLoopFor(20);
    }
    base::RunLoop flushed;
    receiver_.Flush(flushed.QuitClosure());
    flushed.Run();
    return exit_code;
  }

  std::string Refused(const std::string& reason) const {
    return "Error(37055,,Refusing the package: " + reason + ")";
  }

  const std::vector<std::string>& events() const { return front_end_.events(); }

  std::string signer_;
  base::win::ScopedHandle interrupted_;
  base::win::ScopedHandle package_ready_;
  std::unique_ptr<Settings> settings_;
  base::Process backend_;
  test::RecordingIpcDelegate front_end_;
  IpcReceiver receiver_{&front_end_};
};

// Which files count as programs, and what a signed engine asks of them: a
// program is found by its name or by its headers, whatever its name; a
// data file is not asked anything. An unsigned engine (a development
// build) asks nothing.
TEST_F(SignedPackageTest, EveryProgramOfTheCopyIsChecked) {
  test::RecordedFolderSecurity security(security_record());
  internal::SetFolderSecurityForTesting(&security);
  internal::SetProtectedFolderRootForTesting(protected_root());
  const struct {
    const char* name;
    // A file put into the package: a material image, or |text|.
    const char16_t* path;
    const char* image;
    const char* text;
    bool engine_signed;
    // Empty: accepted.
    std::string refusal;
  } cases[] = {
      {"every program signed", u"resources\\data.bin", "version_stub_signed",
       nullptr, true, ""},
      {"another signer's launcher", u"launcher.exe", "package_other", nullptr,
       true, "its file launcher.exe is not signed by "},
      {"a program under a data file's name", u"sub\\f0.txt", "version_stub",
       nullptr, true, "its file sub\\f0.txt is not signed by "},
      {"a library that is no program", u"plugin.dll", nullptr, "plain text",
       true, "its file plugin.dll is not signed by "},
      {"an unsigned engine", u"launcher.exe", "version_stub", nullptr, false,
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const base::FilePath path = package().Append(c.path);
    const base::FilePath aside = dir().Append(u"aside");
    if (base::PathExists(path)) {
      ASSERT_TRUE(base::CopyOneFile(path, aside));
    }
    if (c.image) {
      Put(c.path, c.image);
    } else {
      ASSERT_TRUE(test::WriteTextFile(path, c.text));
    }
    internal::SetEngineSignedForTesting(c.engine_signed ? 1 : 0);
    std::unique_ptr<ProtectedPackage> copy = ProtectedPackage::Copy(package());
    ASSERT_TRUE(copy);
    std::string refusal;
    EXPECT_EQ(c.refusal.empty(), copy->Verify(&refusal)) << refusal;
    if (!c.refusal.empty()) {
      EXPECT_EQ("Refusing the package: " + c.refusal + signer_, refusal);
    }
    if (base::PathExists(aside)) {
      ASSERT_TRUE(base::MoveFileOrDirectory(aside, path));
    } else {
      ASSERT_TRUE(base::DeleteFileOrDirectory(path, false));
    }
  }
}

// The elevated hand-over of an install for all users (the first backend
// here runs elevated, as every process does on the test system) starts the
// package's installer from a protected copy only when every program is
// signed and the installer is not older than the engine. A refusal names
// the file and the reason and installs nothing.
TEST_F(SignedPackageTest, TheElevatedHandOverRefusesAnUncheckedPackage) {
  WriteSignedSeams();
  ASSERT_TRUE(SetEvent(package_ready_.Get()));
  ASSERT_TRUE(SetEvent(go_event().Get()));
  const std::string own = VersionInfo::GetInternalVersion();
  const struct {
    const char* name;
    const char* launcher;
    const wchar_t* installer_version;
    std::string last_event;
  } cases[] = {
      // The stub then starts as the package's backend, and fails as one.
      {"every program signed", "version_stub_signed", nullptr,
       "Error(37055,,Installer process did not complete successfully.)"},
      {"an unsigned launcher", "version_stub", nullptr,
       Refused("its file launcher.exe is not signed by " + signer_)},
      {"an older installer", "version_stub_signed", L"1.0",
       Refused("its installer.exe is version 1.0, older than this "
               "installer's " +
               own)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Put(kLauncherFileName, c.launcher);
    SetEnvironmentVariableW(kStubVersionVariable, c.installer_version);
    StartBackend(Host(), true);
    EXPECT_EQ(1, BackendExitCode()) << LogOf(backend_.Pid());
    ASSERT_FALSE(events().empty());
    EXPECT_EQ(c.last_event, events().back()) << LogOf(backend_.Pid());
    EXPECT_EQ("old f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
  }
}

// The package's own backend, elevated for an install for all users, takes
// the package from a protected copy and installs only when every program
// of it is signed: a launcher put into the package in place of the signed
// one (which the all-users task would run as the system) is refused by
// name, and nothing is installed.
TEST_F(SignedPackageTest, AnElevatedPackageBackendInstallsOnlySignedPrograms) {
  Put(kPackageInstallerName, "test_host_signed");
  WriteSignedSeams();
  ASSERT_TRUE(SetEvent(go_event().Get()));
  Put(kLauncherFileName, "version_stub");
  StartBackend(package().Append(kPackageInstallerName), false);
  EXPECT_EQ(1, BackendExitCode()) << LogOf(backend_.Pid());
  ASSERT_FALSE(events().empty());
  EXPECT_EQ(Refused("its file launcher.exe is not signed by " + signer_),
            events().back());
  EXPECT_EQ("old f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));

  // Signed, the same package installs.
  Put(kLauncherFileName, "version_stub_signed");
  StartBackend(package().Append(kPackageInstallerName), false);
  EXPECT_EQ(0, BackendExitCode()) << LogOf(backend_.Pid());
  EXPECT_EQ("Success", events().back());
  EXPECT_EQ("new f1.txt", test::ReadFileContents(target().Append(u"f1.txt")));
}

// What follows |prefix| in the lines of the logs in |folder|, in no order.
std::vector<std::string> LoggedAfter(const base::FilePath& folder,
                                     const std::string& prefix) {
  std::vector<std::string> found;
  base::FileEnumerator logs(folder, false, base::FileEnumerator::FILES,
                            u"*.log");
  for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next()) {
    std::string text;
    base::FileUtil::ReadFileToString(log, &text);
    for (const std::string& line :
         base::SplitString(text, "\n", base::SplitWhitespace::kTrim,
                           base::SplitFilter::kNonEmpty)) {
      const size_t at = line.find("] " + prefix);
      if (at != std::string::npos)
        found.push_back(line.substr(at + 2 + prefix.size()));
    }
  }
  return found;
}

// A full installer whose package the elevated front end (every process is
// elevated on the test system) refuses as it unpacks it: the protected
// folders of the run, the download folder and the copy that its backend
// was making of the package meanwhile, go with the run, though the backend
// still copied from the one when the front end came to remove it.
TEST(RefusedPackageTest, TheRunsProtectedFoldersGo) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath temp = dir.GetPath().Append(u"temp");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(temp));
  const base::FilePath installer = dir.GetPath().Append(u"setup.exe");
  ASSERT_TRUE(base::CopyOneFile(test::MaterialPath(test::MaterialString(
                                    "fetcher.images.package_hostile")),
                                installer));
  std::string output;
  DWORD exit_code = 0;
  ASSERT_TRUE(base::RunChildProcess(
      Quoted(installer) + u" --silent --allusers=0 --installfolder=" +
          Quoted(dir.GetPath().Append(u"install")) +
          u" --enable-installer-stats=0",
      {{u"TEMP", temp.value()}, {u"TMP", temp.value()}}, &output, &exit_code));
  EXPECT_EQ(1u, exit_code);
  const base::FilePath logs = temp.Append(u"Velna Installer");
  const std::vector<std::string> download_folders =
      LoggedAfter(logs, "Installer download folder: ");
  ASSERT_EQ(1u, download_folders.size());
  std::vector<std::string> made = download_folders;
  for (const std::string& copy : LoggedAfter(logs, "Copying the package ")) {
    // "<source> to <copy> while it is unpacked"
    const size_t to = copy.find(" to ");
    const size_t end = copy.find(" while it is unpacked");
    if (to != std::string::npos && end != std::string::npos)
      made.push_back(copy.substr(to + 4, end - to - 4));
  }
  for (const std::string& folder : made) {
    const base::FilePath path(base::UTF8ToUTF16(folder));
    EXPECT_FALSE(base::PathExists(path)) << folder;
    base::DeleteFileOrDirectory(path, true);
  }
}

}  // namespace
}  // namespace installer
