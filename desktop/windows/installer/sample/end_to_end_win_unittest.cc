// End to end: the sample packages installed, updated and uninstalled by the
// real installer processes as a user runs them (silent, for the current
// user), with nothing replaced inside the engine: the real mailslot, the
// real registry of the current user, the real shortcut folders and a local
// update server. Each test installs into a folder of its own; the product's
// registry keys are put back as they were at its end whatever happened.

#include <windows.h>
// After windows.h.
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/base_paths.h"
#include "base/base_paths_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/path_service.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/test/scoped_unix_link_win.h"
#include "base/values.h"
#include "base/version.h"
#include "base/win/registry.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_names.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/uninstall_batch_win.h"
#include "desktop/windows/installer/package_fetcher/test/test_material_document.h"
#include "desktop/windows/installer/sample/interactive_driver_win.h"
#include "desktop/windows/installer/sample/sample_package_material.h"
#include "desktop/windows/installer/sample/sample_program_win.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/installer_prefs_store.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/test/scoped_registry_restore.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_process_test_base_win.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/test/product_registry_keys_win.h"
#include "desktop/windows/installer/test/test_host_seams_win.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::LocalHttpServer;
using test::Quoted;
using test::SamplePackageKey;
using test::SamplePath;
using test::SampleString;

// Time for the batch file an uninstall leaves behind: it waits for the
// installer's processes, tries files still in use for up to 30 s and has
// the install folder removed two seconds after its own end.
constexpr int kFolderGoneTimeoutMs = 45000;

// The company key of the shipped branding, below HKEY_CURRENT_USER.
std::u16string CompanyKeyPath() {
  return u"Software\\" + base::UTF8ToUTF16(BrandingConfig::GetCompanyName());
}

// Points TEMP and TMP of this process, and so of the children it starts, at
// |folder| while it lives.
class ScopedTempVariables {
 public:
  explicit ScopedTempVariables(const base::FilePath& folder) {
    for (const wchar_t* name : {L"TEMP", L"TMP"}) {
      wchar_t value[MAX_PATH] = {};
      const DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH);
      saved_.push_back(length > 0 && length < MAX_PATH ? value : L"");
      ::SetEnvironmentVariableW(name, base::as_wcstr(folder.value()));
    }
  }
  ~ScopedTempVariables() {
    ::SetEnvironmentVariableW(L"TEMP",
                              saved_[0].empty() ? nullptr : saved_[0].c_str());
    ::SetEnvironmentVariableW(L"TMP",
                              saved_[1].empty() ? nullptr : saved_[1].c_str());
  }

 private:
  std::vector<std::wstring> saved_;
};

// The protected folders in the system's temporary folder: copies of
// packages, and the download folders of elevated front ends.
std::vector<base::FilePath> ProtectedCopies(const base::FilePath& system_temp) {
  std::vector<base::FilePath> copies;
  base::FileEnumerator folders(system_temp, false,
                               base::FileEnumerator::DIRECTORIES,
                               u"Velna Installer *");
  for (base::FilePath copy = folders.Next(); !copy.empty();
       copy = folders.Next()) {
    copies.push_back(copy);
  }
  return copies;
}

// A running process whose program is |name| in a folder directly below
// |folder|; invalid when there is none.
base::Process FindProcessBelow(const base::FilePath& folder,
                               const char16_t* name) {
  base::win::ScopedHandle snapshot(
      ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return base::Process();
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
       more = ::Process32NextW(snapshot.Get(), &entry)) {
    if (base::FilePath::CompareIgnoreCase(base::as_u16cstr(entry.szExeFile),
                                          name) != 0) {
      continue;
    }
    HANDLE process = ::OpenProcess(
        SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
        FALSE, entry.th32ProcessID);
    if (!process) continue;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (::QueryFullProcessImageNameW(process, 0, path, &size) &&
        base::FilePath::CompareIgnoreCase(
            base::FilePath(base::as_u16cstr(path)).DirName().DirName().value(),
            folder.value()) == 0) {
      return base::Process(process);
    }
    ::CloseHandle(process);
  }
  return base::Process();
}

// The package's backend: "installer.exe" of a package folder in
// |downloads| or, when the front end is elevated (as every process is on
// the test system), in its protected download folder, or of the package's
// protected copy, which an elevated backend starts it from; both lie in the
// system's temporary folder.
base::Process FindPackageBackend(const base::FilePath& downloads) {
  base::Process backend = FindProcessBelow(downloads, kPackageInstallerName);
  base::FilePath windows;
  if (backend.IsValid() || !base::PathService::Get(base::DIR_WINDOWS, &windows))
    return backend;
  const base::FilePath system_temp = windows.Append(u"Temp");
  for (const base::FilePath& folder : ProtectedCopies(system_temp)) {
    backend = FindProcessBelow(folder, kPackageInstallerName);
    if (backend.IsValid()) return backend;
  }
  return FindProcessBelow(system_temp, kPackageInstallerName);
}

struct MachineState {
  test::FileTreeSnapshot files;
  test::FileTreeSnapshot desktop;
  test::FileTreeSnapshot start_menu;
  test::RegistryState registry;

  bool operator==(const MachineState& other) const = default;
};

void PrintTo(const MachineState& state, std::ostream* out) {
  for (const auto* tree : {&state.files, &state.desktop, &state.start_menu}) {
    *out << "files:";
    for (const auto& [name, entry] : *tree) *out << " " << name;
    *out << "; ";
  }
  *out << "keys:";
  for (const auto& [key, values] : state.registry) {
    *out << " " << key << " {";
    for (const auto& [name, value] : values) *out << " " << name;
    *out << " }";
  }
}

// The shortcut files of a folder's snapshot.
std::set<std::string> ShortcutNames(const test::FileTreeSnapshot& snapshot) {
  std::set<std::string> names;
  for (const auto& [name, entry] : snapshot) {
    if (base::EndsWith(name, ".lnk")) names.insert(name);
  }
  return names;
}

class EndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    machine_ = dir_.GetPath().Append(u"machine");
    temp_ = dir_.GetPath().Append(u"temp");
    install_folder_ = machine_.Append(u"Velna Browser");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(machine_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(temp_));
    std::vector<test::RegistryLocation> keys = test::ProductRegistryKeys();
    keys.push_back({HKEY_CURRENT_USER, CompanyKeyPath()});
    restore_ = std::make_unique<test::ScopedRegistryRestore>(keys);
    ASSERT_TRUE(base::PathService::Get(base::DIR_USER_DESKTOP, &desktop_));
    ASSERT_TRUE(base::PathService::Get(base::DIR_START_MENU, &start_menu_));
    // A server without preference overrides answers at once; a closed
    // port costs every install its retries (the offline tests use one).
    ASSERT_TRUE(prefs_server_.Start());
    pref_server_url_ = prefs_server_.Url("/prefs?status=404");
    // Statistics go to a port of the test's own (the tests run side by side
    // with each other and with those that listen on port 3000).
    stats_port_ = prefs_server_.port();
    shortcuts_before_ = State();
    // Every process here is elevated: the runs a user starts take the
    // limited token user account control gives an administrator.
    standard_user_.Set(base::DuplicateLimitedToken());
    ASSERT_TRUE(standard_user_.IsValid());
    base::FilePath windows;
    ASSERT_TRUE(base::PathService::Get(base::DIR_WINDOWS, &windows));
    system_temp_ = windows.Append(u"Temp");
    protected_before_ = ProtectedCopies(system_temp_);
  }

  void TearDown() override {
    // The shortcuts a failed test left installed: those folders are the
    // user's.
    const std::pair<const test::FileTreeSnapshot*, const base::FilePath*>
        folders[] = {{&shortcuts_before_.desktop, &desktop_},
                     {&shortcuts_before_.start_menu, &start_menu_}};
    for (const auto& [before, folder] : folders) {
      for (const auto& [name, entry] : test::TakeFileTreeSnapshot(*folder)) {
        if (!before->count(name) && base::EndsWith(name, ".lnk")) {
          base::DeleteFileOrDirectory(folder->Append(base::UTF8ToUTF16(name)),
                                      false);
        }
      }
    }
    restore_.reset();
    // What a run ended from outside left in the system's temporary folder
    // (a package copy, an elevated front end's download folder): the test
    // system makes up an access list for them that the next run does not
    // take for the installer's, so none removes them.
    for (const base::FilePath& folder : ProtectedCopies(system_temp_)) {
      if (std::find(protected_before_.begin(), protected_before_.end(),
                    folder) == protected_before_.end()) {
        base::DeleteFileOrDirectory(folder, true);
      }
    }
  }

  // The token the runs of the test's user start with: the limited one of
  // a user's own runs, or, from set_elevated(true) on, none (this process's
  // elevated one), as an administrator's elevated runs.
  HANDLE user_token() const {
    return elevated_ ? nullptr : standard_user_.Get();
  }
  void set_elevated(bool elevated) { elevated_ = elevated; }

  // The test's temporary folder as TEMP and TMP, beside |extra|.
  base::EnvironmentChanges TempEnvironment(
      base::EnvironmentChanges extra = {}) const {
    extra.push_back({u"TEMP", temp_.value()});
    extra.push_back({u"TMP", temp_.value()});
    return extra;
  }

  // Runs |command_line| as the test's user with the test's own temporary
  // folder (where the installer writes its logs) until it and every process
  // that shares its output have ended; its exit code. What they printed
  // goes to |*output| when given.
  DWORD RunCommand(const std::u16string& command_line,
                   std::string* output = nullptr,
                   const base::EnvironmentChanges& extra = {}) {
    std::string printed;
    DWORD exit_code = 0xFFFFFFFF;
    EXPECT_TRUE(base::RunChildProcess(command_line, TempEnvironment(extra),
                                      &printed, &exit_code, user_token()));
    if (output) *output = printed;
    return exit_code;
  }

  // The same for |program| with |arguments|.
  DWORD Run(const base::FilePath& program, const std::u16string& arguments,
            std::string* output = nullptr) {
    return RunCommand(Quoted(program) + u" " + arguments, output);
  }

  // Starts |command_line| as RunCommand does, in |job| when given, and
  // returns at once.
  base::Process Start(const std::u16string& command_line,
                      HANDLE job = nullptr) {
    return base::Process(base::LaunchChildProcess(
        command_line, TempEnvironment(), user_token(), job));
  }

  // Starts |program| with |arguments| as Run does, and waits at most
  // |timeout_ms| for its end: its exit code, or -1 after ending it when it
  // ran on.
  int RunAtMost(const base::FilePath& program, const std::u16string& arguments,
                int timeout_ms) {
    base::Process process = Start(Quoted(program) + u" " + arguments);
    EXPECT_TRUE(process.IsValid());
    int exit_code = -1;
    if (!process.WaitForExitWithTimeout(timeout_ms, &exit_code)) {
      process.Terminate(1, true);
      return -1;
    }
    return exit_code;
  }

  // A silent per-user install into the test's folder. The preference
  // overrides are asked of the test's server, which has none (or of
  // set_pref_server_url's), statistics go to the loopback host's port
  // LocalStatsSwitch names.
  std::u16string InstallArguments(const std::u16string& extra) const {
    return u"--silent --allusers=0 --launchbrowser=0 --installfolder=" +
           Quoted(install_folder_) + u" " + LocalStatsSwitch() +
           u" --local-pref-default-overrides-server=" + pref_server_url_ +
           u" " + extra;
  }

  // "--local-stats-server=<port>": the preference server's port, or
  // set_stats_port's.
  std::u16string LocalStatsSwitch() const {
    return u"--local-stats-server=" + base::IntToString16(stats_port_);
  }

  DWORD Install(const std::string& installer, const std::u16string& extra) {
    return Run(SamplePath(installer), InstallArguments(extra));
  }

  // The uninstall entries that name the test's install folder: as their
  // location, or in their icon or command (a part of one written before its
  // location).
  std::vector<std::u16string> Entries() const {
    std::vector<std::u16string> entries;
    base::win::RegKey root(HKEY_CURRENT_USER, test::kUninstallRoot, KEY_READ);
    wchar_t name[256];
    for (DWORD i = 0; root.Valid(); ++i) {
      DWORD length = std::size(name);
      if (RegEnumKeyExW(root.Handle(), i, name, &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      const std::u16string path =
          std::u16string(test::kUninstallRoot) + u"\\" + base::as_u16cstr(name);
      base::win::RegKey key(HKEY_CURRENT_USER, path.c_str(), KEY_READ);
      std::u16string location;
      bool named =
          key.ReadValue(u"InstallLocation", &location) == ERROR_SUCCESS &&
          base::FilePath::CompareIgnoreCase(location,
                                            install_folder_.value()) == 0;
      const std::u16string launcher = u"\"" + install_folder_.value() + u"\\";
      for (const char16_t* name : {u"DisplayIcon", u"UninstallString"}) {
        std::u16string text;
        named |= key.ReadValue(name, &text) == ERROR_SUCCESS &&
                 base::StartsWith16(text, launcher,
                                    base::CompareCase::INSENSITIVE_ASCII);
      }
      if (named) entries.push_back(path);
    }
    return entries;
  }

  // The uninstall entry of the test's installation, the first with a
  // command; empty when none.
  std::u16string UninstallEntry() const {
    for (const std::u16string& path : Entries()) {
      base::win::RegKey key(HKEY_CURRENT_USER, path.c_str(), KEY_READ);
      std::u16string command;
      if (key.ReadValue(u"UninstallString", &command) == ERROR_SUCCESS)
        return path;
    }
    const std::vector<std::u16string> entries = Entries();
    return entries.empty() ? std::u16string() : entries[0];
  }

  std::u16string EntryValue(const std::u16string& name) const {
    base::win::RegKey key(HKEY_CURRENT_USER, UninstallEntry().c_str(),
                          KEY_READ);
    std::u16string value;
    key.ReadValue(name.c_str(), &value);
    return value;
  }

  // Runs the uninstall entry's command silently, as "Apps & features" runs
  // it; the command's exit code. What it printed goes to |*output| when
  // given.
  DWORD RunUninstallCommand(std::string* output = nullptr) {
    const std::u16string command = EntryValue(u"UninstallString");
    EXPECT_FALSE(command.empty());
    return RunCommand(command + u" --silent", output);
  }

  // The uninstall entry's command, then the wait until |folder| (the install
  // folder unless given) is gone; the command's exit code.
  DWORD Uninstall(std::string* output = nullptr,
                  const base::FilePath& folder = base::FilePath()) {
    const DWORD exit_code = RunUninstallCommand(output);
    WaitUntilGone(folder.empty() ? install_folder_ : folder);
    return exit_code;
  }

  // Waits until the clean-up batch file of an uninstallation has removed
  // |folder|, at most kFolderGoneTimeoutMs.
  void WaitUntilGone(const base::FilePath& folder) {
    for (int waited = 0;
         waited < kFolderGoneTimeoutMs && base::PathExists(folder);
         waited += 100) {
      ::Sleep(100);
    }
  }

  // The files below the test's folder, the user's shortcut folders and the
  // product's keys; not the value that remembers the last install folder
  // for the next install, which stays by design.
  MachineState State() {
    MachineState state;
    state.files = test::TakeFileTreeSnapshot(machine_);
    state.desktop = test::TakeFileTreeSnapshot(desktop_);
    state.start_menu = test::TakeFileTreeSnapshot(start_menu_);
    state.registry = restore_->TakeState(true);
    const std::string company =
        test::RegistryStateKey(HKEY_CURRENT_USER, CompanyKeyPath());
    auto key = state.registry.find(company);
    if (key != state.registry.end()) {
      key->second.erase(base::ToLowerASCII("Last " + VersionInfo::GetStream() +
                                           " Install Path"));
      if (key->second.empty()) state.registry.erase(key);
    }
    return state;
  }

  // Expects the files of |package| ("base" or "update") installed: its
  // versioned files in the folder of its version, its root files and the
  // launcher beside them, each with the package's contents.
  // |tree|, when given, is the package's own tree in place of the sample's.
  void ExpectInstalled(const std::string& package,
                       const base::FilePath& package_tree = base::FilePath()) {
    const std::u16string version = EntryValue(u"DisplayVersion");
    ASSERT_FALSE(version.empty());
    const base::FilePath tree =
        package_tree.empty() ? test::SamplePackageTree(package) : package_tree;
    const base::FilePath versioned = install_folder_.Append(version);
    std::vector<std::pair<base::FilePath, base::FilePath>> expected;
    for (const std::string& file :
         test::SampleList(SamplePackageKey(package, "files"))) {
      expected.push_back({tree.Append(base::UTF8ToUTF16(file)),
                          versioned.Append(base::UTF8ToUTF16(file))});
    }
    for (const std::string& file :
         test::SampleList(SamplePackageKey(package, "root_files"))) {
      expected.push_back({tree.Append(base::UTF8ToUTF16(file)),
                          install_folder_.Append(base::UTF8ToUTF16(file))});
    }
    expected.push_back({tree.Append(u"launcher.exe"),
                        install_folder_.Append(u"launcher.exe")});
    for (const auto& [source, installed] : expected) {
      SCOPED_TRACE(installed.AsUTF8());
      EXPECT_EQ(test::ReadFileContents(source),
                test::ReadFileContents(installed));
    }
    EXPECT_TRUE(
        base::PathExists(install_folder_.Append(u"installation_status.xml")));
  }

  // The installer logs of the test's runs, one text each.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    base::FileEnumerator logs(temp_.Append(u"Velna Installer"), false,
                              base::FileEnumerator::FILES, u"*.log");
    for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next()) {
      std::string text;
      base::FileUtil::ReadFileToString(log, &text);
      texts.push_back("==== " + log.AsUTF8() + "\n" + text);
    }
    return texts;
  }

  // The lines of the installer logs of the test's runs.
  std::string Logs() const {
    std::string all;
    for (const std::string& text : LogTexts()) all += text;
    return all;
  }

  void NetInstallAndUninstall(LocalHttpServer::PackageFault fault);

  // The test host, which runs the engine with the seams of
  // test_host_seams_win.h.
  static base::FilePath Host() {
    return base::FilePath(u"Z:" + base::UTF8ToUTF16(VELNA_INSTALLER_TEST_HOST))
        .NormalizePathSeparators();
  }

  const base::FilePath& install_folder() const { return install_folder_; }
  void set_install_folder(const base::FilePath& folder) {
    install_folder_ = folder;
  }
  // Where a test may keep files of its own, outside the machine's state.
  const base::FilePath& work() const { return dir_.GetPath(); }
  const base::FilePath& machine() const { return machine_; }
  const base::FilePath& temp() const { return temp_; }
  const std::u16string& pref_server_url() const { return pref_server_url_; }
  void set_pref_server_url(const std::u16string& url) {
    pref_server_url_ = url;
  }
  void set_stats_port(int port) { stats_port_ = port; }

 private:
  base::ScopedTempDir dir_;
  base::FilePath machine_;
  base::FilePath temp_;
  base::FilePath install_folder_;
  base::FilePath desktop_;
  base::FilePath start_menu_;
  std::unique_ptr<test::ScopedRegistryRestore> restore_;
  MachineState shortcuts_before_;
  LocalHttpServer prefs_server_;
  std::u16string pref_server_url_;
  int stats_port_ = 0;
  base::win::ScopedHandle standard_user_;
  bool elevated_ = false;
  base::FilePath system_temp_;
  std::vector<base::FilePath> protected_before_;
};

