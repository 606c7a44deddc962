// The default-browser registrations on the real registry: they must write
// the product's own class and the shell's http, https, ftp and document
// keys, so these tests run one at a time (a CTest resource lock) and put
// every key they may touch back as it was.

#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/shell_integration.h"
#include "desktop/windows/installer/service/test/fake_shell_platform.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/test/scoped_registry_restore.h"
#include "desktop/windows/installer/service/xml_document_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::RegistryState;
using test::RegistryValue;

constexpr char16_t kClasses[] = u"Software\\Classes\\";
constexpr char16_t kProgId[] = u"Velnabeta";
constexpr char16_t kCompanyKey[] = u"Software\\Velna";
constexpr char16_t kClientsKey[] = u"Software\\Clients";
constexpr char16_t kStartMenuKey[] = u"Software\\Clients\\StartMenuInternet";
constexpr char16_t kAssociationsKey[] =
    u"Software\\Microsoft\\Windows\\Shell\\Associations";
constexpr char16_t kUrlAssociations[] =
    u"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";
constexpr char16_t kFileExtsKey[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts";

const char16_t* const kProtocols[] = {u"http", u"https", u"ftp"};
const char16_t* const kExtensions[] = {u".crx", u".htm",        u".html",
                                       u".nex", u".vldownload", u".shtml",
                                       u".xht", u".xhtml"};

const int kWin7 = base::win::kVersionWin7;
const int kWin81 = base::win::kVersionWin8_1;
const int kWin10 = base::win::kVersionWin10;

HKEY RootFor(bool all_users) {
  return all_users ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Every key a registration may touch, for both roots.
std::vector<test::RegistryLocation> ShellKeys() {
  std::vector<test::RegistryLocation> keys;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    keys.emplace_back(root, kClasses + std::u16string(kProgId));
    for (const char16_t* name : kProtocols)
      keys.emplace_back(root, kClasses + std::u16string(name));
    for (const char16_t* name : kExtensions)
      keys.emplace_back(root, kClasses + std::u16string(name));
    keys.emplace_back(root, kClientsKey);
    keys.emplace_back(root, kCompanyKey);
  }
  keys.emplace_back(HKEY_CURRENT_USER, kAssociationsKey);
  keys.emplace_back(HKEY_CURRENT_USER, kFileExtsKey);
  return keys;
}

RegistryValue Sz(const std::u16string& text) {
  RegistryValue value;
  value.type = REG_SZ;
  // An empty text is written as no bytes at all.
  if (!text.empty()) value.data = test::RegistryText(text);
  return value;
}

RegistryValue Dword(DWORD number) {
  RegistryValue value;
  value.type = REG_DWORD;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
  value.data.assign(bytes, bytes + sizeof(number));
  return value;
}

std::string Lower(HKEY root, const std::u16string& key) {
  return test::RegistryStateKey(root, key);
}

void Set(RegistryState* state, HKEY root, const std::u16string& key,
         const std::string& name, const RegistryValue& value) {
  (*state)[Lower(root, key)][base::ToLowerASCII(name)] = value;
}

void Remove(RegistryState* state, HKEY root, const std::u16string& key,
            const std::string& name) {
  auto found = state->find(Lower(root, key));
  if (found == state->end()) return;
  found->second.erase(base::ToLowerASCII(name));
  if (found->second.empty()) state->erase(found);
}

void DeleteKey(RegistryState* state, HKEY root, const std::u16string& key) {
  const std::string prefix = Lower(root, key);
  for (auto it = state->begin(); it != state->end();) {
    const bool below =
        it->first == prefix || base::StartsWith(it->first, prefix + "\\");
    it = below ? state->erase(it) : std::next(it);
  }
}

// A text value as stored, up to its NUL; "(none)" when it cannot be read.
std::u16string ReadText(HKEY root, const std::u16string& key,
                        const std::u16string& name = u"") {
  test::RawRegistryValue raw = test::ReadRawRegistryValue(root, key, name);
  if (raw.result != ERROR_SUCCESS) return u"(none)";
  std::u16string text(reinterpret_cast<const char16_t*>(raw.data.data()),
                      raw.data.size() / sizeof(char16_t));
  return text.substr(0, text.find(u'\0'));
}

class ShellRegistrationTest : public testing::Test {
 protected:
  ShellRegistrationTest() : restore_(ShellKeys()) {}

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    folder_ = temp_.GetPath().value();
    ASSERT_TRUE(
        test::WriteFileContents(temp_.GetPath().Append(kInstallerPrefsFileName),
                                "{\"single_profile\": false}"));
  }
  void TearDown() override { CoUninitialize(); }

  // An installation in the test folder whose status file says |all_users|.
  std::unique_ptr<InstallationInfo> MakeInstallation(bool all_users) {
    InstallLog status;
    status.all_users = all_users;
    status.app_id = "test-app";
    XmlDocument document;
    EXPECT_TRUE(WriteInstallLog(&document, status,
                                temp_.GetPath().Append(kInstallLogFileName)));
    return std::make_unique<InstallationInfo>(temp_.GetPath());
  }

  RegistryState State() const { return restore_.TakeState(true); }
  RegistryState FullState() const { return restore_.TakeState(false); }

  std::u16string ClassKey(const std::u16string& name) const {
    return kClasses + name;
  }

  // The rows of the tables, as the registry shows them afterwards.
  void ExpectProgIdRows(RegistryState* state, HKEY root) const {
    const std::u16string key = ClassKey(kProgId);
    Set(state, root, key, "FriendlyTypeName", Sz(u"Velna Web Document"));
    Set(state, root, key, "URL Protocol", Sz(u""));
    Set(state, root, key + u"\\DefaultIcon", "",
        Sz(folder_ + u"\\Launcher.exe,0"));
    Set(state, root, key + u"\\shell\\open\\command", "",
        Sz(u"\"" + folder_ + u"\\Launcher.exe\" -noautoupdate -- \"%1\""));
    ExpectDdeExec(state, root, key);
  }
  void ExpectDdeExec(RegistryState* state, HKEY root,
                     const std::u16string& key) const {
    const std::u16string dde = key + u"\\shell\\open\\ddeexec";
    if (root == HKEY_LOCAL_MACHINE) {
      DeleteKey(state, root, dde);
      return;
    }
    Set(state, root, dde, "", Sz(u""));
    Set(state, root, dde + u"\\Application", "", Sz(u""));
    Set(state, root, dde + u"\\Topic", "", Sz(u""));
  }
  void ExpectProtocolRows(RegistryState* state, HKEY root,
                          const std::u16string& protocol,
                          bool remove_choice) const {
    const std::u16string key = ClassKey(protocol);
    Set(state, root, key, "EditFlags", Dword(2));
    Set(state, root, key, "URL Protocol", Sz(u""));
    Set(state, root, key + u"\\DefaultIcon", "",
        Sz(folder_ + u"\\Launcher.exe,0"));
    Set(state, root, key + u"\\shell\\open\\command", "",
        Sz(u"\"" + folder_ + u"\\launcher.exe\" -noautoupdate -- \"%1\""));
    ExpectDdeExec(state, root, key);
    if (remove_choice) {
      Remove(state, HKEY_CURRENT_USER,
             kUrlAssociations + protocol + u"\\UserChoice", "Progid");
    }
  }
  void ExpectExtensionRows(RegistryState* state, HKEY root,
                           const std::u16string& extension,
                           bool remove_choice) const {
    Set(state, root, ClassKey(extension), "", Sz(kProgId));
    if (remove_choice) {
      Remove(state, HKEY_CURRENT_USER,
             std::u16string(kFileExtsKey) + u"\\" + extension + u"\\UserChoice",
             "Progid");
    }
  }

  base::ScopedTempDir temp_;
  std::u16string folder_;
  test::ScopedRegistryRestore restore_;
};

