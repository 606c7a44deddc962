// The handler lookup and the "ours" test, on protocols, extensions and
// classes of names unique to the test process. The registrations, which
// must write the real product and shell keys, are tested in
// shell_integration_registration_unittest.cc.

#include "desktop/windows/installer/service/shell_integration.h"

#include <objbase.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/installation_info.h"
#include "desktop/windows/installer/service/test/fake_shell_platform.h"
#include "desktop/windows/installer/service/test/scoped_registry_restore.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr char16_t kClasses[] = u"Software\\Classes\\";
constexpr char16_t kUrlAssociations[] =
    u"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\";
constexpr char16_t kFileExts[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
constexpr char16_t kCommand[] = u"\\shell\\open\\command";

bool SetValue(HKEY root, const std::u16string& key, const char16_t* name,
              DWORD type, const void* data, size_t size) {
  base::win::RegKey reg_key;
  return reg_key.Create(root, key.c_str(), KEY_SET_VALUE) == ERROR_SUCCESS &&
         reg_key.WriteValue(name, data, static_cast<DWORD>(size), type) ==
             ERROR_SUCCESS;
}

bool SetText(HKEY root, const std::u16string& key, const char16_t* name,
             const std::u16string& text, DWORD type = REG_SZ) {
  return SetValue(root, key, name, type, text.c_str(),
                  (text.size() + 1) * sizeof(char16_t));
}

// Names of this process: a protocol, an extension and two classes, with
// every key they use guarded.
class HandlerCommandTest : public testing::Test {
 protected:
  HandlerCommandTest()
      : id_(base::UintToString16(GetCurrentProcessId()) + u"-" +
            base::UintToString16(GetTickCount())),
        protocol_(u"velnatest-" + id_),
        extension_(u".velnatest" + id_),
        prog_id_(u"VelnaTestProgId" + id_),
        other_prog_id_(u"VelnaTestOther" + id_),
        restore_({{HKEY_CURRENT_USER, kClasses + protocol_},
                  {HKEY_CURRENT_USER, kClasses + extension_},
                  {HKEY_CURRENT_USER, kClasses + prog_id_},
                  {HKEY_CURRENT_USER, kClasses + other_prog_id_},
                  {HKEY_LOCAL_MACHINE, kClasses + protocol_},
                  {HKEY_LOCAL_MACHINE, kClasses + extension_},
                  {HKEY_LOCAL_MACHINE, kClasses + prog_id_},
                  {HKEY_CURRENT_USER, kUrlAssociations + protocol_},
                  {HKEY_CURRENT_USER, kFileExts + extension_}}),
        platform_(base::win::kVersionWin10),
        scoped_platform_(&platform_) {}

  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { CoUninitialize(); }

  std::u16string UserChoice(const std::u16string& name) const {
    return (name[0] == u'.' ? kFileExts : kUrlAssociations) + name +
           u"\\UserChoice";
  }

  std::u16string Lookup(const std::u16string& name, bool all_users) {
    std::u16string command = u"(not changed)";
    return GetHandlerCommand(name, all_users, &command) ? command : u"(failed)";
  }

  const std::u16string id_;
  const std::u16string protocol_;
  const std::u16string extension_;
  const std::u16string prog_id_;
  const std::u16string other_prog_id_;
  test::ScopedRegistryRestore restore_;
  test::FakeShellPlatform platform_;
  ScopedShellPlatformForTesting scoped_platform_;
};

TEST_F(HandlerCommandTest, ProtocolWithAndWithoutUserChoice) {
  // Registered under Classes only: no UserChoice key at all.
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kClasses + protocol_ + kCommand,
                      nullptr, u"\"C:\\Own\\app.exe\" \"%1\""));
  EXPECT_EQ(u"\"C:\\Own\\app.exe\" \"%1\"", Lookup(protocol_, false));

  // A UserChoice key without a ProgId value.
  ASSERT_TRUE(
      SetText(HKEY_CURRENT_USER, UserChoice(protocol_), u"Other", u"x"));
  EXPECT_EQ(u"\"C:\\Own\\app.exe\" \"%1\"", Lookup(protocol_, false));

  // The user's choice names another class.
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kClasses + prog_id_ + kCommand,
                      nullptr, u"chosen.exe %1"));
  ASSERT_TRUE(
      SetText(HKEY_CURRENT_USER, UserChoice(protocol_), u"ProgId", prog_id_));
  EXPECT_EQ(u"chosen.exe %1", Lookup(protocol_, false));

  // For all users the choice and the user's classes do not count.
  EXPECT_EQ(u"(failed)", Lookup(protocol_, true));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kClasses + protocol_ + kCommand,
                      nullptr, u"machine.exe"));
  EXPECT_EQ(u"machine.exe", Lookup(protocol_, true));

  // Before Vista there is no user's choice.
  test::FakeShellPlatform xp(base::win::kVersionXP);
  ScopedShellPlatformForTesting scoped_xp(&xp);
  EXPECT_EQ(u"\"C:\\Own\\app.exe\" \"%1\"", Lookup(protocol_, false));
}