// Install, update to the next version and uninstall, as a user does: the
// machine is as before at the end.
TEST_F(EndToEndTest, FullInstallerInstallsUpdatesAndUninstalls) {
  const MachineState before = State();

  ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                        u"--enable-installer-stats=0"))
      << Logs();
  ASSERT_FALSE(UninstallEntry().empty());
  ExpectInstalled("base");
  const std::u16string first_version = EntryValue(u"DisplayVersion");
  EXPECT_EQ(Quoted(install_folder().Append(u"Launcher.exe")) + u" /uninstall",
            EntryValue(u"UninstallString"));
  const MachineState installed = State();
  EXPECT_NE(before.desktop, installed.desktop);
  EXPECT_NE(before.start_menu, installed.start_menu);
  EXPECT_NE(before.registry, installed.registry);

  // "off" is no plain Boolean and reads as false (no digits): the update
  // removes the desktop shortcut and turns the browser's statistics off,
  // and the log says how it read the values.
  ASSERT_EQ(0u, Install(SampleString("packages.update.full_installer"),
                        u"--enable-installer-stats=0 --enable-stats=off "
                        u"--desktopshortcut=off"))
      << Logs();
  ExpectInstalled("update");
  EXPECT_EQ(ShortcutNames(before.desktop), ShortcutNames(State().desktop));
  const std::string prefs =
      test::ReadFileContents(install_folder().Append(u"installer_prefs.json"));
  std::unique_ptr<base::Value> prefs_value = base::JSONReader::Read(prefs);
  base::DictionaryValue* prefs_dictionary = nullptr;
  bool enable_stats = true;
  ASSERT_TRUE(prefs_value && prefs_value->GetAsDictionary(&prefs_dictionary));
  EXPECT_TRUE(prefs_dictionary->GetBoolean("enable_stats", &enable_stats) &&
              !enable_stats)
      << prefs;
  for (const char* line : {"Reading --desktopshortcut=\"off\" as false",
                           "Reading --enable-stats=\"off\" as false"}) {
    EXPECT_NE(std::string::npos, Logs().find(line)) << Logs();
  }
  const std::u16string second_version = EntryValue(u"DisplayVersion");
  EXPECT_LT(base::Version(base::UTF16ToUTF8(first_version))
                .CompareTo(base::Version(base::UTF16ToUTF8(second_version))),
            0);

  EXPECT_EQ(0u, Uninstall()) << Logs();
  EXPECT_FALSE(base::PathExists(install_folder()));
  EXPECT_TRUE(UninstallEntry().empty());
  EXPECT_EQ(before, State());
}

// Nothing listens on the update server's port (nor where the preference
// overrides and the statistics go): the full installer needs none of it.
TEST_F(EndToEndTest, FullInstallerInstallsOffline) {
  LocalHttpServer closed;
  ASSERT_TRUE(closed.Start());
  ASSERT_TRUE(closed.Stop());
  set_pref_server_url(closed.Url("/prefs"));
  const MachineState before = State();

  const auto start = std::chrono::steady_clock::now();
  std::string output;
  ASSERT_EQ(0u, Run(SamplePath(SampleString("packages.base.full_installer")),
                    InstallArguments(u"--internal-package-server=" +
                                     closed.Url("/netinstaller/" +
                                                VersionInfo::GetStream())),
                    &output))
      << Logs();
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  printf("offline silent install: %.1f s\n", seconds);
  ExpectInstalled("base");
  EXPECT_NE(std::string::npos, Logs().find("Installation succeeded"));
  // Nothing of the helpers reaches the caller's console: not the version
  // that the test copy of the installer prints.
  EXPECT_EQ(std::string::npos, output.find(VersionInfo::GetProductVersion()))
      << output;

  // Nor the commands of the clean-up batch file.
  EXPECT_EQ(0u, Uninstall(&output)) << Logs();
  EXPECT_EQ(std::string::npos, output.find("del ")) << output;
  EXPECT_EQ(before, State());
}

// The net installer asks the local update server for the package, fetches
// the full installer (whole, or resumed after a transfer cut half-way),
// installs it and reports the statistics there; the uninstall leaves the
// machine as before.
void EndToEndTest::NetInstallAndUninstall(LocalHttpServer::PackageFault fault) {
  LocalHttpServer server;
  // It receives the statistics too.
  ASSERT_TRUE(server.StartUpdateServer(
      SamplePath(SampleString(SamplePackageKey("base", "full_installer"))),
      fault));
  set_stats_port(server.port());
  const MachineState before = State();

  ASSERT_EQ(
      0u, Install(SampleString("net_installer"),
                  u"--internal-package-server=" +
                      server.Url("/netinstaller/" + VersionInfo::GetStream())))
      << Logs();
  ExpectInstalled("base");
  const std::string full_installer_path =
      "/files/" + SampleString(SamplePackageKey("base", "full_installer"));
  EXPECT_EQ(fault == LocalHttpServer::PackageFault::kNone ? 1u : 2u,
            server.RequestsFor(full_installer_path).size());

  const std::vector<std::string> bodies = server.StatisticsBodies();
  ASSERT_EQ(1u, bodies.size());
  std::unique_ptr<base::Value> stats = base::JSONReader::Read(bodies[0]);
  base::DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(stats && stats->GetAsDictionary(&dictionary)) << bodies[0];
  int success = 0;
  EXPECT_TRUE(dictionary->GetInteger("installation_success", &success));
  EXPECT_EQ(1, success);
  std::string text;
  EXPECT_TRUE(dictionary->GetString("version", &text));
  EXPECT_EQ(VersionInfo::GetProductVersion(), text);
  EXPECT_TRUE(dictionary->GetString("stream", &text));
  EXPECT_EQ(VersionInfo::GetStream(), text);
  EXPECT_TRUE(dictionary->GetString("command_line_args", &text));
  EXPECT_NE(std::string::npos, text.find("--silent")) << text;
  EXPECT_FALSE(dictionary->HasKey("failure_reason")) << bodies[0];

  EXPECT_EQ(0u, Uninstall()) << Logs();
  EXPECT_EQ(before, State());
}

TEST_F(EndToEndTest, NetInstallerInstallsFromTheUpdateServer) {
  NetInstallAndUninstall(LocalHttpServer::PackageFault::kNone);
}

TEST_F(EndToEndTest, NetInstallerResumesATransferCutHalfWay) {
  NetInstallAndUninstall(LocalHttpServer::PackageFault::kCutOnce);
}

// A full installer that does not match the reply's checksum: the net
// installer exits with failure, says why in its log, and installs nothing.
TEST_F(EndToEndTest, NetInstallerRefusesAPackageWithTheWrongChecksum) {
  LocalHttpServer server;
  ASSERT_TRUE(server.StartUpdateServer(
      SamplePath(SampleString(SamplePackageKey("base", "full_installer"))),
      LocalHttpServer::PackageFault::kCorrupt));
  set_stats_port(server.port());
  const MachineState before = State();

  EXPECT_EQ(
      1u, Install(SampleString("net_installer"),
                  u"--internal-package-server=" +
                      server.Url("/netinstaller/" + VersionInfo::GetStream())));
  EXPECT_NE(std::string::npos, Logs().find("Checksum incorrect")) << Logs();
  EXPECT_TRUE(UninstallEntry().empty());
  EXPECT_FALSE(base::PathExists(install_folder()));
  EXPECT_EQ(before, State());
  const std::vector<std::string> bodies = server.StatisticsBodies();
  ASSERT_EQ(1u, bodies.size());
  std::unique_ptr<base::Value> stats = base::JSONReader::Read(bodies[0]);
  base::DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(stats && stats->GetAsDictionary(&dictionary)) << bodies[0];
  int success = 1;
  EXPECT_TRUE(dictionary->GetInteger("installation_success", &success));
  EXPECT_EQ(0, success);
}

// The pixels of |area| that differ clearly from the background around it
// (the pixels just outside its four corners): text, a border, a picture.
int PixelsUnlikeTheBackground(const sample::Screenshot& picture,
                              const sample::ControlArea& area) {
  auto pixel = [&](int x, int y) {
    x = std::clamp(x, 0, picture.width - 1);
    y = std::clamp(y, 0, picture.height - 1);
    return picture.pixels[static_cast<size_t>(y) * picture.width + x];
  };
  const uint32_t around[] = {pixel(area.left - 2, area.top - 2),
                             pixel(area.right + 1, area.top - 2),
                             pixel(area.left - 2, area.bottom + 1),
                             pixel(area.right + 1, area.bottom + 1)};
  auto differs = [](uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
      const int difference = static_cast<int>((a >> shift) & 0xFF) -
                             static_cast<int>((b >> shift) & 0xFF);
      if (difference > 64 || difference < -64) return true;
    }
    return false;
  };
  int count = 0;
  for (int y = std::max(area.top, 0); y < std::min(area.bottom, picture.height);
       ++y) {
    for (int x = std::max(area.left, 0);
         x < std::min(area.right, picture.width); ++x) {
      const uint32_t here = pixel(x, y);
      count += std::all_of(std::begin(around), std::end(around),
                           [&](uint32_t back) { return differs(here, back); });
    }
  }
  return count;
}

// The interactive front end, driven by messages to its controls through
// its pages to the end of the install; the screenshots stay as artefacts in
// the build's "test_artifacts" folder. The package's backend is the test
// host, which pauses before its second step for the progress picture and at
// its success for the final one.
TEST_F(EndToEndTest, InteractiveInstallIsDrivenToTheEnd) {
  const MachineState before = State();
  base::FilePath artefacts(base::GetTestExecutableFolder());
  // From <build>\desktop\windows\installer\sample\ up to <build>.
  for (int i = 0; i < 4; ++i) artefacts = artefacts.DirName();
  artefacts = artefacts.Append(u"test_artifacts\\interactive_install");
  ASSERT_TRUE(base::DeleteFileOrDirectory(artefacts, true));
  const std::string unique = std::to_string(::GetCurrentProcessId()) + "_" +
                             std::to_string(::GetTickCount());
  const char* const names[] = {"progress_paused", "progress_resume",
                               "end_paused", "end_resume"};
  std::u16string event_names[4];
  base::win::ScopedHandle events[4];
  for (int i = 0; i < 4; ++i) {
    event_names[i] =
        base::UTF8ToUTF16("Local\\velna_test_" + unique + "_" + names[i]);
    events[i].Set(
        ::CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(event_names[i])));
    ASSERT_TRUE(events[i].IsValid());
  }
  const sample::InstallPauses pauses = {events[0].Get(), events[1].Get(),
                                        events[2].Get(), events[3].Get()};
  // What the test host reads in each process of the runs: with the pauses
  // for the install, without them for the uninstall that the installed
  // installer, also the test host, makes.
  const base::FilePath seams_file = temp().Append(u"seams.json");
  auto write_seams = [&](bool pausing) {
    base::DictionaryValue seams;
    seams.SetInteger("branding.major_delta", BrandingConfig::GetMajorDelta());
    auto pause = [&](int event) {
      auto stop = std::make_unique<base::DictionaryValue>();
      stop->SetString("event", event_names[event]);
      stop->SetString("resume_event", event_names[event + 1]);
      return stop;
    };
    if (pausing) {
      std::unique_ptr<base::DictionaryValue> progress = pause(0);
      progress->SetInteger("before_step", 1);
      std::unique_ptr<base::DictionaryValue> end = pause(2);
      end->SetBoolean("at_success", true);
      auto stops = std::make_unique<base::ListValue>();
      stops->Append(std::move(progress));
      stops->Append(std::move(end));
      seams.Set("stop", std::move(stops));
    }
    std::string json;
    return base::JSONWriter::Write(seams, &json) &&
           base::WriteBufferToFile(seams_file, json.data(),
                                   static_cast<int>(json.size())) ==
               static_cast<int>(json.size());
  };
  ASSERT_TRUE(write_seams(true));
  auto paused_package = [](const std::string& key) {
    return test::BuildMachinePath(VELNA_PAUSED_SAMPLE_PACKAGES,
                                  SampleString("packages.base." + key));
  };
  ::SetEnvironmentVariableW(test::kHostSeamsVariable,
                            base::as_wcstr(seams_file.value()));
  base::Process front_end;
  {
    ScopedTempVariables temp_variables(temp());
    front_end = base::LaunchProcess(
        Quoted(paused_package("full_installer")) +
            u" --allusers=0 --launchbrowser=0 --enable-installer-stats=0 "
            u"--installfolder=" +
            Quoted(install_folder()) +
            u" --local-pref-default-overrides-server=" + pref_server_url(),
        base::LaunchOptions());
  }
  ASSERT_TRUE(front_end.IsValid());

  const sample::DriveResult result =
      sample::DriveInteractiveInstall(front_end, artefacts, &pauses);
  ASSERT_TRUE(write_seams(false));
  EXPECT_EQ("", result.error) << Logs();
  EXPECT_EQ(0, result.exit_code) << Logs();
  ASSERT_EQ(3u, result.screenshots.size());
  EXPECT_EQ(u"final.bmp", result.screenshots.back().BaseName().value());
  // The last picture shows the end of the installation, not the progress
  // page as it first showed.
  EXPECT_LT(result.first_position, result.final_position);
  EXPECT_LE(result.final_position, result.top_position);
  EXPECT_NE(test::ReadFileContents(result.screenshots[1]),
            test::ReadFileContents(result.screenshots[2]));
  for (const base::FilePath& screenshot : result.screenshots) {
    // A drawn window: its background picture alone has many colours.
    EXPECT_LT(16, sample::CountScreenshotColours(screenshot)) << screenshot;
  }
  // The welcome picture shows the page as painted, not its background
  // alone: the headline and both buttons stand out where they are.
  sample::Screenshot welcome;
  ASSERT_TRUE(sample::ReadScreenshot(result.screenshots[0], &welcome));
  std::set<int> shown;
  for (const sample::ControlArea& area : result.welcome_controls) {
    shown.insert(area.id);
    EXPECT_LT(20, PixelsUnlikeTheBackground(welcome, area)) << area.id;
  }
  EXPECT_EQ((std::set<int>{controls::kSlogan, controls::kAccept,
                           controls::kOptionsButton}),
            shown);
  ExpectInstalled("base", paused_package("tree"));

  EXPECT_EQ(0u, Uninstall()) << Logs();
  EXPECT_EQ(before, State());
  ::SetEnvironmentVariableW(test::kHostSeamsVariable, nullptr);
}