TEST_F(ShellRegistrationTest, EachVersionAndScopeWritesExactlyItsRows) {
  const std::string kSet = "SetAppAsDefault Velna beta ";
  const std::string kQuery =
      "QueryAppIsDefault StartmenuInternet 2 1 Velna beta";
  const std::vector<std::string> kSetEachAndQuery = {
      kSet + "http 1", kSet + "https 1",       kSet + "ftp 1",
      kSet + ".crx 0", kSet + ".htm 0",        kSet + ".html 0",
      kSet + ".nex 0", kSet + ".vldownload 0", kSet + ".shtml 0",
      kSet + ".xht 0", kSet + ".xhtml 0",      kSet + "StartmenuInternet 2",
      kQuery};
  const std::string kOpenWith = "OpenWith http 0x4a";
  const std::string kOpenSettings =
      "ActivateApplication windows.immersivecontrolpanel_cw5n1h2txyewy"
      "!microsoft.windows.immersivecontrolpanel page=SettingsPageAppsDefaults "
      "0";
  // Which protocols and types are registered.
  enum Names { kNone, kHttpOnly, kAll };
  const struct {
    int version;
    bool all_users;          // the registration's scope
    bool all_users_install;  // the installation's status
    Names names;
    bool remove_choice;
    bool start_menu;
    std::vector<std::string> calls;
    bool http_ours_after;
    bool is_default;
  } kCases[] = {
      {kWin7, false, false, kAll, true, true, {}, true, true},
      {kWin7, false, true, kAll, false, true, kSetEachAndQuery, true, true},
      {kWin7, true, true, kAll, false, true, {kQuery}, true, true},
      {kWin81, false, false, kHttpOnly, false, true, {kOpenWith}, true, false},
      {kWin81, true, true, kNone, false, false, {}, false, false},
      {kWin10, false, false, kNone, false, true, {kOpenSettings}, false, false},
      {kWin10, true, true, kNone, false, false, {}, false, false},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "version " << test_case.version << " all users "
                 << test_case.all_users << " installed for all "
                 << test_case.all_users_install);
    test::ScopedRegistryRestore restore_case(ShellKeys());
    const HKEY root = RootFor(test_case.all_users);
    // A ddeexec left by someone else, which an all-users registration
    // deletes.
    ASSERT_TRUE(base::win::RegKey(
                    HKEY_LOCAL_MACHINE,
                    (ClassKey(kProgId) + u"\\shell\\open\\ddeexec").c_str(),
                    KEY_SET_VALUE)
                    .WriteValue(u"", u"seed") == ERROR_SUCCESS);
    ASSERT_TRUE(base::win::RegKey(
                    HKEY_LOCAL_MACHINE,
                    (ClassKey(u"http") + u"\\shell\\open\\ddeexec").c_str(),
                    KEY_SET_VALUE)
                    .WriteValue(u"", u"seed") == ERROR_SUCCESS);
    const std::u16string previous =
        test_case.all_users
            ? ReadText(HKEY_LOCAL_MACHINE,
                       ClassKey(u"http") + u"\\shell\\open\\command")
            : ReadText(HKEY_CLASSES_ROOT, u"http\\shell\\open\\command");
    ASSERT_NE(u"(none)", previous);

    RegistryState expected = State();
    ExpectProgIdRows(&expected, root);
    if (test_case.names != kNone)
      ExpectProtocolRows(&expected, root, u"http", test_case.remove_choice);
    if (test_case.names == kAll) {
      for (const char16_t* protocol : {u"https", u"ftp"})
        ExpectProtocolRows(&expected, root, protocol, test_case.remove_choice);
      for (const char16_t* extension : kExtensions)
        ExpectExtensionRows(&expected, root, extension,
                            test_case.remove_choice);
    }
    if (test_case.start_menu)
      Set(&expected, root, kStartMenuKey, "", Sz(kProgId));
    Set(&expected, root, kCompanyKey, "previous default browser", Sz(previous));

    test::FakeShellPlatform platform(test_case.version);
    ScopedShellPlatformForTesting scoped_platform(&platform);
    std::unique_ptr<InstallationInfo> info =
        MakeInstallation(test_case.all_users_install);
    SavePreviousDefaultBrowser(info.get(), test_case.all_users);
    EXPECT_EQ(test_case.is_default,
              RegisterBrowserAssociations(info.get(), test_case.all_users));
    EXPECT_EQ(expected, State());
    EXPECT_EQ(test_case.calls, platform.calls);

    // A second save keeps the first unless http still is not ours.
    ASSERT_TRUE(WritePreviousDefaultBrowser(u"sentinel", test_case.all_users));
    SavePreviousDefaultBrowser(info.get(), test_case.all_users);
    EXPECT_EQ(test_case.http_ours_after ? u"sentinel" : previous,
              ReadText(root, kCompanyKey, kPreviousDefaultBrowserValue));
  }
}