TEST_F(HandlerCommandTest, ExtensionNamesItsClass) {
  EXPECT_EQ(u"(failed)", Lookup(extension_, false));
  ASSERT_TRUE(
      SetText(HKEY_CURRENT_USER, kClasses + extension_, nullptr, prog_id_));
  EXPECT_EQ(u"(failed)", Lookup(extension_, false));
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kClasses + prog_id_ + kCommand,
                      nullptr, u"by-class.exe"));
  EXPECT_EQ(u"by-class.exe", Lookup(extension_, false));

  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kClasses + other_prog_id_ + kCommand,
                      nullptr, u"by-choice.exe"));
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, UserChoice(extension_), u"Progid",
                      other_prog_id_));
  EXPECT_EQ(u"by-choice.exe", Lookup(extension_, false));

  EXPECT_EQ(u"(failed)", Lookup(extension_, true));
  ASSERT_TRUE(
      SetText(HKEY_LOCAL_MACHINE, kClasses + extension_, nullptr, prog_id_));
  ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kClasses + prog_id_ + kCommand,
                      nullptr, u"machine-class.exe"));
  EXPECT_EQ(u"machine-class.exe", Lookup(extension_, true));
}

TEST_F(HandlerCommandTest, ValuesOfEveryShapeReadSafely) {
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, kClasses + prog_id_ + kCommand,
                      nullptr, u"%VELNA_TEST_HANDLER%\\app.exe",
                      REG_EXPAND_SZ));
  SetEnvironmentVariableW(L"VELNA_TEST_HANDLER", L"C:\\Expanded");
  SetEnvironmentVariableW(L"VELNA_TEST_PROG_ID", base::as_wcstr(prog_id_));
  const std::u16string choice = UserChoice(protocol_);
  const std::u16string unterminated = prog_id_;
  const std::u16string too_long(1100, u'x');
  const DWORD number = 7;
  const struct {
    DWORD type;
    const void* data;
    size_t size;
    const char16_t* command;
  } kCases[] = {
      {REG_EXPAND_SZ, u"%VELNA_TEST_PROG_ID%", sizeof(u"%VELNA_TEST_PROG_ID%"),
       u"C:\\Expanded\\app.exe"},
      // No terminating NUL, exactly the text.
      {REG_SZ, unterminated.data(), unterminated.size() * sizeof(char16_t),
       u"C:\\Expanded\\app.exe"},
      // Longer than the 2048-byte buffer.
      {REG_SZ, too_long.c_str(), (too_long.size() + 1) * sizeof(char16_t),
       u"(failed)"},
      {REG_DWORD, &number, sizeof(number), u"(failed)"},
      {REG_BINARY, u"abc", 6, u"(failed)"},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.type);
    ASSERT_TRUE(SetValue(HKEY_CURRENT_USER, choice, u"ProgId", test_case.type,
                         test_case.data, test_case.size));
    EXPECT_EQ(test_case.command, Lookup(protocol_, false));
  }

  // An expansion beyond 1024 characters is refused.
  SetEnvironmentVariableW(L"VELNA_TEST_LONG",
                          base::as_wcstr(std::u16string(1030, u'y')));
  ASSERT_TRUE(SetText(HKEY_CURRENT_USER, choice, u"ProgId",
                      u"%VELNA_TEST_LONG%", REG_EXPAND_SZ));
  EXPECT_EQ(u"(failed)", Lookup(protocol_, false));
  SetEnvironmentVariableW(L"VELNA_TEST_LONG", nullptr);
}

class HandlerOursTest : public HandlerCommandTest {
 protected:
  void SetUp() override {
    HandlerCommandTest::SetUp();
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
  }
  base::ScopedTempDir temp_;
};

TEST_F(HandlerOursTest, CommandMustContainTheExpectedProgram) {
  const std::u16string folder = temp_.GetPath().value();
  std::u16string upper = folder;
  for (char16_t& c : upper) c = base::ToUpperASCII(c);
  InstallationInfo info(temp_.GetPath());
  const struct {
    std::u16string command;
    bool launcher;
    bool browser;
  } kCases[] = {
      {u"\"" + folder + u"\\launcher.exe\" -- \"%1\"", true, false},
      {u"\"" + folder + u"\\Launcher.exe\" -- \"%1\"", true, false},
      {u"\"" + upper + u"\\LAUNCHER.EXE\"", true, false},
      {u"\"" + folder + u"\\velna.exe\" \"%1\"", false, true},
      {u"\"" + folder + u"x\\launcher.exe\"", false, false},
      {u"\"C:\\Other\\launcher.exe\"", false, false},
  };
  const std::u16string key = kClasses + protocol_ + kCommand;
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message() << base::UTF16ToUTF8(test_case.command));
    ASSERT_TRUE(SetText(HKEY_CURRENT_USER, key, nullptr, test_case.command));
    EXPECT_EQ(test_case.launcher, info.IsHandlerCommandOurs(protocol_, false));
    EXPECT_EQ(test_case.browser, info.IsHandlerCommandOurs(protocol_, true));
  }
  // No command at all.
  ASSERT_EQ(
      ERROR_SUCCESS,
      RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(kClasses + protocol_)));
  EXPECT_FALSE(info.IsHandlerCommandOurs(protocol_, false));
}

}  // namespace
}  // namespace installer