// A full installer cut short or with bytes appended is damaged, not a net
// installer: it fails at once and says so, instead of asking the update
// server (nothing listens there) again and again for an hour.
TEST_F(EndToEndTest, DamagedFullInstallersFailAtOnce) {
  LocalHttpServer closed;
  ASSERT_TRUE(closed.Start());
  ASSERT_TRUE(closed.Stop());
  const MachineState before = State();
  std::string bytes;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(
      SamplePath(SampleString("packages.base.full_installer")), &bytes));
  const struct {
    const char16_t* name;
    std::string file;
  } cases[] = {
      {u"half", bytes.substr(0, bytes.size() / 2)},
      {u"cut_by_1000", bytes.substr(0, bytes.size() - 1000)},
      {u"plus_7", bytes + "1234567"},
      {u"plus_100k", bytes + std::string(100 * 1024, '\x5A')},
  };
  for (const auto& c : cases) {
    const base::FilePath copy =
        work().Append(std::u16string(u"damaged_") + c.name + u".exe");
    SCOPED_TRACE(copy.AsUTF8());
    ASSERT_EQ(static_cast<int>(c.file.size()),
              base::WriteBufferToFile(copy, c.file.data(),
                                      static_cast<int>(c.file.size())));
    EXPECT_EQ(1,
              RunAtMost(copy,
                        InstallArguments(u"--enable-installer-stats=0 "
                                         u"--internal-package-server=" +
                                         closed.Url("/netinstaller/" +
                                                    VersionInfo::GetStream())),
                        60000))
        << Logs();
    EXPECT_NE(std::string::npos,
              Logs().find("Damaged installer file: " + copy.AsUTF8()))
        << Logs();
  }
  EXPECT_EQ(std::string::npos, Logs().find("Fetching the download URL"));
  EXPECT_TRUE(UninstallEntry().empty());
  EXPECT_EQ(before, State());
}

// Every refused install folder says in the log which check it failed, with
// the folder, and the silent run fails at once (a file: below).
TEST_F(EndToEndTest, RefusedInstallFoldersSayWhy) {
  const MachineState before = State();
  // 199 characters: the status file an update keeps, moved aside at the
  // uninstall, would need 260.
  const std::u16string too_long =
      machine().value() + u"\\" +
      std::u16string(199 - machine().value().size() - 1, u'l');
  const struct {
    std::u16string folder;
    const char* reason;
  } cases[] = {
      {u"C:\\" + std::u16string(266, u'a'),
       "it is not a valid path: the path is longer than 247 characters"},
      {u"\\\\server\\share\\Velna", "no part of it exists"},
      {u"\\\\?\\C:\\Velna",
       "it is not a valid path: it starts with two backslashes"},
      {u"\\\\.\\C:\\Velna",
       "it is not a valid path: it starts with two backslashes"},
      {machine().value() + u"\\Velna.",
       "it is not a valid path: a name ends with a space or a dot"},
      {u"relative\\Velna", "it is a relative path"},
      {u"Q:\\Velna", "no part of it exists"},
      {machine().value() + u"\\a<b>|c",
       "it is not a valid path: a name holds the character <"},
      {too_long, "the install folder is too long: a kept status file"},
  };
  for (const auto& c : cases) {
    const std::string folder = base::UTF16ToUTF8(c.folder);
    SCOPED_TRACE(folder);
    set_install_folder(base::FilePath(c.folder));
    EXPECT_EQ(
        1, RunAtMost(SamplePath(SampleString("packages.base.full_installer")),
                     InstallArguments(u"--enable-installer-stats=0"), 60000));
    EXPECT_NE(std::string::npos, Logs().find("The install folder " + folder +
                                             " is refused: " + c.reason))
        << Logs();
  }
  EXPECT_EQ(before, State());
}

// A refused start reports the fixed failure reason to the statistics
// server: the folder, which names the user, stays in the log.
TEST_F(EndToEndTest, ARefusedStartSendsNoFolderAsItsFailureReason) {
  const base::FilePath file = machine().Append(u"afile.txt");
  ASSERT_EQ(1, base::WriteBufferToFile(file, "x", 1));
  LocalHttpServer server;
  ASSERT_TRUE(server.Start());
  set_stats_port(server.port());
  set_install_folder(file);
  const MachineState before = State();
  EXPECT_EQ(1,
            RunAtMost(SamplePath(SampleString("packages.base.full_installer")),
                      InstallArguments(u""), 60000));
  EXPECT_NE(std::string::npos,
            Logs().find("The install folder " + file.AsUTF8() +
                        " is refused: it is a file"))
      << Logs();
  const std::vector<std::string> bodies = server.StatisticsBodies();
  ASSERT_EQ(1u, bodies.size());
  std::unique_ptr<base::Value> stats = base::JSONReader::Read(bodies[0]);
  base::DictionaryValue* dictionary = nullptr;
  ASSERT_TRUE(stats && stats->GetAsDictionary(&dictionary)) << bodies[0];
  std::string reason;
  EXPECT_TRUE(dictionary->GetString("failure_reason", &reason));
  EXPECT_EQ("Attempting to start installation with invalid settings", reason);
  int success = 1;
  EXPECT_TRUE(dictionary->GetInteger("installation_success", &success));
  EXPECT_EQ(0, success);
  EXPECT_EQ(before, State());
}

// A backslash before the closing quote makes the quote part of the folder
// and swallows what follows, "--silent" included: the run is refused at
// once, with the folder named; without the silent switch a message box
// names it.
TEST_F(EndToEndTest, AQuoteInTheFolderIsRefusedWithItsName) {
  const MachineState before = State();
  const base::FilePath installer =
      SamplePath(SampleString("packages.base.full_installer"));
  const std::u16string switches =
      u"--allusers=0 --launchbrowser=0 --enable-installer-stats=0 "
      u"--local-pref-default-overrides-server=http://127.0.0.1:1/ "
      u"--installfolder=\"" +
      machine().value() + u"\\Quote Test\\\"";
  EXPECT_EQ(1, RunAtMost(installer, switches + u" --silent", 60000));
  EXPECT_NE(std::string::npos,
            Logs().find("The install folder " + machine().AsUTF8() +
                        "\\Quote Test\" --silent holds a quote"))
      << Logs();

  ScopedTempVariables temp_variables(temp());
  base::Process front_end = base::LaunchProcess(
      Quoted(installer) + u" " + switches, base::LaunchOptions());
  ASSERT_TRUE(front_end.IsValid());
  const DWORD process_id = front_end.Pid();
  HWND box = nullptr;
  int exit_code = -1;
  while (!box && !front_end.WaitForExitWithTimeout(20, &exit_code)) {
    for (HWND window = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr);
         window;
         window = ::FindWindowExW(nullptr, window, L"#32770", nullptr)) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(window, &owner);
      if (owner == process_id && ::IsWindowVisible(window)) box = window;
    }
  }
  ASSERT_TRUE(box) << Logs();
  wchar_t text[1024] = {};
  // The box's text is its static control.
  ::GetDlgItemTextW(box, 0xFFFF, text, std::size(text));
  EXPECT_NE(std::u16string::npos,
            std::u16string(base::as_u16cstr(text))
                .find(machine().value() + u"\\Quote Test\""))
      << base::UTF16ToUTF8(base::as_u16cstr(text));
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(front_end.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_EQ(1, exit_code);
  EXPECT_EQ(before, State());
}

// An uninstallation that fails says why in the log of the front end that
// the uninstall entry started, beside the name of its backend's log; the
// file it could not remove is named. One that succeeds but leaves a file
// says so too.
TEST_F(EndToEndTest, TheFrontEndsLogGivesTheBackendsReason) {
  const MachineState before = State();
  ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                        u"--enable-installer-stats=0"))
      << Logs();
  const base::FilePath browser =
      install_folder()
          .Append(EntryValue(u"DisplayVersion"))
          .AppendASCII(SampleString("browser_executable"));
  {
    // Open without leave to move or delete it, as a running browser holds
    // its image.
    base::win::ScopedHandle held(
        ::CreateFileW(base::as_wcstr(browser.value()), GENERIC_READ,
                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(1u, RunUninstallCommand()) << Logs();
  }
  bool found = false;
  for (const std::string& log : LogTexts()) {
    if (log.find("Installer backend log: ") == std::string::npos) continue;
    if (log.find("Last error line of velna_installer_") != std::string::npos &&
        log.find("Can't uninstall when " + SampleString("browser_executable") +
                 " is in use") != std::string::npos) {
      found = true;
    }
  }
  EXPECT_TRUE(found) << Logs();
  EXPECT_NE(std::string::npos,
            Logs().find("File removal failed: " + browser.AsUTF8()))
      << Logs();

  // A root file held while the uninstallation runs is left to the clean-up
  // batch file, and the log says so; it goes once it is free.
  const base::FilePath manifest = install_folder().AppendASCII(
      test::SampleList(SamplePackageKey("base", "root_files")).back());
  {
    base::win::ScopedHandle held(
        ::CreateFileW(base::as_wcstr(manifest.value()), GENERIC_READ,
                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.IsValid());
    EXPECT_EQ(0u, RunUninstallCommand()) << Logs();
  }
  // Beside the installer and the launcher that run the uninstallation.
  const std::string logs = Logs();
  const size_t said = logs.find(
      " files could not be removed now; the clean-up batch file tries again "
      "once the installer has ended: ");
  ASSERT_NE(std::string::npos, said) << logs;
  EXPECT_NE(
      std::string::npos,
      logs.substr(said, logs.find('\n', said) - said).find(manifest.AsUTF8()))
      << logs;
  WaitUntilGone(install_folder());
  EXPECT_FALSE(base::PathExists(install_folder()));
  EXPECT_EQ(before, State());
}

// The folders above the install folder that the installation made go at
// the uninstallation; the one the user had stays. That one may be a
// drive's root, where every user may put programs: the clean-up batch file
// runs none of those that a command interpreter would find there by a bare
// name.
TEST_F(EndToEndTest, UninstallRemovesTheParentFoldersTheInstallMade) {
  const base::FilePath existing = machine().Append(u"Existing");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(existing));
  const base::FilePath made = existing.Append(u"Made");
  set_install_folder(made.Append(u"By Install").Append(u"Velna Browser"));
  const base::FilePath ran = work().Append(u"ran");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(ran));
  for (const char16_t* program :
       {u"ping.exe", u"cmd.exe", u"tasklist.exe", u"find.exe"}) {
    ASSERT_TRUE(base::CopyOneFile(Host(), existing.Append(program)));
  }
  for (const char* program : {"ping", "cmd", "tasklist", "find", "rmdir"}) {
    for (const char* extension : {".bat", ".cmd"}) {
      const std::string name = std::string(program) + extension;
      ASSERT_TRUE(test::WriteTextFile(existing.AppendASCII(name),
                                      "@echo " + name + ">> \"" +
                                          ran.Append(u"planted.txt").AsUTF8() +
                                          "\"\r\n"));
    }
  }
  ASSERT_TRUE(SetEnvironmentVariableW(test::kHostRecordVariable,
                                      base::as_wcstr(ran.value() + u"\\")));
  const MachineState before = State();

  ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                        u"--enable-installer-stats=0"))
      << Logs();
  ExpectInstalled("base");
  EXPECT_EQ(0u, Uninstall(nullptr, made)) << Logs();
  SetEnvironmentVariableW(test::kHostRecordVariable, nullptr);
  EXPECT_FALSE(base::PathExists(made));
  EXPECT_TRUE(base::DirectoryExists(existing));
  EXPECT_EQ(before, State());
  EXPECT_TRUE(base::FileEnumerator(ran, false, base::FileEnumerator::FILES)
                  .Next()
                  .empty())
      << test::ReadFileContents(ran.Append(u"planted.txt"));
}

// A record that names a registry key none of the installer's rows writes
// (another program's, planted where others could write) is refused by the
// update and by the uninstall, which say so and change nothing; the key
// stays. The genuine record still uninstalls.
TEST_F(EndToEndTest, ARecordNamingAForeignKeyIsRefused) {
  const std::u16string foreign =
      u"Software\\VelnaTest\\EndToEnd-" +
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId())) +
      u"\\VictimVendor\\Policy";
  base::win::RegKey victim;
  ASSERT_EQ(ERROR_SUCCESS,
            victim.Create(HKEY_CURRENT_USER, foreign.c_str(), KEY_SET_VALUE));
  ASSERT_EQ(ERROR_SUCCESS, victim.WriteValue(u"v", u"kept"));
  victim.Close();
  const MachineState before = State();
  ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                        u"--enable-installer-stats=0"))
      << Logs();
  const base::FilePath record = install_folder().Append(kInstallLogFileName);
  const std::string genuine = test::ReadFileContents(record);
  base::win::ScopedComInitializer com;
  InstallLog log;
  XmlDocument document;
  ASSERT_TRUE(ReadInstallLog(&document, &log, record));
  log.hkcu_keys.push_back({1, base::UTF16ToUTF8(foreign), {}});
  ASSERT_TRUE(WriteInstallLog(&document, log, record));
  const MachineState planted = State();

  EXPECT_EQ(1u, Install(SampleString("packages.update.full_installer"),
                        u"--enable-installer-stats=0"));
  EXPECT_EQ(1u, RunUninstallCommand());
  EXPECT_EQ(planted, State());
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, foreign));
  const std::string refusal =
      "Refusing the installation status file " + record.AsUTF8() +
      ": it names the registry key HKEY_CURRENT_USER\\" +
      base::UTF16ToUTF8(foreign);
  const std::string logs = Logs();
  size_t count = 0;
  for (size_t at = logs.find(refusal); at != std::string::npos;
       at = logs.find(refusal, at + 1)) {
    ++count;
  }
  // Each refusing backend's log, and each front end's that repeats it.
  EXPECT_LE(2u, count) << logs;

  ASSERT_TRUE(test::WriteTextFile(record, genuine));
  EXPECT_EQ(0u, Uninstall()) << Logs();
  EXPECT_EQ(before, State());
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, foreign));
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(foreign.substr(
                                        0, foreign.rfind(u"\\VictimVendor"))));
}