TEST_F(ShellRegistrationTest, AFailingRowUndoesOnlyItsRegistration) {
  enum Registration { kProgIdRows, kHttp, kHtm, kStartMenu };
  const struct {
    bool all_users;
    Registration registration;
    int operations;  // one per applicable row
  } kCases[] = {
      {false, kProgIdRows, 7}, {false, kHttp, 8},      {false, kHtm, 2},
      {false, kStartMenu, 1},  {true, kProgIdRows, 5}, {true, kHttp, 5},
      {true, kHtm, 1},         {true, kStartMenu, 1},
  };
  std::unique_ptr<InstallationInfo> info = MakeInstallation(false);
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message()
                 << "all users " << test_case.all_users << " registration "
                 << test_case.registration);
    test::FakeShellPlatform platform(kWin7);
    ScopedShellPlatformForTesting scoped_platform(&platform);
    auto run = [&] {
      switch (test_case.registration) {
        case kProgIdRows:
          return RegisterProgIdEntries(info.get(), test_case.all_users);
        case kHttp:
          return RegisterAssociation(info.get(), u"http", test_case.all_users);
        case kHtm:
          return RegisterAssociation(info.get(), u".htm", test_case.all_users);
        case kStartMenu:
          return RegisterStartMenuInternet(info.get(), test_case.all_users);
      }
      return false;
    };
    // An earlier registration, which must survive the failure.
    auto register_earlier = [&] {
      if (test_case.registration == kProgIdRows) return true;
      return RegisterProgIdEntries(info.get(), test_case.all_users);
    };
    {
      test::ScopedRegistryRestore restore_run(ShellKeys());
      ASSERT_TRUE(register_earlier());
      const int before = platform.operations_run;
      ASSERT_TRUE(run());
      EXPECT_EQ(test_case.operations, platform.operations_run - before);
    }
    for (int failing = 0; failing < test_case.operations; ++failing) {
      SCOPED_TRACE(failing);
      test::ScopedRegistryRestore restore_run(ShellKeys());
      ASSERT_TRUE(register_earlier());
      const RegistryState before = FullState();
      platform.fail_operation = platform.operations_run + failing;
      EXPECT_FALSE(run());
      EXPECT_EQ(before, FullState());
      platform.fail_operation = -1;
    }
  }
}

