#include "desktop/windows/installer/test/installer_process_test_base_win.h"

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <utility>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/process_test_util_win.h"
#include "desktop/windows/installer/test/test_host_seams_win.h"

namespace installer {
namespace test {

namespace {

constexpr int kFileCount = 12;
// Entries of the test's folder that no installation touches.
const std::set<std::string>& UnchangedEntries() {
  static const std::set<std::string> entries = {
      "logs",       "package", "seams.json", "rights.json",
      "grants.txt", "dl",      "protected",  "security.txt"};
  return entries;
}

}  // namespace

std::u16string Quoted(const base::FilePath& path) {
  return u"\"" + path.value() + u"\"";
}

InstallerProcessTestBase::InstallerProcessTestBase() = default;

InstallerProcessTestBase::~InstallerProcessTestBase() = default;

void InstallerProcessTestBase::SetUp() {
  SettingsTestBase::SetUp();
  package_ = dir().Append(u"package");
  target_ = dir().Append(u"target");
  install_folder_ = dir().Append(u"install folder");
  log_root_ = dir().Append(u"logs");
  protected_root_ = dir().Append(u"protected");
  security_record_ = dir().Append(u"security.txt");
  ASSERT_TRUE(RecordedFolderSecurity(security_record_)
                  .ProtectLevelsAbove(install_folder_));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(package_));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(log_root_));
  ASSERT_TRUE(base::FileUtil::CreateDirectory(protected_root_));
  ASSERT_TRUE(
      base::CopyOneFile(Host(), package_.Append(kPackageInstallerName)));
  const std::string browser = GetBrowserExecutableName();
  ASSERT_TRUE(WriteTextFile(package_.AppendASCII(browser), "MZ browser"));
  std::string list = browser + "\r\n";
  for (int i = 0; i < kFileCount; ++i) {
    const std::string name =
        (i % 4 == 0 ? "sub\\f" : "f") + std::to_string(i) + ".txt";
    const std::u16string wide = base::UTF8ToUTF16(name);
    ASSERT_TRUE(WriteTextFile(package_.Append(wide), "new " + name));
    ASSERT_TRUE(WriteTextFile(target_.Append(wide), "old " + name));
    list += name + "\r\n";
  }
  ASSERT_TRUE(WriteTextFile(package_.Append(kFilesListFileName), list));
  base::win::RegKey key;
  ASSERT_EQ(ERROR_SUCCESS,
            key.Create(HKEY_CURRENT_USER, ValuesKey().c_str(), KEY_SET_VALUE));
  ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"old", u"old data"));

  const std::u16string suffix =
      base::UTF8ToUTF16(std::to_string(GetCurrentProcessId()));
  ready_name_ = u"Local\\VelnaProcessTestReady" + suffix;
  go_name_ = u"Local\\VelnaProcessTestGo" + suffix;
  ready_.Set(CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(ready_name_)));
  go_.Set(CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(go_name_)));
  ASSERT_TRUE(ready_.IsValid());
  ASSERT_TRUE(go_.IsValid());
}

void InstallerProcessTestBase::TearDown() {
  // Whatever still waits ends.
  SetEvent(go_.Get());
  SetEnvironmentVariableW(kHostSeamsVariable, nullptr);
  SetEnvironmentVariableW(kUnelevatedRightsVariable, nullptr);
}

base::FilePath InstallerProcessTestBase::Host() {
  return base::FilePath(base::GetTestExecutableFolder() +
                        u"installer_test_host.exe");
}

std::unique_ptr<base::ListValue> InstallerProcessTestBase::WorkSteps(
    bool fail) {
  auto steps = std::make_unique<base::ListValue>();
  auto add = [&](const char* kind) {
    auto step = std::make_unique<base::DictionaryValue>();
    step->SetString("kind", kind);
    base::DictionaryValue* raw = step.get();
    steps->Append(std::move(step));
    return raw;
  };
  add("copy_listed_files")->SetString("path", target_.value());
  base::DictionaryValue* set = add("set_value");
  set->SetString("path", ValuesKey());
  set->SetString("name", u"new");
  set->SetString("data", u"new data");
  base::DictionaryValue* wait = add("wait_for_event");
  wait->SetString("path", go_name_);
  wait->SetString("name", ready_name_);
  if (fail) {
    base::DictionaryValue* failure = add("fail");
    failure->SetInteger("id", 37062);
    failure->SetString("data", u"C:\\t\u00e9xt");
    failure->SetString("name", u"Failed at K");
  }
  base::DictionaryValue* remove = add("remove_value");
  remove->SetString("path", ValuesKey());
  remove->SetString("name", u"old");
  return steps;
}