// What a killed run left in the download folder goes at the next run of
// its user (a front end that is not elevated: the test host with a
// standard user's rights), unless a live run still holds it. An elevated
// front end (on the test system every process is; on Windows a deployment
// tool's, run as the system, whose temporary folder any user may write)
// takes nothing from there: a lock naming an earlier run's folder removes
// nothing, and a program planted under the name of the run's copy neither
// runs nor is touched; it downloads into a protected folder of its own,
// which goes at its end.
TEST_F(EndToEndTest, TheNextRunRemovesWhatAKilledRunLeft) {
  const base::FilePath full_installer =
      SamplePath(SampleString("packages.base.full_installer"));
  const base::FilePath downloads = temp().Append(u"Velna Installer");
  const base::FilePath killed =
      downloads.Append(u"velna_installer_20200101000000");
  const base::FilePath alive =
      downloads.Append(u"velna_installer_20200101000001");
  for (const base::FilePath& run : {killed, alive}) {
    ASSERT_TRUE(base::FileUtil::CreateDirectory(run.Append(u"resources")));
    ASSERT_EQ(1, base::WriteBufferToFile(run.Append(u"installer.exe"), "x", 1));
    ASSERT_EQ(1, base::WriteBufferToFile(run.AddExtension(u"exe"), "x", 1));
  }
  // A killed run's lock is there, held by nobody; a live one's is held.
  ASSERT_EQ(0, base::WriteBufferToFile(killed.AddExtension(u"lock"), "", 0));
  base::win::ScopedHandle live_lock(::CreateFileW(
      base::as_wcstr(alive.AddExtension(u"lock").value()), GENERIC_WRITE,
      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(live_lock.IsValid());
  // The test host records its command line when it runs.
  const base::FilePath planted =
      downloads.Append(full_installer.BaseName().value());
  const base::FilePath ran = work().Append(u"planted_ran.txt");
  ASSERT_TRUE(base::CopyOneFile(Host(), planted));
  const std::string planted_bytes = test::ReadFileContents(planted);
  base::FilePath windows;
  ASSERT_TRUE(base::PathService::Get(base::DIR_WINDOWS, &windows));
  const MachineState before = State();
  // Each run fails at once on its folder, after the download folder is
  // chosen, tested and cleaned up.
  ::SetEnvironmentVariableW(test::kHostRecordVariable,
                            base::as_wcstr(ran.value()));
  EXPECT_EQ(1, RunAtMost(full_installer,
                         u"--silent --allusers=1 --launchbrowser=0 "
                         u"--installfolder=relative\\Velna "
                         u"--enable-installer-stats=0 " +
                             LocalStatsSwitch() +
                             u" --local-pref-default-overrides-server=" +
                             pref_server_url(),
                         60000));
  ::SetEnvironmentVariableW(test::kHostRecordVariable, nullptr);
  EXPECT_FALSE(base::PathExists(ran)) << test::ReadFileContents(ran);
  EXPECT_EQ(planted_bytes, test::ReadFileContents(planted));
  EXPECT_TRUE(base::PathExists(killed.Append(u"installer.exe")));
  EXPECT_TRUE(base::PathExists(killed.AddExtension(u"lock")));
  const std::string logs = Logs();
  EXPECT_EQ(std::string::npos, logs.find("Removed what an earlier run left"))
      << logs;
  const std::string said = "Installer download folder: ";
  const size_t at =
      logs.find(said + windows.Append(u"Temp").AsUTF8() + "\\Velna Installer ");
  ASSERT_NE(std::string::npos, at) << logs;
  const size_t start = at + said.size();
  const std::string folder =
      logs.substr(start, logs.find_first_of("\r\n", start) - start);
  EXPECT_FALSE(base::PathExists(base::FilePath(base::UTF8ToUTF16(folder))))
      << folder;

  const base::FilePath seams = work().Append(u"seams.json");
  const base::FilePath rights = work().Append(u"rights.json");
  ASSERT_TRUE(test::WriteTextFile(seams, "{}"));
  ASSERT_TRUE(test::WriteTextFile(rights, "{\"administrator\": false}"));
  ::SetEnvironmentVariableW(test::kHostSeamsVariable,
                            base::as_wcstr(seams.value()));
  ::SetEnvironmentVariableW(test::kUnelevatedRightsVariable,
                            base::as_wcstr(rights.value()));
  set_install_folder(base::FilePath(u"relative\\Velna"));
  EXPECT_EQ(1,
            RunAtMost(Host(), InstallArguments(u"--enable-installer-stats=0"),
                      60000));
  ::SetEnvironmentVariableW(test::kHostSeamsVariable, nullptr);
  ::SetEnvironmentVariableW(test::kUnelevatedRightsVariable, nullptr);
  EXPECT_FALSE(base::PathExists(killed));
  EXPECT_FALSE(base::PathExists(killed.AddExtension(u"exe")));
  EXPECT_FALSE(base::PathExists(killed.AddExtension(u"lock")));
  EXPECT_TRUE(base::PathExists(alive.Append(u"installer.exe")));
  EXPECT_TRUE(base::PathExists(alive.AddExtension(u"exe")));
  // The run's own lock went with it.
  base::FileEnumerator locks(downloads, false, base::FileEnumerator::FILES,
                             u"*.lock");
  EXPECT_EQ(alive.AddExtension(u"lock"), locks.Next());
  EXPECT_EQ(base::FilePath(), locks.Next());
  EXPECT_EQ(before, State());
}

// The same version installed again goes into a new version folder beside
// the first ("<version>_0", then "_1", the older ones going with each later
// install): the uninstall entry's command finds the installed one through
// the installation status and leaves the machine as before.
TEST_F(EndToEndTest, ReinstalledVersionUninstallsFromTheEntry) {
  for (int installs : {2, 3}) {
    SCOPED_TRACE(installs);
    const MachineState before = State();
    for (int i = 0; i < installs; ++i) {
      ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                            u"--enable-installer-stats=0"))
          << Logs();
    }
    const std::u16string version = EntryValue(u"DisplayVersion");
    EXPECT_TRUE(base::DirectoryExists(install_folder().Append(
        version + u"_" + base::UTF8ToUTF16(std::to_string(installs - 2)))));
    EXPECT_EQ(0u, Uninstall()) << Logs();
    EXPECT_FALSE(base::PathExists(install_folder()));
    EXPECT_EQ(before, State()) << Logs();
  }
}

// A folder given with trailing separators, as deployments often give it,
// is spelled once in all the installation writes: the entry's command and
// the version's installer.exe uninstall it. (A backslash before a closing
// quote is doubled.)
TEST_F(EndToEndTest, AFolderWithTrailingSeparatorsIsSpelledOnce) {
  const MachineState before = State();
  const std::u16string quoted = Quoted(install_folder());
  for (const char16_t* typed : {u"\\\\", u"\\\\\\\\", u"/"}) {
    SCOPED_TRACE(base::UTF16ToUTF8(typed));
    std::u16string arguments = InstallArguments(u"--enable-installer-stats=0");
    arguments.replace(arguments.find(quoted), quoted.size(),
                      u"\"" + install_folder().value() + typed + u"\"");
    ASSERT_EQ(0u, Run(SamplePath(SampleString("packages.base.full_installer")),
                      arguments))
        << Logs();
    EXPECT_EQ(Quoted(install_folder().Append(u"Launcher.exe")) + u" /uninstall",
              EntryValue(u"UninstallString"));
    const base::FilePath version =
        install_folder().Append(EntryValue(u"DisplayVersion"));
    EXPECT_EQ(0u, typed[0] == u'/' ? Run(version.Append(kPackageInstallerName),
                                         u"--uninstall --silent")
                                   : RunUninstallCommand())
        << Logs();
    WaitUntilGone(install_folder());
    EXPECT_EQ(before, State()) << Logs();
  }
}

// A per-user run follows its user's own links on the way to its folder: a
// profile folder moved elsewhere with a link (with the temporary folder
// reached through it, which still gets the logs), and a drive letter mapped
// onto a folder. Each installation is installed, updated and uninstalled;
// the one on the drive through the folder's own path, which the system
// resolves to the same folder.
TEST_F(EndToEndTest, APerUserRunFollowsItsUsersLinks) {
  const base::FilePath moved = machine().Append(u"moved");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(moved));
  const MachineState before = State();
  for (bool drive : {false, true}) {
    SCOPED_TRACE(drive ? "a mapped drive" : "a linked profile folder");
    base::ScopedUnixLink link;
    base::FilePath profile = work().Append(u"profile");
    if (drive) {
      char16_t letter = u'Y';
      while (letter > u'D' && (::GetLogicalDrives() & (1u << (letter - u'A'))))
        --letter;
      ASSERT_TRUE(link.MakeDrive(letter, moved));
      profile = base::FilePath(std::u16string(1, letter) + u":\\");
    } else {
      ASSERT_TRUE(link.Make(profile, moved));
    }
    set_install_folder(profile.Append(u"Velna Browser"));
    if (drive) {
      ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                            u"--enable-installer-stats=0"))
          << Logs();
    } else {
      const base::FilePath linked_temp = profile.Append(u"temp");
      ASSERT_TRUE(base::FileUtil::CreateDirectory(linked_temp));
      DWORD exit_code = 0xFFFFFFFF;
      std::string output;
      EXPECT_TRUE(base::RunChildProcess(
          Quoted(SamplePath(SampleString("packages.base.full_installer"))) +
              u" " + InstallArguments(u"--enable-installer-stats=0"),
          {{u"TEMP", linked_temp.value()}, {u"TMP", linked_temp.value()}},
          &output, &exit_code, user_token()));
      ASSERT_EQ(0u, exit_code) << Logs();
      EXPECT_TRUE(base::PathExists(moved.Append(u"temp\\Velna Installer")));
      ASSERT_TRUE(base::DeleteFileOrDirectory(moved.Append(u"temp"), true));
    }
    ExpectInstalled("base");
    ASSERT_EQ(0u, Install(SampleString("packages.update.full_installer"),
                          u"--enable-installer-stats=0"))
        << Logs();
    ExpectInstalled("update");
    if (drive) {
      const base::FilePath own = moved.Append(u"Velna Browser");
      EXPECT_EQ(0u, Run(own.Append(EntryValue(u"DisplayVersion"))
                            .Append(kPackageInstallerName),
                        u"--uninstall --silent"))
          << Logs();
      WaitUntilGone(own);
    } else {
      EXPECT_EQ(0u, Uninstall()) << Logs();
    }
    EXPECT_TRUE(Entries().empty()) << Logs();
    EXPECT_EQ(before, State()) << Logs();
    ASSERT_TRUE(link.Remove());
  }
}

// A per-user installation is its user's, who may put a link in place of its
// version folder. An administrator's elevated run over it (an elevated
// prompt, or another user's installation) is known by its token: it
// follows no link whatever the record says, so its uninstall and its update
// leave what the link leads to as it is. Such a run says whether the
// system's redirection guard took; the user's own runs take none. Without
// a desktop shell to start it as, an elevated install starts no browser.
TEST_F(EndToEndTest, AnElevatedRunFollowsNoLinkOfAUsersInstallation) {
  const MachineState before = State();
  // Updated: the older version's folder stays until the next run removes
  // it.
  ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                        u"--enable-installer-stats=0"))
      << Logs();
  const base::FilePath older =
      install_folder().Append(EntryValue(u"DisplayVersion"));
  ASSERT_EQ(0u, Install(SampleString("packages.update.full_installer"),
                        u"--enable-installer-stats=0"))
      << Logs();
  ASSERT_TRUE(base::DirectoryExists(older));
  EXPECT_EQ(std::string::npos, Logs().find("redirection guard")) << Logs();
  const base::FilePath real = older.AddExtension(u"real");
  const base::FilePath victim = work().Append(u"victim");
  ASSERT_TRUE(base::CopyDirectory(older, victim));
  ASSERT_TRUE(base::MoveFileOrDirectory(older, real));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(older, victim));
  const test::FileTreeSnapshot victim_before =
      test::TakeFileTreeSnapshot(victim);

  // Each leaves the older version's files, says so, and succeeds.
  set_elevated(true);
  EXPECT_EQ(0u, Install(SampleString("packages.update.full_installer"),
                        u"--enable-installer-stats=0"))
      << Logs();
  EXPECT_EQ(victim_before, test::TakeFileTreeSnapshot(victim)) << Logs();
  EXPECT_EQ(0u, RunUninstallCommand()) << Logs();
  EXPECT_EQ(victim_before, test::TakeFileTreeSnapshot(victim)) << Logs();
  EXPECT_TRUE(Entries().empty()) << Logs();
  const std::string logs = Logs();
  EXPECT_NE(std::string::npos,
            logs.find("Refusing to remove " + older.AsUTF8() + "\\"))
      << logs;
  EXPECT_NE(std::string::npos, logs.find("redirection guard")) << logs;
  ASSERT_TRUE(link.Remove());
  // What the uninstall could not reach stays for the user.
  ASSERT_TRUE(base::DeleteFileOrDirectory(install_folder(), true));
  EXPECT_EQ(before, State()) << Logs();

  // Elevated, with the browser started at the end; its uninstall then
  // takes the road of a folder others may change.
  set_elevated(true);
  const base::FilePath programs = work().Append(u"programs.log");
  std::u16string arguments = InstallArguments(u"--enable-installer-stats=0");
  arguments.replace(arguments.find(u"--launchbrowser=0"), 17,
                    u"--launchbrowser=1");
  ASSERT_EQ(
      0u, RunCommand(
              Quoted(SamplePath(SampleString("packages.base.full_installer"))) +
                  u" " + arguments,
              nullptr,
              {{base::as_u16cstr(sample::kSampleProgramLogVariable),
                programs.value()}}))
      << Logs();
  EXPECT_EQ("", test::ReadFileContents(programs));
  EXPECT_NE(std::string::npos,
            Logs().find(": this desktop has no shell (a service's session, or "
                        "none runs)"))
      << Logs();
  EXPECT_EQ(0u, Uninstall()) << Logs();
  EXPECT_EQ(before, State()) << Logs();
}

// An administrator's elevated run over a user's installation, the browser
// started at its end, while the user replaces the launcher whenever the run
// writes it: the stand-in runs, if at all, unelevated as the desktop's user,
// from a folder no other account may change. The test system has no desktop
// shell: the probe, run with the user's limited token, takes its window.
TEST_F(EndToEndTest, AnElevatedRunStartsTheBrowserOnlyAsTheDesktopsUser) {
  const base::FilePath probe =
      base::FilePath(u"Z:" + base::UTF8ToUTF16(VELNA_DESKTOP_USER_PROBE))
          .NormalizePathSeparators();
  const size_t stand_in_size = test::ReadFileContents(probe).size();
  const base::FilePath launcher = install_folder().Append(kLauncherFileName);
  const std::string started = "Started \"" + launcher.AsUTF8() + "\"";
  // An install into the user's own empty folder, or an update of the
  // user's installation.
  const struct {
    const char* package;
    bool open;
    const char* ran;
    std::string logged;
  } cases[] = {
      {"base", false, "elevated=0\r\n", started + " --start-maximized as"},
      {"update", false, "elevated=0\r\n", started + " as"},
      {"update", true, "", "may change " + install_folder().AsUTF8() + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged);
    set_elevated(false);
    base::DeleteFileOrDirectory(temp().Append(u"Velna Installer"), true);
    ASSERT_TRUE(base::FileUtil::CreateDirectory(install_folder()));
    if (std::string(c.package) == "update") {
      ASSERT_EQ(0u, Install(SampleString("packages.base.full_installer"),
                            u"--enable-installer-stats=0"))
          << Logs();
    }
    // Wine keeps an access list as the folder's mode bits, and reads them
    // back as such a list.
    EXPECT_TRUE(!c.open || test::SetDaclFromSddl(install_folder().value(),
                                                 SE_FILE_OBJECT,
                                                 u"D:(A;OICI;FA;;;WD)"));
    const std::u16string ready_name =
        u"Local\\VelnaTestShell" + base::UintToString16(GetCurrentProcessId());
    const base::win::ScopedHandle ready(
        CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name)));
    const base::Process shell =
        Start(Quoted(probe) + u" --take-shell-window=" + ready_name + u" " +
              base::UintToString16(GetCurrentProcessId()));
    const HANDLE shell_or_end[] = {ready.Get(), shell.Handle()};
    ASSERT_EQ(WAIT_OBJECT_0,
              WaitForMultipleObjects(2, shell_or_end, FALSE, 60000));
    // The user's watcher: it looks at the launcher without opening it, and
    // puts the stand-in in its place in one rename.
    const base::win::ScopedHandle stop(
        CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE changed = FindFirstChangeNotificationW(
        base::as_wcstr(install_folder().value()), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE);
    std::thread replacer([&] {
      const HANDLE wait[] = {stop.Get(), changed};
      const base::FilePath spare = work().Append(u"stand-in.exe");
      WIN32_FILE_ATTRIBUTE_DATA data;
      while (WaitForMultipleObjects(2, wait, FALSE, INFINITE) == 1) {
        if (GetFileAttributesExW(base::as_wcstr(launcher.value()),
                                 GetFileExInfoStandard, &data) &&
            data.nFileSizeLow != stand_in_size &&
            base::CopyOneFile(probe, spare)) {
          MoveFileExW(base::as_wcstr(spare.value()),
                      base::as_wcstr(launcher.value()),
                      MOVEFILE_REPLACE_EXISTING);
        }
        FindNextChangeNotification(changed);
      }
    });
    set_elevated(true);
    std::u16string arguments = InstallArguments(u"--enable-installer-stats=0");
    arguments.replace(arguments.find(u"--launchbrowser=0"), 17,
                      u"--launchbrowser=1");
    EXPECT_EQ(0u, Run(SamplePath(SampleString(
                          SamplePackageKey(c.package, "full_installer"))),
                      arguments))
        << Logs();
    SetEvent(stop.Get());
    replacer.join();
    FindCloseChangeNotification(changed);
    const base::FilePath ran = launcher.AddExtension(u"ran");
    EXPECT_EQ(c.ran, test::ReadFileContents(ran)) << Logs();
    EXPECT_NE(std::string::npos, Logs().find(c.logged)) << Logs();
    shell.Terminate(0, true);
    // The user's launcher back, for the uninstall entry to run.
    set_elevated(false);
    base::DeleteFileOrDirectory(ran, false);
    ASSERT_TRUE(base::CopyOneFile(
        test::SamplePackageTree(c.package).Append(kLauncherFileName),
        launcher));
    EXPECT_EQ(0u, Uninstall()) << Logs();
  }
}