TEST_F(ShellRegistrationTest, ARealRegistryFailureRollsBackToo) {
  test::FakeShellPlatform platform(kWin7);
  ScopedShellPlatformForTesting scoped_platform(&platform);
  std::unique_ptr<InstallationInfo> info = MakeInstallation(false);
  ASSERT_TRUE(RegisterProgIdEntries(info.get(), false));
  // A non-volatile key cannot be made under a volatile one: the third row
  // (DefaultIcon) fails after the first two wrote their values.
  HKEY volatile_key = nullptr;
  ASSERT_EQ(
      ERROR_SUCCESS,
      RegCreateKeyExW(HKEY_CURRENT_USER, base::as_wcstr(ClassKey(u"http")), 0,
                      nullptr, REG_OPTION_VOLATILE, KEY_READ, nullptr,
                      &volatile_key, nullptr));
  RegCloseKey(volatile_key);
  const RegistryState before = FullState();
  EXPECT_FALSE(RegisterAssociation(info.get(), u"http", false));
  EXPECT_EQ(before, FullState());
  EXPECT_EQ(
      u"Velna Web Document",
      ReadText(HKEY_CURRENT_USER, ClassKey(kProgId), u"FriendlyTypeName"));
}

TEST_F(ShellRegistrationTest, AFailedTypeKeepsTheOthers) {
  test::FakeShellPlatform platform(kWin7);
  ScopedShellPlatformForTesting scoped_platform(&platform);
  std::unique_ptr<InstallationInfo> info = MakeInstallation(false);
  const RegistryState before = State();
  // Operations before ".htm": 7 programmatic-identifier rows, 8 for each of
  // http, https and ftp, 2 for ".crx"; the second of ".htm" fails.
  platform.fail_operation = 7 + 3 * 8 + 2 + 1;
  EXPECT_TRUE(RegisterBrowserAssociations(info.get(), false));
  const RegistryState after = State();
  auto value_of = [&](const RegistryState& state, const std::u16string& key) {
    auto found = state.find(Lower(HKEY_CURRENT_USER, key));
    return found == state.end() ? test::RegistryKeyValues() : found->second;
  };
  EXPECT_EQ(value_of(before, ClassKey(u".htm")),
            value_of(after, ClassKey(u".htm")));
  EXPECT_EQ(kProgId, ReadText(HKEY_CURRENT_USER, ClassKey(u".crx")));
  EXPECT_EQ(kProgId, ReadText(HKEY_CURRENT_USER, ClassKey(u".html")));
  EXPECT_EQ(kProgId, ReadText(HKEY_CURRENT_USER, kStartMenuKey));
}