void InstallerProcessTestBase::WriteSeams(
    std::unique_ptr<base::ListValue> steps,
    const base::DictionaryValue& extra) {
  base::DictionaryValue seams;
  auto branding = std::make_unique<base::DictionaryValue>();
  branding->SetString("company_name", company_key().path().substr(9));
  seams.Set("branding", std::move(branding));
  seams.Set("steps", std::move(steps));
  seams.SetString("log_root", log_root_.value());
  seams.SetString("protected_root", protected_root_.value());
  seams.SetString("folder_security", security_record_.value());
  for (base::DictionaryValue::Iterator it(extra); !it.IsAtEnd(); it.Advance())
    seams.SetWithoutPathExpansion(it.key(), it.value().CreateDeepCopy());
  std::string json;
  ASSERT_TRUE(base::JSONWriter::Write(seams, &json));
  const base::FilePath path = dir().Append(u"seams.json");
  ASSERT_TRUE(WriteTextFile(path, json));
  SetEnvironmentVariableW(kHostSeamsVariable, base::as_wcstr(path.value()));
}

std::string InstallerProcessTestBase::LogOf(uint32_t pid) const {
  base::FileEnumerator logs(
      log_root_.Append(base::UTF8ToUTF16(std::to_string(pid)))
          .Append(u"Velna Installer"),
      false, base::FileEnumerator::FILES, u"*.log");
  std::string text;
  for (base::FilePath log = logs.Next(); !log.empty(); log = logs.Next())
    text += ReadFileContents(log);
  return text;
}

bool InstallerProcessTestBase::WaitForLogLine(uint32_t pid,
                                              const std::string& text) const {
  for (int i = 0; i < 600; ++i) {
    if (LogOf(pid).find(text) != std::string::npos) return true;
    Sleep(100);
  }
  return false;
}

std::string InstallerProcessTestBase::DescribeProcess(
    const char* role, const base::Process& process) const {
  std::string text = "\n=== " + std::string(role);
  if (!process.IsValid()) return text + ": none\n";
  text += " " + std::to_string(process.Pid());
  int exit_code = 0;
  text += process.WaitForExitWithTimeout(0, &exit_code)
              ? ", ended with " + std::to_string(exit_code)
              : ", still running";
  text +=
      "\ncommand line: " + base::UTF16ToUTF8(GetProcessCommandLine(process)) +
      "\n";
  // The test host makes the folder before the engine runs.
  const bool has_folder = base::DirectoryExists(
      log_root_.Append(base::UTF8ToUTF16(std::to_string(process.Pid()))));
  text += has_folder ? "log:\n" + LogOf(process.Pid()) : "no log folder\n";
  return text;
}

bool InstallerProcessTestBase::WaitFor(const base::win::ScopedHandle& event) {
  return WaitForSingleObject(event.Get(), 60000) == WAIT_OBJECT_0;
}

FileTreeSnapshot InstallerProcessTestBase::Files() const {
  FileTreeSnapshot files = TakeFileTreeSnapshot(dir());
  std::erase_if(files, [](const auto& entry) {
    const std::string first = entry.first.substr(0, entry.first.find('\\'));
    return UnchangedEntries().count(first) != 0;
  });
  return files;
}

RegistrySnapshot InstallerProcessTestBase::Registry() const {
  return TakeRegistrySnapshot(HKEY_CURRENT_USER, company_key().path());
}

std::u16string InstallerProcessTestBase::ValuesKey() const {
  return company_key().Path(u"values");
}

std::u16string InstallerProcessTestBase::LastInstallPathValueName() {
  return u"Last " + base::UTF8ToUTF16(VersionInfo::GetStream()) +
         u" Install Path";
}

std::u16string InstallerProcessTestBase::LastInstallPathValue() const {
  return install_folder_.value() + u"\\";
}

base::win::ScopedHandle InstallerProcessTestBase::FolderEvent(
    const char16_t* base) const {
  return base::win::ScopedHandle(
      CreateEventW(nullptr, TRUE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(install_folder_.value(),
                                                       base, true))));
}

}  // namespace test
}  // namespace installer