// --- Installations ended from outside part-way.

// Which run stops for good, where, and what the user does next.
struct Interruption {
  enum class Run {
    // A new install of the base package.
    kInstall,
    // The update package over an installation of the base one.
    kUpdate,
    // The uninstall entry's command over an installation of the base
    // package.
    kUninstall,
  };
  const char* name;
  Run run;
  // The step of the operation's list before which it stops; -1: when it
  // reports success, after the last step's work and before the commit.
  int before_step;
  // Then the same package (the update package after an uninstall) is
  // installed again before the uninstall.
  bool again;
  // Instead of at a step: in the first write of a file whose name starts
  // so, its temporary file written and not yet in place.
  const char* during_write = nullptr;
  // Only the package's backend ends, not the processes that wait for it.
  bool backend_only = false;
  // Then the folder of the version that the status file names is emptied,
  // as an earlier installer ended before that version's files left it.
  bool version_emptied = false;
  // Instead of ending there, the run pauses while the test sets the install
  // folder's InstallationInterrupted event, as the window's cancel does.
  bool interrupted = false;
  // Instead of ending there, the run pauses while the test acts
  // (StoppedRun).
  bool paused = false;
  // Instead of at a step: at the first log line of the backend that holds
  // this text.
  const char* at_log = nullptr;
  // Only the run's own programs end, each on its own: the clean-up batch
  // file it started goes on to its end.
  bool batch_lives = false;
  // What the uninstall leaves then: its record without an entry, or,
  // without either, nothing at all.
  bool entry_gone = false;
  bool all_gone = false;
  // The run stops while it writes its uninstall entry: a part of it may be
  // there, beside the previous version's.
  bool in_entry = false;
  // Then the launcher's "/uninstall" in place of the entry's command.
  bool by_launcher = false;
  // Then the update package is installed before the uninstall.
  bool next_version = false;
  // Instead of at a step: in the first replacement of a file whose name
  // starts so that takes two renames, between them.
  const char* between_renames = nullptr;
  // A first install stopped in the write of its first record: the run had
  // changed nothing else, and no run can know of it by a record.
  bool unrecorded = false;
  // The stopped run goes over an update of the base installation, which
  // keeps the base version for a later run to remove.
  bool over_update = false;
  // Then the entry's uninstall is first stopped where this run was.
  bool stopped_twice = false;
  // The uninstall (the stopped run, when it is one) and every run after it
  // are an administrator's elevated ones: the user's installation, which
  // others may change, goes on the road of a folder open to others.
  bool elevated = false;
  // Then the "/uninstall" of the installer of the version the record names.
  bool by_installer = false;
  // A first install stopped in its launcher's copy: there is no launcher.
  bool no_launcher = false;
};

void PrintTo(const Interruption& interruption, std::ostream* out) {
  *out << interruption.name;
}

// The engine in the test host is the front end and, copied into the
// sample package as its "installer.exe", the package's backend and later
// the installed installer that the uninstall runs; the package's other
// files are the sample's. Its seams stop the backend (or the uninstaller)
// at the chosen point (installer_test_host.h), where the test then ends
// every process of the run at once (a job), as a power cut or a task
// manager would.
class InterruptedInstallTest
    : public EndToEndTest,
      public testing::WithParamInterface<Interruption> {
 protected:
  // The front end's exit code when it was ended from outside.
  static constexpr DWORD kEnded = 9;

  void SetUp() override {
    EndToEndTest::SetUp();
    const std::u16string unique =
        base::UTF8ToUTF16(std::to_string(::GetCurrentProcessId()) + "_" +
                          std::to_string(::GetTickCount()));
    stopped_name_ = u"Local\\velna_test_stopped_" + unique;
    ready_name_ = u"Local\\velna_test_ready_" + unique;
    resume_name_ = u"Local\\velna_test_resume_" + unique;
    stopped_.Set(
        ::CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(stopped_name_)));
    // The package is ready at once.
    ready_.Set(
        ::CreateEventW(nullptr, TRUE, TRUE, base::as_wcstr(ready_name_)));
    resume_.Set(
        ::CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(resume_name_)));
    ASSERT_TRUE(stopped_.IsValid() && ready_.IsValid() && resume_.IsValid());
    seams_ = temp().Append(u"seams.json");
    ::SetEnvironmentVariableW(test::kHostSeamsVariable,
                              base::as_wcstr(seams_.value()));
  }

  void TearDown() override {
    ::SetEnvironmentVariableW(test::kHostSeamsVariable, nullptr);
    EndToEndTest::TearDown();
  }

  // The tree of |package| with the test host as its installer.
  base::FilePath Package(const std::string& package) {
    const base::FilePath source = temp().AppendASCII("package_" + package);
    if (!base::DirectoryExists(source)) {
      EXPECT_TRUE(
          base::CopyDirectory(test::SamplePackageTree(package), source));
      EXPECT_TRUE(
          base::CopyOneFile(Host(), source.Append(kPackageInstallerName)));
    }
    return source;
  }

  // What every process of the next run reads: |package| (its version
  // through the branding) and, with |stop|, where it stops.
  void WriteSeams(const std::string& package, const Interruption* stop) {
    base::DictionaryValue seams;
    auto branding = std::make_unique<base::DictionaryValue>();
    branding->SetInteger("major_delta", BrandingConfig::GetMajorDelta() +
                                            (package == "update" ? 1 : 0));
    seams.Set("branding", std::move(branding));
    auto source = std::make_unique<base::DictionaryValue>();
    source->SetString("source", Package(package).value());
    source->SetString("ready_event", ready_name_);
    seams.Set("package", std::move(source));
    if (stop) {
      auto point = std::make_unique<base::DictionaryValue>();
      point->SetString("event", stopped_name_);
      if (stop->during_write)
        point->SetString("during_write", stop->during_write);
      else if (stop->between_renames)
        point->SetString("between_renames", stop->between_renames);
      else if (stop->at_log)
        point->SetString("at_log", stop->at_log);
      else if (stop->before_step < 0)
        point->SetBoolean("at_success", true);
      else
        point->SetInteger("before_step", stop->before_step);
      if (stop->interrupted || stop->paused)
        point->SetString("resume_event", resume_name_);
      seams.Set("stop", std::move(point));
    }
    if (!folder_security_.empty())
      seams.SetString("folder_security", folder_security_.value());
    if (!compressed_.empty()) seams.SetString("compressed", compressed_);
    std::string json;
    ASSERT_TRUE(base::JSONWriter::Write(seams, &json));
    ASSERT_EQ(static_cast<int>(json.size()),
              base::WriteBufferToFile(seams_, json.data(),
                                      static_cast<int>(json.size())));
  }

  // From the next WriteSeams on, the access lists the processes give
  // folders are recorded in |record| (RecordedFolderSecurity).
  void set_folder_security(const base::FilePath& record) {
    folder_security_ = record;
  }
  // From the next WriteSeams on, files whose names begin with |name| read
  // as files the system keeps compressed.
  void set_compressed(const std::u16string& name) { compressed_ = name; }

  // A silent install of |package| with the host as the front end; the
  // front end's exit code.
  DWORD HostInstall(const std::string& package) {
    WriteSeams(package, nullptr);
    return Run(Host(), InstallArguments(u"--enable-installer-stats=0"));
  }

  // An elevated install of the base package for all users into a folder
  // that only administrators may change (its access lists recorded in
  // |record|, the levels above it the system's, as on Windows); the front
  // end's exit code.
  DWORD HostInstallForAllUsers(test::RecordedFolderSecurity* security,
                               const base::FilePath& record) {
    set_elevated(true);
    if (!security->ProtectLevelsAbove(install_folder())) return 0xFFFFFFFF;
    set_folder_security(record);
    WriteSeams("base", nullptr);
    std::u16string arguments = InstallArguments(u"--enable-installer-stats=0");
    arguments.replace(arguments.find(u"--allusers=0"), 12, u"--allusers=1");
    return Run(Host(), arguments);
  }

  // The command of the machine's uninstall entry for the install folder;
  // empty when there is none.
  std::u16string MachineUninstallCommand() const {
    base::win::RegKey root(HKEY_LOCAL_MACHINE, test::kUninstallRoot, KEY_READ);
    wchar_t name[256];
    for (DWORD i = 0; root.Valid(); ++i) {
      DWORD length = std::size(name);
      if (RegEnumKeyExW(root.Handle(), i, name, &length, nullptr, nullptr,
                        nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      base::win::RegKey key(HKEY_LOCAL_MACHINE,
                            (std::u16string(test::kUninstallRoot) + u"\\" +
                             base::as_u16cstr(name))
                                .c_str(),
                            KEY_READ);
      std::u16string location;
      std::u16string command;
      if (key.ReadValue(u"InstallLocation", &location) == ERROR_SUCCESS &&
          base::FilePath::CompareIgnoreCase(location,
                                            install_folder().value()) == 0 &&
          key.ReadValue(u"UninstallString", &command) == ERROR_SUCCESS) {
        return command;
      }
    }
    return std::u16string();
  }

  // The clean-up batch file the last log of the test's runs names.
  base::FilePath LastBatchFile() const {
    const std::string logs = Logs();
    const std::string written = "Wrote the clean-up batch file ";
    const size_t at = logs.rfind(written);
    if (at == std::string::npos) return base::FilePath();
    const size_t start = at + written.size();
    return base::FilePath(base::UTF8ToUTF16(
        logs.substr(start, logs.find_first_of("\r\n", start) - start)));
  }

  // Runs |command| until the run stops at |stop|: then every process of
  // the run ends (or the package's backend alone, and the front end is
  // waited for), or, where |stop| pauses or interrupts it, |paused| runs
  // and the run goes on. The exit code of the process |command| started.
  DWORD StoppedRun(const std::u16string& command, const Interruption& stop,
                   const std::function<void()>& paused = nullptr) {
    ScopedTempVariables temp_variables(temp());
    base::win::ScopedHandle job(::CreateJobObjectW(nullptr, nullptr));
    EXPECT_TRUE(job.IsValid());
    // Set by a run stopped before.
    ::ResetEvent(stopped_.Get());
    ::ResetEvent(resume_.Get());
    base::Process started = Start(command, job.Get());
    EXPECT_TRUE(started.IsValid());
    const HANDLE handles[] = {stopped_.Get(), started.Handle()};
    EXPECT_EQ(WAIT_OBJECT_0,
              ::WaitForMultipleObjects(2, handles, FALSE, 120000))
        << "the run did not stop";
    int exit_code = -1;
    if (stop.interrupted || stop.paused) {
      // Open until the run ends, which may look for it late.
      base::win::ScopedHandle interrupt;
      if (stop.interrupted) {
        interrupt.Set(::CreateEventW(
            nullptr, TRUE, FALSE,
            base::as_wcstr(MakeKernelObjectName(
                install_folder().value(), kInstallationInterruptedEvent,
                true))));
        EXPECT_TRUE(::SetEvent(interrupt.Get()));
      }
      if (paused) paused();
      EXPECT_TRUE(::SetEvent(resume_.Get()));
      EXPECT_TRUE(started.WaitForExitWithTimeout(120000, &exit_code));
      return static_cast<DWORD>(exit_code);
    }
    if (stop.backend_only) {
      base::Process backend =
          FindPackageBackend(temp().Append(u"Velna Installer"));
      EXPECT_TRUE(backend.IsValid());
      EXPECT_TRUE(backend.Terminate(kEnded, true));
      EXPECT_TRUE(started.WaitForExitWithTimeout(60000, &exit_code));
      return static_cast<DWORD>(exit_code);
    }
    if (stop.batch_lives) {
      EndAllButSystemPrograms(job.Get());
    } else {
      EXPECT_TRUE(::TerminateJobObject(job.Get(), kEnded));
    }
    // Nothing of the run goes on when the next one begins: the batch file
    // tries a file in use for half a minute at most.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    for (int waited = 0; waited < 120000; waited += 50) {
      if (::QueryInformationJobObject(
              job.Get(), JobObjectBasicAccountingInformation, &accounting,
              sizeof(accounting), nullptr) &&
          accounting.ActiveProcesses == 0) {
        break;
      }
      ::Sleep(50);
    }
    EXPECT_EQ(0u, accounting.ActiveProcesses);
    EXPECT_TRUE(started.WaitForExitWithTimeout(10000, &exit_code));
    return static_cast<DWORD>(exit_code);
  }

  // Ends every process of |job| but the system's own programs (the
  // command interpreter of a batch file and what it runs).
  static void EndAllButSystemPrograms(HANDLE job) {
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    const base::FilePath system_folder(base::as_u16cstr(system));
    struct {
      JOBOBJECT_BASIC_PROCESS_ID_LIST list;
      ULONG_PTR more[255];
    } ids = {};
    ids.list.NumberOfAssignedProcesses = 256;
    ASSERT_TRUE(::QueryInformationJobObject(job, JobObjectBasicProcessIdList,
                                            &ids, sizeof(ids), nullptr));
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
      base::win::ScopedHandle process(
          ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION,
                        FALSE, static_cast<DWORD>(ids.list.ProcessIdList[i])));
      wchar_t image[MAX_PATH] = {};
      DWORD size = MAX_PATH;
      if (!process.IsValid() ||
          !::QueryFullProcessImageNameW(process.Get(), 0, image, &size)) {
        continue;
      }
      if (base::FilePath::CompareIgnoreCase(
              base::FilePath(base::as_u16cstr(image)).DirName().value(),
              system_folder.value()) != 0) {
        ::TerminateProcess(process.Get(), kEnded);
      }
    }
  }

  // The install folder's record; false when it does not read.
  bool ReadRecord(InstallLog* record) {
    base::win::ScopedComInitializer com;
    XmlDocument document;
    return ReadInstallLogFromFolder(&document, record, install_folder());
  }

  // The uninstall as the user would start it: from the uninstall entry
  // when there is one with a command (unless |by_launcher|), else the
  // launcher in the install folder; with |by_installer|, the installer of
  // the version the record names. Waits until the install folder is gone;
  // the command's exit code.
  DWORD UninstallWhatIsThere(bool by_launcher = false,
                             bool by_installer = false) {
    InstallLog record;
    base::FilePath program = install_folder().Append(kLauncherFileName);
    if (by_installer && ReadRecord(&record)) {
      program = install_folder()
                    .Append(record.subfolder)
                    .Append(kPackageInstallerName);
    } else if (!by_launcher && !EntryValue(u"UninstallString").empty()) {
      return Uninstall();
    }
    const DWORD exit_code =
        RunCommand(Quoted(program) + u" /uninstall --silent");
    WaitUntilGone(install_folder());
    return exit_code;
  }

  // The launcher started as a shortcut starts it: the folder of the
  // browser it started, empty when it started none.
  base::FilePath LaunchedBrowserFolder() {
    // None to start: the uninstall has taken it, or an install not made it.
    if (!base::PathExists(install_folder().Append(kLauncherFileName)))
      return base::FilePath();
    const base::FilePath log = work().Append(u"programs.log");
    base::DeleteFileOrDirectory(log, false);
    const DWORD exit_code = RunCommand(
        Quoted(install_folder().Append(kLauncherFileName)), nullptr,
        {{base::as_u16cstr(sample::kSampleProgramLogVariable), log.value()}});
    std::string started;
    base::FileUtil::ReadFileToString(log, &started);
    const std::string prefix = "browser started: ";
    const size_t at = started.find(prefix);
    EXPECT_EQ(at == std::string::npos ? 1u : 0u, exit_code) << started;
    if (at == std::string::npos) return base::FilePath();
    const size_t end = started.find("\r\n", at);
    return base::FilePath(base::UTF8ToUTF16(started.substr(
                              at + prefix.size(), end - at - prefix.size())))
        .DirName();
  }

  // Files of the user's in the install folder whose names are like those
  // the installer's writers and copies give their temporary and aside files;
  // also in "old_status" when it is there.
  std::vector<base::FilePath> PlantUserFiles() {
    std::vector<base::FilePath> files;
    for (const char16_t* name :
         {u"notes.tmp", u"12345.tmp", u"cafe.tmp", u"1A2B.tmp",
          u"launcher.exe.old", u"launcher.exe.bak.1700000000.old",
          u"bookmarks.html.1700000000.old", u"user\\1A2B.tmp",
          u"notes.txt.1A2B.tmp"}) {
      files.push_back(install_folder().Append(name));
    }
    const base::FilePath old_status =
        install_folder().Append(kOldStatusFolderName);
    if (base::DirectoryExists(old_status)) {
      for (const char16_t* name : {u"notes.xml.1700000000.old", u"CAFE.tmp"})
        files.push_back(old_status.Append(name));
    }
    for (const base::FilePath& file : files) {
      EXPECT_TRUE(base::FileUtil::CreateDirectory(file.DirName()));
      EXPECT_TRUE(test::WriteTextFile(file, "the user's"));
    }
    return files;
  }

  // The files below the install folder, other than |users|, named as the
  // installer's writers and copies name their temporary files
  // ("<name>.<hex>.tmp", or an earlier writer's "<hex>.tmp") and what they
  // keep aside ("<name>.<seconds>.old").
  std::vector<base::FilePath> LeftoversOfCutRuns(
      const std::vector<base::FilePath>& users = {}) {
    std::vector<base::FilePath> leftovers;
    base::FileEnumerator files(install_folder(), true,
                               base::FileEnumerator::FILES);
    for (base::FilePath file = files.Next(); !file.empty();
         file = files.Next()) {
      const std::u16string name = file.BaseName().value();
      const size_t end = name.size() - std::min<size_t>(name.size(), 4);
      const size_t dot = end > 0 ? name.rfind(u'.', end - 1) : name.npos;
      const bool aside =
          base::EndsWith16(name, u".old",
                           base::CompareCase::INSENSITIVE_ASCII) &&
          dot != name.npos && dot + 1 < end &&
          std::all_of(name.begin() + dot + 1, name.begin() + end,
                      [](char16_t c) { return c >= u'0' && c <= u'9'; });
      if ((aside || base::IsTemporaryFileName(name) ||
           base::IsTemporaryFileNameOf(name, nullptr)) &&
          std::find(users.begin(), users.end(), file) == users.end()) {
        leftovers.push_back(file);
      }
    }
    return leftovers;
  }

  // The uninstall of AnAllUsersUninstallFollowsNoLink, of an installation
  // on the system drive or, with |other_drive|, on a drive of its own.
  void UninstallFollowsNoLink(bool other_drive);

  // Whether |folder| holds every versioned file of |package| as the
  // package has it (its installer: the test host).
  static bool HoldsVersion(const base::FilePath& folder,
                           const std::string& package) {
    const base::FilePath tree = test::SamplePackageTree(package);
    for (const std::string& file :
         test::SampleList(SamplePackageKey(package, "files"))) {
      const std::u16string name = base::UTF8ToUTF16(file);
      const base::FilePath installed = folder.Append(name);
      if (name == kPackageInstallerName
              ? !base::PathExists(installed)
              : test::ReadFileContents(installed) !=
                    test::ReadFileContents(tree.Append(name))) {
        return false;
      }
    }
    return true;
  }

 private:
  base::FilePath seams_;
  std::u16string compressed_;
  base::FilePath folder_security_;
  std::u16string stopped_name_;
  std::u16string ready_name_;
  std::u16string resume_name_;
  base::win::ScopedHandle stopped_;
  base::win::ScopedHandle ready_;
  base::win::ScopedHandle resume_;
};