TEST_F(ShellRegistrationTest, RealComponentsOfThisMachine) {
  {
    // The activation manager is not registered here: no page, no row.
    test::FakeShellPlatform platform(kWin10);
    platform.real_activation_manager = true;
    ScopedShellPlatformForTesting scoped_platform(&platform);
    std::unique_ptr<InstallationInfo> info = MakeInstallation(false);
    const RegistryState before = FullState();
    EXPECT_FALSE(RegisterAssociation(info.get(), u"http", false));
    EXPECT_EQ(before, FullState());
  }
  {
    // SetAppAsDefault and QueryAppIsDefault are not implemented here.
    test::FakeShellPlatform platform(kWin7);
    platform.real_association_registration = true;
    ScopedShellPlatformForTesting scoped_platform(&platform);
    std::unique_ptr<InstallationInfo> info = MakeInstallation(true);
    const RegistryState before = FullState();
    EXPECT_FALSE(RegisterAssociation(info.get(), u"http", false));
    EXPECT_FALSE(RegisterStartMenuInternet(info.get(), false));
    EXPECT_EQ(before, FullState());
    EXPECT_FALSE(info->IsStartMenuInternetDefault());
  }
}

TEST_F(ShellRegistrationTest, TheComponentsAnswersDecide) {
  std::unique_ptr<InstallationInfo> info = MakeInstallation(true);
  const RegistryState before = FullState();
  {
    test::FakeShellPlatform platform(kWin7);
    ScopedShellPlatformForTesting scoped_platform(&platform);
    platform.set_default_result = E_FAIL;
    EXPECT_FALSE(RegisterAssociation(info.get(), u"http", false));
    EXPECT_FALSE(RegisterStartMenuInternet(info.get(), false));
    EXPECT_EQ(before, FullState());
    platform.app_is_default = FALSE;
    EXPECT_FALSE(info->IsStartMenuInternetDefault());
    platform.app_is_default = TRUE;
    EXPECT_TRUE(info->IsStartMenuInternetDefault());
    platform.query_result = E_FAIL;
    EXPECT_FALSE(info->IsStartMenuInternetDefault());
  }
  {
    test::FakeShellPlatform platform(kWin10);
    ScopedShellPlatformForTesting scoped_platform(&platform);
    platform.activate_result = E_FAIL;
    EXPECT_FALSE(RegisterAssociation(info.get(), u"http", false));
    EXPECT_EQ(1u, platform.calls.size());
    EXPECT_EQ(before, FullState());
  }
}