// After the stop: the launcher starts the browser of a complete version
// (an install or update) or none (an uninstall that began to remove it);
// the system lists the installation (an update or uninstall) and its
// uninstall, or an install of the same package (of the update after an
// uninstall) and then the uninstall, leaves the machine as before the
// first install.
TEST_P(InterruptedInstallTest, LeavesARecordThatTheNextRunActsOn) {
  using Run = Interruption::Run;
  const Interruption& interruption = GetParam();
  const MachineState before = State();
  if (interruption.run != Run::kInstall) {
    ASSERT_EQ(0u, HostInstall("base")) << Logs();
  }
  if (interruption.over_update) {
    ASSERT_EQ(0u, HostInstall("update")) << Logs();
  }
  const std::string package =
      interruption.run == Run::kInstall ? "base" : "update";
  const bool uninstall = interruption.run == Run::kUninstall;
  if (interruption.elevated && uninstall) set_elevated(true);
  WriteSeams(uninstall && !interruption.over_update ? "base" : package,
             &interruption);
  EXPECT_NE(
      0u, StoppedRun(uninstall
                         ? EntryValue(u"UninstallString") + u" --silent"
                         : Quoted(Host()) + u" " +
                               InstallArguments(u"--enable-installer-stats=0"),
                     interruption))
      << Logs();

  if (interruption.interrupted) {
    // The backend undid what it did; the front end failed.
    EXPECT_NE(std::string::npos, Logs().find("nterrupt")) << Logs();
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(before, State()) << Logs();
    return;
  }
  if (interruption.backend_only) {
    // The backend that waited for it removed what it did in the folder it
    // made, with what the record lists outside the folder.
    EXPECT_TRUE(base::FileEnumerator(install_folder(), false,
                                     base::FileEnumerator::FILES |
                                         base::FileEnumerator::DIRECTORIES)
                    .Next()
                    .empty())
        << Logs();
    EXPECT_TRUE(Entries().empty());
    ASSERT_TRUE(base::DeleteFileOrDirectory(install_folder(), false));
    EXPECT_EQ(before, State()) << Logs();
    return;
  }
  if (interruption.all_gone) {
    // The batch file removed what was in use once the run had ended.
    EXPECT_FALSE(base::PathExists(install_folder())) << Logs();
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(before, State()) << Logs();
    return;
  }
  if (interruption.during_write) {
    // Where a kill leaves the writer's temporary file.
    std::vector<base::FilePath> temporary;
    for (const base::FilePath& folder :
         {install_folder(), install_folder().Append(kOldStatusFolderName)}) {
      base::FileEnumerator files(folder, false, base::FileEnumerator::FILES,
                                 u"*.tmp");
      for (base::FilePath file = files.Next(); !file.empty();
           file = files.Next()) {
        const std::u16string name = file.BaseName().value();
        if (base::IsTemporaryFileName(name) ||
            base::IsTemporaryFileNameOf(name, nullptr)) {
          temporary.push_back(file);
        }
      }
    }
    EXPECT_EQ(1u, temporary.size()) << Logs();
  }
  InstallLog record;
  if (interruption.unrecorded) {
    EXPECT_FALSE(ReadRecord(&record)) << Logs();
    EXPECT_FALSE(base::PathExists(install_folder().Append(kLauncherFileName)));
    EXPECT_TRUE(Entries().empty()) << Logs();
  } else {
    EXPECT_TRUE(ReadRecord(&record)) << Logs();
    const base::FilePath named = install_folder().Append(record.subfolder);
    if (interruption.version_emptied) {
      ASSERT_TRUE(base::DeleteFileOrDirectory(named, true));
      ASSERT_TRUE(base::FileUtil::CreateDirectory(named));
    }
    const base::FilePath browser = LaunchedBrowserFolder();
    if ((uninstall && !interruption.during_write) || interruption.no_launcher) {
      EXPECT_EQ(base::FilePath(), browser) << Logs();
    } else if (interruption.version_emptied) {
      // The previous version, which the status file kept in "old_status".
      EXPECT_TRUE(HoldsVersion(browser, "base")) << browser << "\n" << Logs();
    } else {
      // The status file, which the launcher and the uninstall entry go by,
      // names a complete version, whose browser starts.
      EXPECT_TRUE(HoldsVersion(named, "base") || HoldsVersion(named, package))
          << named << "\n"
          << Logs();
      EXPECT_EQ(named, browser) << Logs();
    }
    if (interruption.run != Run::kInstall && !interruption.in_entry) {
      EXPECT_EQ(interruption.entry_gone ? 0u : 1u, Entries().size()) << Logs();
    }
  }

  if (interruption.elevated) set_elevated(true);
  if (interruption.stopped_twice) {
    WriteSeams(package, &interruption);
    EXPECT_NE(0u, StoppedRun(EntryValue(u"UninstallString") + u" --silent",
                             interruption))
        << Logs();
  }
  WriteSeams(package, nullptr);
  if (interruption.again || interruption.next_version) {
    const std::string next = interruption.next_version ? "update" : package;
    const std::vector<base::FilePath> users = PlantUserFiles();
    ASSERT_EQ(0u, HostInstall(next)) << Logs();
    ASSERT_TRUE(ReadRecord(&record)) << Logs();
    EXPECT_TRUE(record.complete);
    // One entry, named after the version as a first install names it: one
    // that a stopped run wrote in part is taken over, not left to push the
    // new one to another name.
    EXPECT_EQ(
        std::vector<std::u16string>{
            std::u16string(test::kUninstallRoot) + u"\\" +
            base::UTF8ToUTF16(VersionInfo::GetProductName() + " " +
                              record.version)},
        Entries())
        << Logs();
    const base::FilePath updated = LaunchedBrowserFolder();
    EXPECT_TRUE(HoldsVersion(updated, next)) << updated;
    // What the stopped run left aside or half-written went; the user's
    // files of like names stay.
    EXPECT_EQ(std::vector<base::FilePath>(), LeftoversOfCutRuns(users))
        << Logs();
    for (const base::FilePath& file : users) {
      EXPECT_TRUE(base::PathExists(file)) << file;
      base::DeleteFileOrDirectory(file, false);
    }
    base::DeleteFileOrDirectory(install_folder().Append(u"user"), false);
  }
  EXPECT_EQ(0u, UninstallWhatIsThere(interruption.by_launcher,
                                     interruption.by_installer))
      << Logs();
  EXPECT_TRUE(Entries().empty()) << Logs();
  EXPECT_FALSE(base::PathExists(install_folder())) << Logs();
  EXPECT_EQ(before, State()) << Logs();
}

// An update while the launcher runs, as it does while the browser runs:
// the system refuses to replace a program that runs, so the update moves it
// aside and the new one into its place, two renames with nothing between
// them. Cut between the two, it leaves no launcher; the next run of an
// installer over the folder, the update again or the installed version's
// "installer.exe --uninstall", puts it back before anything else (stopped
// at its first step, the launcher is there), and either then completes,
// leaving nothing of the cut run behind; so does the version's uninstall
// run at once, which finds the shortcuts to the launcher it puts back.
TEST_F(InterruptedInstallTest, ALauncherCutBetweenItsRenamesComesBackFirst) {
  for (int road = 0; road < 4; ++road) {
    const bool uninstall = road == 1 || road == 2;
    const bool at_once = road == 2;
    // Kept compressed by the system: a reparse point, but no link.
    set_compressed(road == 3 ? u"launcher.exe" : u"");
    SCOPED_TRACE(road == 3   ? "the update again, compressed"
                 : at_once   ? "the version's uninstall at once"
                 : uninstall ? "the version's uninstall"
                             : "the update again");
    const MachineState before = State();
    ASSERT_EQ(0u, HostInstall("base")) << Logs();
    const base::FilePath launcher = install_folder().Append(kLauncherFileName);
    const std::string previous = test::ReadFileContents(launcher);
    // Started and held where it begins: its program is in use.
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    std::u16string command = Quoted(launcher);
    ASSERT_TRUE(::CreateProcessW(base::as_wcstr(launcher.value()),
                                 base::as_writable_wcstr(command), nullptr,
                                 nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                                 nullptr, &startup, &started));
    ::CloseHandle(started.hThread);
    base::Process running(started.hProcess);

    const Interruption cut = {.name = "between the renames",
                              .run = Interruption::Run::kUpdate,
                              .between_renames = "launcher.exe"};
    WriteSeams("update", &cut);
    EXPECT_NE(0u,
              StoppedRun(Quoted(Host()) + u" " +
                             InstallArguments(u"--enable-installer-stats=0"),
                         cut))
        << Logs();
    EXPECT_FALSE(base::PathExists(launcher)) << Logs();
    InstallLog record;
    ASSERT_TRUE(ReadRecord(&record)) << Logs();
    const base::FilePath installer =
        install_folder().Append(record.subfolder).Append(kPackageInstallerName);
    const std::u16string next =
        uninstall ? Quoted(installer) + u" --uninstall --silent"
                  : Quoted(Host()) + u" " +
                        InstallArguments(u"--enable-installer-stats=0");

    const Interruption first = {.name = "at the first step",
                                .run = uninstall ? Interruption::Run::kUninstall
                                                 : Interruption::Run::kUpdate,
                                .before_step = 0};
    if (!at_once) {
      WriteSeams("update", &first);
      EXPECT_NE(0u, StoppedRun(next, first)) << Logs();
      EXPECT_EQ(previous, test::ReadFileContents(launcher)) << Logs();
    }
    EXPECT_TRUE(running.Terminate(0, true));

    WriteSeams("update", nullptr);
    if (uninstall) {
      EXPECT_EQ(0u, Run(installer, u"--uninstall --silent")) << Logs();
      WaitUntilGone(install_folder());
    } else {
      ASSERT_EQ(0u, HostInstall("update")) << Logs();
      EXPECT_EQ(
          test::ReadFileContents(Package("update").Append(kLauncherFileName)),
          test::ReadFileContents(launcher));
      EXPECT_EQ(std::vector<base::FilePath>(), LeftoversOfCutRuns()) << Logs();
      EXPECT_EQ(1u, Entries().size()) << Logs();
      EXPECT_EQ(0u, Uninstall()) << Logs();
    }
    EXPECT_TRUE(Entries().empty()) << Logs();
    EXPECT_FALSE(base::PathExists(install_folder())) << Logs();
    EXPECT_EQ(before, State()) << Logs();
  }
}

// The launcher starts only a version whose files are all there, whatever
// its record says: an installation updated from the base package, with the
// updated version's browser and two files of the version the update kept
// gone, as an uninstallation ended part-way or a damaged disk leaves them,
// starts nothing; with the updated browser back it starts that version, and
// with one of its files gone the kept version once that is whole again.
TEST_F(InterruptedInstallTest, TheLauncherStartsOnlyAWholeVersion) {
  const MachineState before = State();
  ASSERT_EQ(0u, HostInstall("base")) << Logs();
  InstallLog record;
  ASSERT_TRUE(ReadRecord(&record));
  const base::FilePath kept = install_folder().Append(record.subfolder);
  ASSERT_EQ(0u, HostInstall("update")) << Logs();
  ASSERT_TRUE(ReadRecord(&record));
  const base::FilePath updated = install_folder().Append(record.subfolder);
  ASSERT_NE(kept, updated);
  const std::u16string browser =
      base::UTF8ToUTF16(SampleString("browser_executable"));
  const base::FilePath gone[] = {updated.Append(browser),
                                 kept.Append(kPackageInstallerName),
                                 kept.Append(u"resources\\engine.pak")};
  for (const base::FilePath& file : gone)
    ASSERT_TRUE(base::MoveFileOrDirectory(
        file, work().Append(file.BaseName().value())));

  EXPECT_EQ(base::FilePath(), LaunchedBrowserFolder());
  std::string said;
  base::FileUtil::ReadFileToString(
      temp()
          .Append(GetInstallerFolderName())
          .AppendASCII(FormatWithProductName("%s_launcher.log", true)),
      &said);
  EXPECT_NE(std::string::npos,
            said.find("Not starting the browser: The installed version has no "
                      "browser: " +
                      updated.Append(browser).AsUTF8() +
                      "; no version the installer kept is whole"))
      << said;

  ASSERT_TRUE(base::MoveFileOrDirectory(work().Append(browser), gone[0]));
  EXPECT_EQ(updated, LaunchedBrowserFolder());
  const base::FilePath pak = updated.Append(u"resources\\engine.pak");
  ASSERT_TRUE(base::MoveFileOrDirectory(pak, work().Append(u"updated.pak")));
  EXPECT_EQ(base::FilePath(), LaunchedBrowserFolder());
  for (int i = 1; i < 3; ++i) {
    ASSERT_TRUE(base::MoveFileOrDirectory(
        work().Append(gone[i].BaseName().value()), gone[i]));
  }
  EXPECT_EQ(kept, LaunchedBrowserFolder());

  ASSERT_TRUE(base::MoveFileOrDirectory(work().Append(u"updated.pak"), pak));
  EXPECT_EQ(0u, Uninstall()) << Logs();
  EXPECT_FALSE(base::PathExists(install_folder())) << Logs();
  EXPECT_EQ(before, State()) << Logs();
}