TEST_F(ShellRegistrationTest, OpenWithDialogOnlyWhenNotOurs) {
  test::FakeShellPlatform platform(kWin81);
  ScopedShellPlatformForTesting scoped_platform(&platform);
  std::unique_ptr<InstallationInfo> info = MakeInstallation(false);
  platform.open_with_result = E_FAIL;
  const RegistryState before = FullState();
  EXPECT_FALSE(RegisterAssociation(info.get(), u"https", false));
  EXPECT_EQ(before, FullState());
  EXPECT_FALSE(RegisterAssociation(info.get(), u"https", true));
  EXPECT_EQ(std::vector<std::string>{"OpenWith https 0x4a"}, platform.calls);

  // Once https is ours the dialog is not shown again.
  platform.open_with_result = S_OK;
  ASSERT_TRUE(RegisterAssociation(info.get(), u"https", false));
  ASSERT_TRUE(info->IsHandlerCommandOurs(u"https", false));
  platform.calls.clear();
  platform.open_with_result = E_FAIL;
  EXPECT_TRUE(RegisterAssociation(info.get(), u"https", false));
  EXPECT_TRUE(platform.calls.empty());
}

TEST_F(ShellRegistrationTest, SingleProfileInstallationsAreNeverRegistered) {
  ASSERT_TRUE(
      test::WriteFileContents(temp_.GetPath().Append(kInstallerPrefsFileName),
                              "{\"single_profile\": true}"));
  test::FakeShellPlatform platform(kWin7);
  ScopedShellPlatformForTesting scoped_platform(&platform);
  std::unique_ptr<InstallationInfo> info = MakeInstallation(false);
  const RegistryState before = FullState();
  for (bool all_users : {false, true})
    EXPECT_FALSE(RegisterBrowserAssociations(info.get(), all_users));
  EXPECT_EQ(before, FullState());
  EXPECT_TRUE(platform.calls.empty());
}

TEST_F(ShellRegistrationTest, StartMenuClientOfTheUserThenOfTheMachine) {
  test::FakeShellPlatform platform(kWin7);
  ScopedShellPlatformForTesting scoped_platform(&platform);
  std::unique_ptr<InstallationInfo> info = MakeInstallation(false);
  const struct {
    const char16_t* user;     // null: no key
    const char16_t* machine;  // null: no key
    bool is_default;
  } kCases[] = {
      {nullptr, kProgId, true},   {kProgId, nullptr, true},
      {u"Other", kProgId, false}, {u"velnabeta", nullptr, false},
      {u"", kProgId, false},      {nullptr, nullptr, false},
      {nullptr, u"Other", false},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message()
                 << (test_case.user ? base::UTF16ToUTF8(test_case.user) : "-")
                 << " "
                 << (test_case.machine ? base::UTF16ToUTF8(test_case.machine)
                                       : "-"));
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
      RegDeleteTreeW(root, base::as_wcstr(kStartMenuKey));
      const char16_t* value =
          root == HKEY_CURRENT_USER ? test_case.user : test_case.machine;
      if (value) {
        ASSERT_EQ(ERROR_SUCCESS,
                  base::win::RegKey(root, kStartMenuKey, KEY_SET_VALUE)
                      .WriteValue(u"", value));
      }
    }
    EXPECT_EQ(test_case.is_default, info->IsStartMenuInternetDefault());
  }
  // A user key without a default value falls back as well.
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(kStartMenuKey));
  ASSERT_EQ(ERROR_SUCCESS,
            base::win::RegKey(HKEY_CURRENT_USER, kStartMenuKey, KEY_SET_VALUE)
                .WriteValue(u"Other value", u"x"));
  ASSERT_EQ(ERROR_SUCCESS,
            base::win::RegKey(HKEY_LOCAL_MACHINE, kStartMenuKey, KEY_SET_VALUE)
                .WriteValue(u"", kProgId));
  EXPECT_TRUE(info->IsStartMenuInternetDefault());
  EXPECT_TRUE(platform.calls.empty());
}

TEST_F(ShellRegistrationTest, PreviousDefaultBrowserIsTerminatedText) {
  for (bool all_users : {false, true}) {
    ASSERT_TRUE(
        WritePreviousDefaultBrowser(u"\"C:\\b.exe\" \"%1\"", all_users));
    test::RawRegistryValue raw = test::ReadRawRegistryValue(
        RootFor(all_users), kCompanyKey, kPreviousDefaultBrowserValue);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), raw.type);
    EXPECT_EQ(test::RegistryText(u"\"C:\\b.exe\" \"%1\""), raw.data);
  }
}

}  // namespace
}  // namespace installer