// A status file cut short after an update (a damaged disk) does not read:
// the uninstall entry's command still removes the version it named, that
// version's entry and files with the rest, and an update over it leaves one
// entry and a status the uninstall then goes by.
TEST_F(InterruptedInstallTest, ADamagedStatusIsUninstalledOrUpdatedWhole) {
  for (bool update_first : {false, true}) {
    SCOPED_TRACE(update_first ? "updated, then uninstalled" : "uninstalled");
    const MachineState before = State();
    ASSERT_EQ(0u, HostInstall("base")) << Logs();
    ASSERT_EQ(0u, HostInstall("update")) << Logs();
    ASSERT_EQ(1u, Entries().size());
    const base::FilePath status = install_folder().Append(kInstallLogFileName);
    const std::string text = test::ReadFileContents(status);
    ASSERT_GT(text.size(), 900u);
    ASSERT_EQ(900, base::WriteBufferToFile(status, text.data(), 900));
    InstallLog record;
    EXPECT_FALSE(ReadRecord(&record));
    if (update_first) {
      ASSERT_EQ(0u, HostInstall("update")) << Logs();
      EXPECT_EQ(1u, Entries().size()) << Logs();
      ASSERT_TRUE(ReadRecord(&record));
      EXPECT_TRUE(record.complete);
      EXPECT_TRUE(
          HoldsVersion(install_folder().Append(record.subfolder), "update"));
    }
    EXPECT_EQ(0u, Uninstall()) << Logs();
    EXPECT_TRUE(Entries().empty()) << Logs();
    EXPECT_FALSE(base::PathExists(install_folder())) << Logs();
    EXPECT_EQ(before, State()) << Logs();
  }
}

// The product's keys of the machine, which an install for all users writes.
std::vector<test::RegistryLocation> MachineProductKeys() {
  std::vector<test::RegistryLocation> keys = test::ProductRegistryKeys();
  for (test::RegistryLocation& key : keys) key.first = HKEY_LOCAL_MACHINE;
  return keys;
}

// A folder an older installer protected in place keeps the folders its
// users made in it before: an update for all users judges each as it
// judges the install folder. One that holds anything is refused before any
// change, with that folder named, and nothing is written into it.
TEST_F(InterruptedInstallTest, AnAllUsersUpdateTakesNoFolderAUserMadeInIt) {
  set_elevated(true);
  test::ScopedRegistryRestore machine_keys(MachineProductKeys());
  const base::FilePath record = work().Append(u"security.txt");
  test::RecordedFolderSecurity security(record);
  ASSERT_TRUE(security.ProtectLevelsAbove(install_folder()));
  set_folder_security(record);
  WriteSeams("base", nullptr);
  std::u16string arguments = InstallArguments(u"--enable-installer-stats=0");
  arguments.replace(arguments.find(u"--allusers=0"), 12, u"--allusers=1");
  ASSERT_EQ(0u, Run(Host(), arguments)) << Logs();
  const base::FilePath users = install_folder().Append(kOldStatusFolderName);
  ASSERT_FALSE(base::PathExists(users));
  ASSERT_TRUE(security.Create(
      users,
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)"));
  ASSERT_TRUE(test::WriteTextFile(users.Append(u"userenv.dll"), "x"));
  const test::FileTreeSnapshot before = test::TakeFileTreeSnapshot(machine());
  const test::RegistryState machine_before = machine_keys.TakeState(true);
  WriteSeams("update", nullptr);

  EXPECT_EQ(1u, Run(Host(), arguments)) << Logs();
  EXPECT_EQ(before, test::TakeFileTreeSnapshot(machine()));
  EXPECT_EQ(machine_before, machine_keys.TakeState(true));
  const std::string logs = Logs();
  EXPECT_NE(std::string::npos,
            logs.find("Other users may change " + users.AsUTF8() +
                      ": not installing for all users in it"))
      << logs;
}

// Any user may make a folder in a drive's root and fill it before an
// administrator installs there for all users: with a record (for all
// users, no registry key) that lists a root file through a link to another
// folder, and a library beside where the launcher goes. The elevated run
// takes nothing from it: it is refused before any change, with the folder
// named, and the folder the link leads to keeps what it holds.
TEST_F(InterruptedInstallTest, AnAllUsersRunTakesNoFolderAUserFilled) {
  set_elevated(true);
  test::ScopedRegistryRestore machine_keys(MachineProductKeys());
  const base::FilePath record = work().Append(u"security.txt");
  test::RecordedFolderSecurity security(record);
  ASSERT_TRUE(security.ProtectLevelsAbove(install_folder()));
  // Owned by the user, who may change it.
  const std::u16string open =
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)";
  ASSERT_TRUE(security.Create(install_folder(), open));
  const base::FilePath victim = work().Append(u"victim");
  ASSERT_TRUE(test::WriteTextFile(victim.Append(u"secret.txt"), "secret"));
  {
    base::win::ScopedComInitializer com;
    InstallLog planted = test::MakeInstallLog(install_folder(), true);
    planted.root_files = {u"J\\secret.txt"};
    ASSERT_TRUE(test::WriteInstallationLog(install_folder(), planted, false));
  }
  ASSERT_TRUE(
      test::WriteTextFile(install_folder().Append(u"userenv.dll"), "x"));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(install_folder().Append(u"J"), victim));
  const test::FileTreeSnapshot filled = test::TakeFileTreeSnapshot(machine());
  const test::RegistryState machine_before = machine_keys.TakeState(true);
  set_folder_security(record);
  WriteSeams("base", nullptr);
  std::u16string arguments = InstallArguments(u"--enable-installer-stats=0");
  arguments.replace(arguments.find(u"--allusers=0"), 12, u"--allusers=1");

  EXPECT_EQ(1u, Run(Host(), arguments)) << Logs();
  EXPECT_EQ("secret", test::ReadFileContents(victim.Append(u"secret.txt")));
  EXPECT_EQ(filled, test::TakeFileTreeSnapshot(machine()));
  EXPECT_EQ(std::vector<std::u16string>{open},
            test::RecordedFolderSecurity::History(record, install_folder()));
  EXPECT_EQ(machine_before, machine_keys.TakeState(true));
  const std::string logs = Logs();
  EXPECT_NE(std::string::npos,
            logs.find("Other users may change " + install_folder().AsUTF8() +
                      ": not installing for all users in it"))
      << logs;
  EXPECT_EQ(std::string::npos, logs.find("J\\secret.txt")) << logs;
  ASSERT_TRUE(link.Remove());
}

// The front end hands its backend the choices it took from the record in
// the install folder with the rest, marked as such. A backend that makes
// the folder anew (the record gone once the front end had read it, as
// anyone who may change the folder could do) drops them: the installation
// gets the command line's choices and the defaults, as any new one.
TEST_F(InterruptedInstallTest, AFolderMadeAnewDropsWhatTheFrontEndRead) {
  set_elevated(true);
  test::ScopedRegistryRestore machine_keys(MachineProductKeys());
  const base::FilePath record = work().Append(u"security.txt");
  test::RecordedFolderSecurity security(record);
  ASSERT_TRUE(security.ProtectLevelsAbove(install_folder()));
  ASSERT_TRUE(security.Create(
      install_folder(),
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)"));
  {
    base::win::ScopedComInitializer com;
    ASSERT_TRUE(test::WriteInstallationLog(
        install_folder(), test::MakeInstallLog(install_folder(), true), false));
  }
  const base::FilePath prefs = install_folder().Append(kInstallerPrefsFileName);
  ASSERT_TRUE(test::WriteTextFile(
      prefs, "{\"enable_stats\": false, \"import_browser_data\": false}"));
  set_folder_security(record);
  std::u16string arguments = InstallArguments(u"--enable-installer-stats=0");
  arguments.replace(arguments.find(u"--allusers=0"), 12, u"--allusers=1");
  // The first backend pauses before it judges the folder.
  const Interruption stop{.name = "before the folder is judged",
                          .run = Interruption::Run::kInstall,
                          .paused = true,
                          .at_log = "is_elevated_admin"};
  auto empty = [&] {
    ASSERT_TRUE(base::DeleteFileOrDirectory(
        install_folder().Append(kInstallLogFileName), false));
    ASSERT_TRUE(base::DeleteFileOrDirectory(prefs, false));
  };
  WriteSeams("base", &stop);
  EXPECT_EQ(0u, StoppedRun(Quoted(Host()) + u" " + arguments, stop, empty))
      << Logs();
  EXPECT_NE(std::string::npos, Logs().find("--from-record=")) << Logs();
  std::unique_ptr<base::DictionaryValue> written =
      ReadJsonDictionaryFile(prefs);
  bool enable_stats = false;
  ASSERT_TRUE(written) << Logs();
  EXPECT_TRUE(written->GetBoolean(kEnableStatsPref, &enable_stats) &&
              enable_stats);
}

// An installation for all users in a folder others may change (made so by
// an older installer, or opened since by its owner) is still uninstalled
// whole, through operations that follow no link: a root file its record
// lists through a link planted since is left, said in the log, and never
// handed to the clean-up batch file; what the link leads to stays. Nor does
// the batch file go by a path there: the programs still in use go into its
// own folder (on the install folder's drive when that is another), the
// record and the emptied folders go before the uninstaller ends, so the
// install folder swapped for a link once it has ended leads the batch file
// nowhere.
void InterruptedInstallTest::UninstallFollowsNoLink(bool other_drive) {
  base::ScopedUnixLink drive;
  // Outside every Wine prefix, where the process ids of tests running side
  // by side in prefixes of their own repeat: a random name.
  const base::FilePath volume(
      u"Z:\\dev\\shm\\velna_drive_" +
      base::UTF8ToUTF16(std::to_string(base::RandUint64())));
  if (other_drive) {
    // The last free letter: a drive of its own, on another file system.
    char16_t letter = u'Y';
    while (letter > u'D' && (::GetLogicalDrives() & (1u << (letter - u'A'))))
      --letter;
    ASSERT_TRUE(base::FileUtil::CreateDirectory(volume));
    ASSERT_TRUE(drive.MakeDrive(letter, volume));
    set_install_folder(
        base::FilePath(std::u16string(1, letter) + u":\\Velna Browser"));
  }
  test::ScopedRegistryRestore machine_keys(MachineProductKeys());
  const base::FilePath record = work().Append(u"security.txt");
  ASSERT_TRUE(base::DeleteFileOrDirectory(record, false));
  test::RecordedFolderSecurity security(record);
  const test::RegistryState machine_before = machine_keys.TakeState(true);
  ASSERT_EQ(0u, HostInstallForAllUsers(&security, record)) << Logs();
  EXPECT_EQ(std::vector<std::u16string>{kProtectedFolderSecurity},
            test::RecordedFolderSecurity::History(record, install_folder()));

  // Its owner opens the folder to others and plants a link.
  ASSERT_TRUE(security.Write(
      install_folder(),
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)"));
  const base::FilePath victim = work().Append(u"victim");
  ASSERT_TRUE(test::WriteTextFile(victim.Append(u"secret.txt"), "secret"));
  ASSERT_TRUE(test::WriteTextFile(victim.Append(u"launcher.exe"), "MZ"));
  ASSERT_TRUE(
      test::WriteTextFile(victim.Append(kInstallLogFileName), "precious"));
  base::ScopedUnixLink link;
  ASSERT_TRUE(link.Make(install_folder().Append(u"J"), victim));
  const base::FilePath status = install_folder().Append(kInstallLogFileName);
  {
    base::win::ScopedComInitializer com;
    InstallLog log;
    XmlDocument document;
    ASSERT_TRUE(ReadInstallLog(&document, &log, status));
    // An empty folder of the version's name, as a batch file's "rmdir"
    // there would remove it.
    ASSERT_TRUE(base::FileUtil::CreateDirectory(victim.Append(log.subfolder)));
    log.root_files.push_back(u"J\\secret.txt");
    ASSERT_TRUE(WriteInstallLog(&document, log, status));
  }
  const std::u16string command = MachineUninstallCommand();
  ASSERT_FALSE(command.empty());
  const test::FileTreeSnapshot victim_before =
      test::TakeFileTreeSnapshot(victim);
  EXPECT_EQ(0u, RunCommand(command + u" --silent")) << Logs();
  // Once the uninstaller has ended, only the link it refused is left.
  const test::FileTreeSnapshot left =
      test::TakeFileTreeSnapshot(install_folder());
  EXPECT_TRUE(left.size() == 1 && left.count("J")) << Logs();
  const std::string logs = Logs();
  const base::FilePath batch = LastBatchFile();
  ASSERT_FALSE(batch.empty()) << logs;
  if (other_drive) {
    EXPECT_EQ(install_folder().DirName(), batch.DirName().DirName());
  }
  // At once, before the batch file's next look: the install folder moved
  // away, a link to the other folder in its place.
  ASSERT_TRUE(link.Remove());
  const base::FilePath moved =
      install_folder().DirName().Append(u"Velna Browser moved");
  ASSERT_TRUE(base::MoveFileOrDirectory(install_folder(), moved));
  base::ScopedUnixLink install_link;
  ASSERT_TRUE(install_link.Make(install_folder(), victim));
  WaitUntilGone(batch.DirName());
  EXPECT_FALSE(base::PathExists(batch.DirName()));
  EXPECT_EQ(victim_before, test::TakeFileTreeSnapshot(victim));
  EXPECT_NE(std::string::npos,
            logs.find("Refusing to remove " +
                      install_folder().Append(u"J\\secret.txt").AsUTF8() +
                      ": a link on its path leads elsewhere"))
      << logs;
  EXPECT_EQ(machine_before, machine_keys.TakeState(true));
  ASSERT_TRUE(install_link.Remove());
  ASSERT_TRUE(base::DeleteFileOrDirectory(moved, true));
  if (other_drive) {
    ASSERT_TRUE(drive.Remove());
    // Emptied through the drive: the system may name the folder by the
    // drive a while after, and refuse its deletion by another path.
    EXPECT_TRUE(::RemoveDirectoryW(base::as_wcstr(volume.value())));
  }
}

TEST_F(InterruptedInstallTest, AnAllUsersUninstallFollowsNoLink) {
  for (bool other_drive : {false, true}) {
    SCOPED_TRACE(other_drive ? "on another drive" : "on the system drive");
    UninstallFollowsNoLink(other_drive);
  }
}

// An elevated uninstall judges every folder it works in by the folder, not
// by what the record says or where it lies: a version folder a user made
// below a folder an older installer protected in place, an install folder
// others may change whose record a user rewrote to a per-user one, and one
// in Program Files whose list was loosened since, get no path in the
// clean-up batch file. Its programs still in use (the uninstaller's own)
// go into the batch file's folder, so a link put in the install folder's
// place while the batch file waits leads it nowhere.
TEST_F(InterruptedInstallTest, AnElevatedUninstallHandsTheBatchNoOpenFolder) {
  const std::u16string open =
      u"O:S-1-5-21-1-2-3-1001D:AI(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)"
      u"(A;OICIID;0x1301bf;;;AU)";
  base::FilePath program_files;
  ASSERT_TRUE(base::PathService::Get(base::DIR_PROGRAM_FILES, &program_files));
  for (int c : {0, 1, 2}) {
    const bool rewritten = c == 1;
    SCOPED_TRACE(c);
    if (c == 2) {
      set_install_folder(program_files.Append(
          u"Velna " + base::Uint64ToString16(base::RandUint64())));
    }
    test::ScopedRegistryRestore machine_keys(MachineProductKeys());
    const base::FilePath record =
        work().Append(u"security_" + base::IntToString16(c));
    test::RecordedFolderSecurity security(record);
    ASSERT_EQ(0u, HostInstallForAllUsers(&security, record)) << Logs();
    InstallLog installed;
    ASSERT_TRUE(ReadRecord(&installed));
    const base::FilePath version = install_folder().Append(installed.subfolder);
    ASSERT_TRUE(base::DirectoryExists(version));
    if (rewritten) {
      ASSERT_TRUE(security.Write(install_folder(), open));
      base::win::ScopedComInitializer com;
      InstallLog log;
      XmlDocument document;
      const base::FilePath status =
          install_folder().Append(kInstallLogFileName);
      ASSERT_TRUE(ReadInstallLog(&document, &log, status));
      log.all_users = false;
      log.hklm_keys.clear();
      ASSERT_TRUE(WriteInstallLog(&document, log, status));
    } else {
      ASSERT_TRUE(security.Write(c == 2 ? install_folder() : version, open));
    }
    const std::u16string command = MachineUninstallCommand();
    ASSERT_FALSE(command.empty());
    std::string folder_text;
    ASSERT_TRUE(ToBatchPath(install_folder(), &folder_text));

    const base::FilePath victim = work().Append(u"victim");
    ASSERT_TRUE(test::WriteTextFile(
        victim.Append(installed.subfolder).Append(kPackageInstallerName),
        "MZ"));
    ASSERT_TRUE(test::WriteTextFile(victim.Append(kInstallLogFileName), "x"));
    const test::FileTreeSnapshot victim_before =
        test::TakeFileTreeSnapshot(victim);

    // Paused once its batch file waits, before it lets it go on: the
    // install folder moved away, a link to another folder in its place.
    const Interruption stop{.name = "while the batch file waits",
                            .run = Interruption::Run::kUninstall,
                            .paused = true,
                            .at_log = "Removing the uninstall entry"};
    const base::FilePath moved = install_folder().AddExtension(u"moved");
    base::ScopedUnixLink link;
    base::FilePath batch;
    auto swap = [&] {
      batch = LastBatchFile();
      const std::string text = test::ReadFileContents(batch);
      EXPECT_EQ(std::string::npos, text.find(folder_text)) << text;
      ASSERT_TRUE(base::MoveFileOrDirectory(install_folder(), moved));
      ASSERT_TRUE(link.Make(install_folder(), victim));
    };
    WriteSeams("base", &stop);
    EXPECT_EQ(0u, StoppedRun(command + u" --silent", stop, swap)) << Logs();
    ASSERT_FALSE(batch.empty()) << Logs();
    WaitUntilGone(batch.DirName());
    EXPECT_FALSE(base::PathExists(batch.DirName()));
    EXPECT_EQ(victim_before, test::TakeFileTreeSnapshot(victim));
    ASSERT_TRUE(link.Remove());
    ASSERT_TRUE(base::DeleteFileOrDirectory(moved, true));
    ASSERT_TRUE(base::DeleteFileOrDirectory(victim, true));
  }
}

// The steps of an install: 0-2 files, 3 registry, 4 shortcuts, 5
// installer preferences, 6 finalising; of an update: 0 the files of older
// versions, 1 the new version's files, 2-4 root files and the launcher, 5
// the old registry removed, 6 the new one written, 7 shortcuts, 8 installer
// preferences, 9 the previous status, 10 finalising; of an uninstall: 0
// registry, 1 shortcuts, 2 finalising, 3 the files of older versions, 4
// the files. The status files' names begin with "installation_status.xml"
// (an update's first is the record of its new version beside the
// installed one's, an uninstall's the installed one's marked unfinished);
// an update with the same choices leaves the preferences as they are, an
// install writes them; an update replaces the launcher by a copy. Each stop
// is followed by one of the user's next runs, the two alternating along the
// steps.
//
// An uninstall's last moments, once its steps have succeeded: it starts the
// clean-up batch file, removes the entry, lets the batch file go on, and
// ends; the batch file removes what was in use and then the record. Ended
// before it lets the batch file go on (whether the batch file is ended with
// it or goes on, and then removes nothing), it leaves the record unfinished
// and every file its command needs: the launcher starts nothing, and the
// entry's command (the launcher's "/uninstall" once the entry is gone)
// removes everything. Ended after, the batch file removes the rest; or,
// ended with it as in a power cut, leaves the record and the programs, and
// the launcher's "/uninstall" removes everything.
constexpr char kRecord[] = "installation_status.xml";
constexpr char kPrefs[] = "installer_prefs.json";
constexpr char kLauncher[] = "launcher.exe";
using Run = Interruption::Run;
INSTANTIATE_TEST_SUITE_P(
    Stops, InterruptedInstallTest,
    testing::Values(
        Interruption{"InstallAfterFilesThenAgain", Run::kInstall, 3, true},
        Interruption{"InstallAfterRegistryThenUninstall", Run::kInstall, 4,
                     false},
        Interruption{"InstallAfterShortcutsThenAgain", Run::kInstall, 5, true},
        Interruption{"InstallInPrefsWriteThenUninstall", Run::kInstall, 0,
                     false, kPrefs},
        Interruption{"InstallInPrefsWriteThenAgain", Run::kInstall, 0, true,
                     kPrefs},
        Interruption{.name = "InstallInRecordWriteThenAgain",
                     .run = Run::kInstall,
                     .again = true,
                     .during_write = kRecord,
                     .unrecorded = true},
        Interruption{"InstallFinalisedThenUninstall", Run::kInstall, -1, false},
        Interruption{"UpdateBeforeFilesThenUninstall", Run::kUpdate, 1, false},
        Interruption{"UpdateInRecordWriteThenUninstall", Run::kUpdate, 0, false,
                     kRecord},
        Interruption{"UpdateAfterVersionFilesThenAgain", Run::kUpdate, 2, true},
        Interruption{"UpdateOfAnEmptyVersionThenUninstall", Run::kUpdate, 2,
                     false, nullptr, false, true},
        Interruption{"UpdateAfterFilesThenAgain", Run::kUpdate, 5, true},
        Interruption{"UpdateBetweenRegistriesThenUninstall", Run::kUpdate, 6,
                     false},
        Interruption{"UpdateAfterRegistryThenAgain", Run::kUpdate, 7, true},
        Interruption{"UpdateAfterShortcutsThenUninstall", Run::kUpdate, 8,
                     false},
        Interruption{"UpdateFinalisedThenAgain", Run::kUpdate, -1, true},
        Interruption{"UninstallInRecordWriteThenUninstall", Run::kUninstall, 0,
                     false, kRecord},
        Interruption{"UninstallBeforeRegistryThenUpdate", Run::kUninstall, 0,
                     true},
        Interruption{"UninstallAfterRegistryThenUninstall", Run::kUninstall, 1,
                     false},
        Interruption{"UninstallAfterShortcutsThenUpdate", Run::kUninstall, 2,
                     true},
        Interruption{"UninstallAfterFinalisingThenUninstall", Run::kUninstall,
                     3, false},
        Interruption{"UninstallBeforeFilesThenUpdate", Run::kUninstall, 4,
                     true},
        Interruption{"UninstallFinalisedThenUninstall", Run::kUninstall, -1,
                     false},
        Interruption{.name = "UninstallBeforeItsBatchThenUninstall",
                     .run = Run::kUninstall,
                     .at_log = "Starting final cleanup batch file"},
        Interruption{.name = "UninstallBatchStartedThenUpdate",
                     .run = Run::kUninstall,
                     .again = true,
                     .at_log = "Removing the uninstall entry",
                     .batch_lives = true},
        Interruption{
            .name = "UninstallEntryGoneThenUninstall",
            .run = Run::kUninstall,
            .at_log = "The clean-up batch file removes the installation",
            .entry_gone = true},
        Interruption{
            .name = "UninstallEntryGoneBatchLivesThenUninstall",
            .run = Run::kUninstall,
            .at_log = "The clean-up batch file removes the installation",
            .batch_lives = true,
            .entry_gone = true},
        Interruption{.name = "UninstallFinishedBatchLives",
                     .run = Run::kUninstall,
                     .at_log = "Installer backend exiting",
                     .batch_lives = true,
                     .all_gone = true},
        Interruption{.name = "UninstallFinishedBatchEndedThenUninstall",
                     .run = Run::kUninstall,
                     .at_log = "Installer backend exiting",
                     .entry_gone = true},
        Interruption{"InstallBackendAloneMidCopy", Run::kInstall, 1, false,
                     nullptr, true},
        Interruption{"InstallBackendAloneAfterRegistry", Run::kInstall, 4,
                     false, nullptr, true},
        Interruption{"InstallInterruptedMidCopy", Run::kInstall, 1, false,
                     nullptr, false, false, true},
        // A first install stopped before its registry step has no uninstall
        // entry: the launcher's uninstall removes it (installing again
        // completes it, as after "InstallAfterFilesThenAgain"). An update
        // stopped with the old root files gone or the new ones copied, in
        // the middle of the launcher's replacement (the new one whole under
        // its temporary name), or before it keeps the previous status, has
        // a launcher that starts the version the status file names, one
        // entry, and a record the uninstall or the update run again acts on.
        Interruption{"InstallBeforeRegistryThenLauncherUninstall",
                     Run::kInstall, 3, false},
        Interruption{"UpdateAfterOldRootFilesThenUninstall", Run::kUpdate, 3,
                     false},
        Interruption{"UpdateBeforeLauncherThenAgain", Run::kUpdate, 4, true},
        Interruption{"UpdateInLauncherReplacementThenUninstall", Run::kUpdate,
                     0, false, kLauncher},
        Interruption{"UpdateInLauncherReplacementThenAgain", Run::kUpdate, 0,
                     true, kLauncher},
        Interruption{"UpdateBeforePreviousStatusThenAgain", Run::kUpdate, 9,
                     true},
        // A first install stopped with the launcher's copy whole under its
        // temporary name.
        Interruption{.name = "InstallInLauncherCopyThenAgain",
                     .run = Run::kInstall,
                     .again = true,
                     .during_write = kLauncher,
                     .no_launcher = true},
        // Over an update, which keeps the base version: an uninstall, or the
        // same update again, stopped once it has set that version aside; the
        // entry's uninstall then stopped there too, in the removal it
        // completes.
        Interruption{.name = "UninstallOfAnUpdateAfterKeptFilesThenUninstall",
                     .run = Run::kUninstall,
                     .at_log = "Cleaning up files after uninstallation",
                     .over_update = true},
        Interruption{.name = "UninstallOfAnUpdateAfterKeptFilesTwice",
                     .run = Run::kUninstall,
                     .at_log = "Cleaning up files after uninstallation",
                     .over_update = true,
                     .stopped_twice = true},
        Interruption{.name = "UpdateAgainAfterKeptFilesThenAgain",
                     .run = Run::kUpdate,
                     .before_step = 1,
                     .again = true,
                     .over_update = true}),
    [](const testing::TestParamInfo<Interruption>& info) {
      return std::string(info.param.name);
    });

// An update or a first install stopped as it writes its uninstall entry, at
// each of the entry's values, and then each of the user's next runs: the
// entry's command (the launcher's "/uninstall" while no entry has one), the
// launcher's "/uninstall", the same package again and, after a first
// install, the next version. Each completes and leaves one entry, or none
// once uninstalled.
std::vector<Interruption> EntryCuts() {
  static const char* const kValues[] = {
      "InstallLocation", "DisplayName",  "DisplayIcon",  "DisplayVersion",
      "HelpLink",        "NoModify",     "NoRepair",     "Publisher",
      "UninstallString", "URLInfoAbout", "URLUpdateInfo"};
  static const char* const kNextRuns[] = {"Entry", "Launcher", "Again",
                                          "NextVersion"};
  // The rows' texts, for as long as the test program runs.
  static auto* texts = new std::deque<std::string>;
  std::vector<Interruption> cuts;
  for (Run run : {Run::kUpdate, Run::kInstall}) {
    for (const char* value : kValues) {
      for (int next = 0; next < (run == Run::kInstall ? 4 : 3); ++next) {
        const std::string& name = texts->emplace_back(
            std::string(run == Run::kInstall ? "Install" : "Update") + "At" +
            value + "Then" + kNextRuns[next]);
        const std::string& line = texts->emplace_back(
            std::string("Writing value ") + value + " to key {Uninstall}");
        cuts.push_back({.name = name.c_str(),
                        .run = run,
                        .before_step = 0,
                        .again = next == 2,
                        .at_log = line.c_str(),
                        .in_entry = true,
                        .by_launcher = next == 1,
                        .next_version = next == 3});
      }
    }
  }
  return cuts;
}

INSTANTIATE_TEST_SUITE_P(EntryCuts, InterruptedInstallTest,
                         testing::ValuesIn(EntryCuts()),
                         [](const testing::TestParamInfo<Interruption>& info) {
                           return std::string(info.param.name);
                         });

// An administrator's elevated uninstall of the user's installation, which
// others may change: after each cut of an update, by the entry's command,
// the launcher's "/uninstall" or the version's installer; and cut at each
// of its own last moments (0 starting the batch file, 1 removing the entry,
// 2-3 taking the launcher and the version's installer into the batch
// file's folder, 4 removing the folders they emptied, 5 the record, 6 the
// install folder, 7 its end), each then completed by the road there is.
std::vector<Interruption> OpenFolderRows() {
  static auto* texts = new std::deque<std::string>;
  std::vector<Interruption> cuts = {
      {"UpdateInRecordWrite", Run::kUpdate, 0, false, kRecord},
      {"UpdateInLauncherReplacement", Run::kUpdate, 0, false, kLauncher},
      {"UpdateOfAnEmptyVersion", Run::kUpdate, 2, false, nullptr, false, true},
      {.name = "UpdateAgainAfterKeptFiles",
       .run = Run::kUpdate,
       .before_step = 1,
       .over_update = true}};
  for (int step : {-1, 1, 2, 3, 4, 5, 6, 7, 8, 9}) {
    const std::string& name = texts->emplace_back(
        step < 0 ? "UpdateFinalised" : "UpdateBefore" + std::to_string(step));
    cuts.push_back({name.c_str(), Run::kUpdate, step});
  }
  for (const Interruption& cut : EntryCuts()) {
    if (cut.run == Run::kUpdate && cut.by_launcher) cuts.push_back(cut);
  }
  // The three roads take the cuts in turn: each follows cuts of every kind,
  // at a third of the time of each cut followed by each.
  std::vector<Interruption> rows;
  for (size_t i = 0; i < cuts.size(); ++i) {
    Interruption row = cuts[i];
    std::string cut = row.name;
    cut.resize(std::min(cut.size(), cut.find("Then")));
    row.elevated = true;
    // An emptied version has no installer to run.
    const char* road = "Entry";
    if (i % 3 == 1) road = "Launcher";
    if (i % 3 == 2 && !row.version_emptied) road = "Installer";
    row.name = texts->emplace_back(cut + "Then" + road).c_str();
    row.by_launcher = road[0] == 'L';
    row.by_installer = road[0] == 'I';
    rows.push_back(row);
  }
  const char* const kSteps[][2] = {
      {"Starting final cleanup batch file", "Entry"},
      {"Removing the uninstall entry", "Entry"},
      {"launcher.exe into the clean-up batch", "Launcher"},
      {"installer.exe into the clean-up batch", "Installer"},
      {"Removing the folders the uninstallation emptied", "Again"},
      {"Removing the installation status file", "Again"},
      {"Removing the install folder", "Again"},
      {"Installer backend exiting", "Nothing"}};
  for (int i = 0; i < 8; ++i) {
    const std::string road = kSteps[i][1];
    Interruption row{.run = Run::kUninstall, .at_log = kSteps[i][0]};
    row.name =
        texts->emplace_back("UninstallAt" + std::to_string(i) + "Then" + road)
            .c_str();
    row.again = road == "Again";
    row.entry_gone = i >= 2 && i < 6;
    row.all_gone = i == 7;
    row.by_launcher = road == "Launcher";
    row.by_installer = road == "Installer";
    row.unrecorded = i == 6;
    row.elevated = true;
    rows.push_back(row);
  }
  return rows;
}

INSTANTIATE_TEST_SUITE_P(OpenFolder, InterruptedInstallTest,
                         testing::ValuesIn(OpenFolderRows()),
                         [](const testing::TestParamInfo<Interruption>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace installer
