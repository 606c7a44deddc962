#include "desktop/windows/installer/service/registry_entry_tables_win.h"

#include <windows.h>

#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/process/launch.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/placeholder_expansion.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using MapDelegate = test::MapRegistryEntryDelegate;
using Snapshot = test::RawRegistryValue;

// The rows written out by hand, apart from the product's tables, so that a
// mistake in any product row fails here rather than being compared with
// itself.
const HKEY kAnyRoot = nullptr;
constexpr uint32_t kDeleteKey = 0xFFFFFFFE;

const RegistryEntryTemplate kExpectedMainTable[] = {
    // 0
    {u"Software\\Classes\\{Product}{Stream}", u"FriendlyTypeName", REG_SZ,
     TextData(u"{Product} Web Document"), 1, kAnyRoot, 0, 1},
    // 1
    {u"Software\\Classes\\{Product}{Stream}", u"URL Protocol", REG_SZ, kNoData,
     1, kAnyRoot, 0, 1},
    // 2
    {u"Software\\Classes\\{Product}{Stream}\\DefaultIcon", nullptr, REG_SZ,
     TextData(u"{InstallFolder}\\Launcher.exe,0"), 1, kAnyRoot, 0, 1},
    // 3
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\command", nullptr,
     REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" -noautoupdate -- \"%1\""), 1,
     kAnyRoot, 0, 2},
    // 4
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec", nullptr,
     kDeleteKey, kNoData, 1, HKEY_LOCAL_MACHINE, 0, 0},
    // 5
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec", nullptr,
     REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 2},
    // 6
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec\\Application",
     nullptr, REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 1},
    // 7
    {u"Software\\Classes\\{Product}{Stream}\\shell\\open\\ddeexec\\Topic",
     nullptr, REG_SZ, TextData(u""), 1, HKEY_CURRENT_USER, 0, 1},
    // 8
    {u"Software\\Classes\\.vnx", nullptr, REG_SZ,
     TextData(u"{Product}{Stream}.Extension"), 1, kAnyRoot, 0, 1},
    // 9
    {u"Software\\Classes\\.vnx\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 1},
    // 10
    {u"Software\\Classes\\.vldownload\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 11
    {u"Software\\Classes\\.htm\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 12
    {u"Software\\Classes\\.html\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 13
    {u"Software\\Classes\\.pdf\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 14
    {u"Software\\Classes\\.shtml\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 15
    {u"Software\\Classes\\.xht\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 16
    {u"Software\\Classes\\.xhtml\\OpenWithProgIDs", u"{Product}{Stream}",
     REG_NONE, kNoData, 1, kAnyRoot, 0, 0},
    // 17
    {u"Software\\Classes\\Applications\\{Executable}\\shell\\open\\command",
     nullptr, REG_SZ, TextData(u"\"{InstallFolder}\\Launcher.exe\" \"%1\""), 1,
     kAnyRoot, 4, 4},
    // 18
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}",
     nullptr, REG_SZ, TextData(u"\"{InstallFolder}\\Launcher.exe\""), 1,
     kAnyRoot, 4, 0},
    // 19
    {u"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\{Executable}",
     u"Path", REG_SZ, TextData(u"\"{InstallFolder}\""), 1, kAnyRoot, 4, 0},
    // 20
    {u"Software\\Microsoft\\Windows "
     u"NT\\CurrentVersion\\AppCompatFlags\\Compatibility Assistant\\Persisted",
     u"{InstallFolder}\\Launcher.exe", REG_DWORD, DwordData(32), 3, kAnyRoot, 0,
     0},
    // 21
    {u"Software\\RegisteredApplications", u"{Product} {Stream}", REG_SZ,
     TextData(u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
              u"\\Capabilities"),
     3, kAnyRoot, 0, 0},
    // 22
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}", nullptr,
     REG_SZ, TextData(u"{Product} {Stream}"), 1, kAnyRoot, 0, 1},
    // 23
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\DefaultIcon",
     nullptr, REG_SZ, TextData(u"{InstallFolder}\\Launcher.exe,0"), 1, kAnyRoot,
     0, 1},
    // 24
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"ShowIconsCommand", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" --showicons"), 1, kAnyRoot, 0,
     1},
    // 25
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"HideIconsCommand", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" --hideicons"), 1, kAnyRoot, 0,
     1},
    // 26
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"ReinstallCommand", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" --makedefaultbrowser"), 1,
     kAnyRoot, 0, 1},
    // 27
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\InstallInfo",
     u"IconsVisible", REG_DWORD, DwordData(1), 1, kAnyRoot, 0, 1},
    // 28
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\shell\\open\\command",
     nullptr, REG_SZ, TextData(u"\"{InstallFolder}\\Launcher.exe\""), 1,
     kAnyRoot, 0, 2},
    // 29
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\Capabilities",
     u"ApplicationDescription", REG_SZ, TextData(u"Do more on the web"), 3,
     kAnyRoot, 0, 1},
    // 30
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\Capabilities",
     u"ApplicationIcon", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\",0"), 3, kAnyRoot, 0, 1},
    // 31
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}\\Capabilities",
     u"ApplicationName", REG_SZ, TextData(u"{Product} {Stream}"), 3, kAnyRoot,
     0, 1},
    // 32
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".crx", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 33
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".htm", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 34
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".html", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 35
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".nex", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 36
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".vldownload", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 37
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".pdf", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 38
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".shtml", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 39
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".xht", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 40
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\FileAssociations",
     u".xhtml", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 41
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\Startmenu",
     u"StartMenuInternet", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot,
     0, 1},
    // 42
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"http", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 43
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"https", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 44
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"ftp", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 45
    {u"Software\\Clients\\StartMenuInternet\\{Product}{Stream}"
     u"\\Capabilities\\UrlAssociations",
     u"mailto", REG_SZ, TextData(u"{Product}{Stream}"), 3, kAnyRoot, 0, 1},
    // 46
    {u"{Uninstall}", u"InstallLocation", REG_SZ, TextData(u"{InstallFolder}"),
     1, kAnyRoot, 0, 1},
    // 47
    {u"{Uninstall}", u"DisplayName", REG_SZ,
     TextData(u"{Product} {Stream} {Version}"), 1, kAnyRoot, 0, 1},
    // 48
    {u"{Uninstall}", u"DisplayIcon", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\",0"), 1, kAnyRoot, 0, 1},
    // 49
    {u"{Uninstall}", u"DisplayVersion", REG_SZ, TextData(u"{Version}"), 1,
     kAnyRoot, 0, 1},
    // 50
    {u"{Uninstall}", u"HelpLink", REG_SZ, TextData(u"{HelpURL}"), 1, kAnyRoot,
     0, 1},
    // 51
    {u"{Uninstall}", u"NoModify", REG_DWORD, DwordData(1), 1, kAnyRoot, 0, 1},
    // 52
    {u"{Uninstall}", u"NoRepair", REG_DWORD, DwordData(1), 1, kAnyRoot, 0, 1},
    // 53
    {u"{Uninstall}", u"Publisher", REG_SZ, TextData(u"{Company}"), 1, kAnyRoot,
     0, 1},
    // 54
    {u"{Uninstall}", u"UninstallString", REG_SZ,
     TextData(u"\"{InstallFolder}\\Launcher.exe\" /uninstall"), 1, kAnyRoot, 0,
     1},
    // 55
    {u"{Uninstall}", u"URLInfoAbout", REG_SZ, TextData(u"{CompanyURL}"), 1,
     kAnyRoot, 0, 1},
    // 56
    {u"{Uninstall}", u"URLUpdateInfo", REG_SZ, TextData(u"{DownloadsURL}"), 1,
     kAnyRoot, 0, 1},
};

const RegistryEntryTemplate kExpectedLastInstallPath = {
    u"{CompanyRegistryKey}",
    u"Last {Stream} Install Path",
    REG_SZ,
    TextData(u"{InstallFolder}\\"),
    1,
    kAnyRoot,
    0,
    0};
const RegistryEntryTemplate kExpectedHideFromPrograms = {u"{Uninstall}",
                                                         u"SystemComponent",
                                                         REG_DWORD,
                                                         DwordData(1),
                                                         1,
                                                         kAnyRoot,
                                                         0,
                                                         1};
const RegistryEntryTemplate kExpectedStartMenuDefault = {
    u"Software\\Clients\\StartMenuInternet",
    nullptr,
    REG_SZ,
    TextData(u"{Product}{Stream}"),
    1,
    kAnyRoot,
    0,
    0};

// A template text for messages; a null pointer shows as <null>, apart from
// an empty text.
std::string Show(const char16_t* text) {
  return text ? "\"" + base::UTF16ToUTF8(text) + "\"" : "<null>";
}

// Every field of |actual| against |expected|; the data only as its type
// reads it, and no stray data for the types that read none.
void ExpectRow(const RegistryEntryTemplate& expected,
               const RegistryEntryTemplate& actual) {
  EXPECT_EQ(Show(expected.key), Show(actual.key));
  EXPECT_EQ(Show(expected.value_name), Show(actual.value_name));
  EXPECT_EQ(expected.type, actual.type);
  switch (expected.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      EXPECT_EQ(Show(expected.data.text), Show(actual.data.text));
      break;
    case REG_DWORD:
      EXPECT_EQ(expected.data.number, actual.data.number);
      break;
    default:
      EXPECT_EQ(nullptr, actual.data.text);
      EXPECT_EQ(nullptr, actual.data.bytes);
      EXPECT_EQ(0u, actual.data.number);
  }
  EXPECT_EQ(expected.min_os_version, actual.min_os_version);
  EXPECT_EQ(expected.root, actual.root);
  EXPECT_EQ(expected.min_channel, actual.min_channel);
  EXPECT_EQ(expected.clean_depth, actual.clean_depth);
}

// One applied row, expanded.
struct Expected {
  std::u16string key;
  std::u16string name;
  DWORD type;
  std::vector<BYTE> data;
  std::u16string text;  // REG_SZ data as text
  uint32_t clean_depth;
};

// Applies rows of the real tables under product names of this process, so
// that parallel runs never meet. Everything the rows write under
// HKEY_CURRENT_USER (also the shared locations: Software\Classes,
// RegisteredApplications, AppCompatFlags) is rolled back, and the test
// checks that each value and key is as it was before.
class RegistryTablesTest : public testing::Test {
 protected:
  void SetUp() override {
    std::u16string pid = base::UintToString16(GetCurrentProcessId());
    test_key_ = u"Software\\VelnaTest\\RegistryTables-" + pid;
    product_ = u"VelnaTest" + pid;
    install_folder_ = u"C:\\Program Files\\VelnaTest" + pid + u" Beta";
    delegate_.values = {
        {u"InstallFolder", install_folder_},
        {u"Version", u"1.2.3.4"},
        {u"Executable", u"velna.exe"},
        {u"Product", product_},
        {u"Company", u"Velna Test Company"},
        {u"CompanyRegistryKey", test_key_ + u"\\Company"},
        {u"Stream", u"Beta"},
        {u"Uninstall", test_key_ + u"\\Uninstall"},
        {u"HelpURL", u"https://help.velna.test/"},
        {u"CompanyURL", u"https://velna.test/"},
        {u"DownloadsURL", u"https://velna.test/download/"},
    };
  }
  void TearDown() override {
    Transaction::Rollback(&transaction_);
    RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(test_key_));
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, base::as_wcstr(ProductClassKey()));
  }

  std::u16string ProductClassKey() const {
    return u"Software\\Classes\\" + product_ + u"Beta";
  }

  std::u16string Expand(const char16_t* text) {
    if (!text) return std::u16string();
    return ExpandPlaceholders(text, [this](const std::u16string& name) {
      return delegate_.ResolvePlaceholder(name);
    });
  }

  Expected ExpectedFor(const RegistryEntryTemplate& row) {
    Expected expected{Expand(row.key), Expand(row.value_name), row.type, {}, {},
                      row.clean_depth};
    if (row.type == REG_SZ) {
      expected.text = Expand(row.data.text);
      if (!expected.text.empty()) {
        const BYTE* bytes =
            reinterpret_cast<const BYTE*>(expected.text.c_str());
        expected.data.assign(bytes, bytes + (expected.text.size() + 1) * 2);
      }
    } else if (row.type == REG_DWORD) {
      DWORD number = static_cast<DWORD>(row.data.number);
      const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
      expected.data.assign(bytes, bytes + 4);
    }
    return expected;
  }

  std::u16string test_key_;
  std::u16string product_;
  std::u16string install_folder_;
  MapDelegate delegate_;
  Transaction transaction_;
};

TEST(RegistryTablesShapeTest, EveryRowIsAsWrittenOut) {
  const std::span<const RegistryEntryTemplate> table = GetMainRegistryTable();
  ASSERT_EQ(std::size(kExpectedMainTable), table.size());
  for (size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    ExpectRow(kExpectedMainTable[i], table[i]);
  }
  // The programmatic identifier: the first eight rows, not a copy.
  ASSERT_EQ(8u, GetProgIdRegistryTable().size());
  EXPECT_EQ(table.data(), GetProgIdRegistryTable().data());
  {
    // Other programs read this value; its key, name and data stay.
    SCOPED_TRACE("last install path");
    ExpectRow(kExpectedLastInstallPath, kSetLastInstallPathRegOp);
  }
  {
    SCOPED_TRACE("hide from programs");
    ExpectRow(kExpectedHideFromPrograms, kHideFromProgramsRegOp);
  }
  {
    SCOPED_TRACE("Start-menu default");
    ExpectRow(kExpectedStartMenuDefault, kStartMenuInternetDefaultRegOp);
  }
}

TEST_F(RegistryTablesTest, MainTableForTheCurrentUserAndItsRollback) {
  const int windows_version = base::win::GetWindowsVersion();
  const int channel = VersionInfo::GetReleaseChannel();
  // What the written-out rows say, so that a wrong product row shows.
  std::vector<Expected> expected;
  for (const RegistryEntryTemplate& row : kExpectedMainTable) {
    if (RegistryEntry::Applies(row, HKEY_CURRENT_USER, windows_version,
                               channel))
      expected.push_back(ExpectedFor(row));
  }
  // On Windows 10 (the test prefix) every row applies for the current user
  // but the HKLM deletion and the three stable-only rows.
  if (windows_version >= base::win::kVersionVista && channel < 4) {
    EXPECT_EQ(53u, expected.size());
  }

  // The state before, for every value and key the rows touch.
  std::map<std::pair<std::u16string, std::u16string>, Snapshot> before;
  std::map<std::u16string, bool> key_existed;
  for (const Expected& value : expected) {
    before[{value.key, value.name}] =
        test::ReadRawRegistryValue(HKEY_CURRENT_USER, value.key, value.name);
    for (std::u16string key = value.key; !key.empty();) {
      key_existed.emplace(key, test::RegistryKeyExists(HKEY_CURRENT_USER, key));
      size_t slash = key.rfind(u'\\');
      key.resize(slash == std::u16string::npos ? 0 : slash);
    }
  }

  for (const RegistryEntryTemplate& row : GetMainRegistryTable()) {
    RegistryEntry entry(row, &delegate_);
    std::unique_ptr<Operation> op;
    ASSERT_TRUE(entry.Apply(HKEY_CURRENT_USER, &op));
    if (op) {
      ASSERT_TRUE(Transaction::RunOperation(&transaction_, std::move(op)));
    }
  }

  // Through the registry calls.
  for (const Expected& value : expected) {
    SCOPED_TRACE(base::UTF16ToUTF8(value.key + u" : " + value.name));
    Snapshot now =
        test::ReadRawRegistryValue(HKEY_CURRENT_USER, value.key, value.name);
    ASSERT_EQ(ERROR_SUCCESS, now.result);
    EXPECT_EQ(value.type, now.type);
    EXPECT_EQ(value.data, now.data);
  }

  // Through reg.exe, value by value. Wine's reg.exe prints stale bytes for
  // (and may crash on) a REG_SZ of no bytes, so those are checked above only.
  for (const Expected& value : expected) {
    if (value.type == REG_SZ && value.data.empty()) continue;
    SCOPED_TRACE(base::UTF16ToUTF8(value.key + u" : " + value.name));
    std::u16string command =
        u"reg.exe query \"HKCU\\" + value.key + u"\" " +
        (value.name.empty() ? std::u16string(u"/ve")
                            : u"/v \"" + value.name + u"\"");
    std::string output;
    // Under heavy load the test system now and then fails to start a
    // process ("Internal error"): one of some fifty here.
    bool ran = false;
    for (int attempt = 0; attempt < 3 && !ran; ++attempt)
      ran = base::GetAppOutputInternal(command, false, &output);
    ASSERT_TRUE(ran);
    std::string type = RegistryTypeName(value.type);
    std::string data =
        value.type == REG_DWORD
            ? base::StringPrintf(
                  "0x%lx", *reinterpret_cast<const DWORD*>(value.data.data()))
            : base::UTF16ToUTF8(value.text);
    bool found = false;
    for (size_t start = 0; start < output.size();) {
      size_t end = output.find('\n', start);
      if (end == std::string::npos) end = output.size();
      std::string line = output.substr(start, end - start);
      start = end + 1;
      size_t at = line.find("    " + type);
      found |=
          at != std::string::npos && line.find(data, at) != std::string::npos &&
          (value.name.empty() || line.find(base::UTF16ToUTF8(value.name)) < at);
    }
    EXPECT_TRUE(found) << type << " " << data << " in\n" << output;
  }

  // Recorded in the HKCU section: one record per key, whatever its case,
  // with the largest clean depth of its rows and every value in row order.
  std::vector<std::u16string> key_order;
  std::map<std::string, uint32_t> depths;
  std::map<std::string, std::vector<std::string>> names;
  for (const Expected& value : expected) {
    std::string key = base::ToLowerASCII(base::UTF16ToUTF8(value.key));
    if (!depths.count(key)) key_order.push_back(value.key);
    depths[key] = std::max(depths[key], value.clean_depth);
    names[key].push_back(base::UTF16ToUTF8(value.name));
  }
  ASSERT_EQ(key_order.size(), delegate_.hkcu.size());
  EXPECT_TRUE(delegate_.hklm.empty());
  for (size_t i = 0; i < key_order.size(); ++i) {
    const InstallLogKey& record = delegate_.hkcu[i];
    std::string key = base::ToLowerASCII(record.path);
    EXPECT_EQ(base::UTF16ToUTF8(key_order[i]), record.path);
    EXPECT_EQ(static_cast<int>(depths[key]), record.clean_depth) << key;
    std::vector<std::string> recorded;
    for (const InstallLogValue& value : record.values)
      recorded.push_back(value.name);
    EXPECT_EQ(names[key], recorded) << key;
  }

  // The rollback leaves every value and key as it was.
  Transaction::Rollback(&transaction_);
  for (const auto& [key_and_name, value] : before) {
    SCOPED_TRACE(
        base::UTF16ToUTF8(key_and_name.first + u" : " + key_and_name.second));
    EXPECT_EQ(value,
              test::ReadRawRegistryValue(HKEY_CURRENT_USER, key_and_name.first,
                                         key_and_name.second));
  }
  for (const auto& [key, existed] : key_existed) {
    EXPECT_EQ(existed, test::RegistryKeyExists(HKEY_CURRENT_USER, key))
        << base::UTF16ToUTF8(key);
  }
}

TEST_F(RegistryTablesTest, LastInstallPathRow) {
  RegistryEntry entry(kSetLastInstallPathRegOp, &delegate_);
  std::unique_ptr<Operation> op;
  ASSERT_TRUE(entry.Apply(HKEY_CURRENT_USER, &op));
  ASSERT_TRUE(op);
  ASSERT_TRUE(Transaction::RunOperation(&transaction_, std::move(op)));
  std::u16string expected = install_folder_ + u"\\";
  Snapshot value = test::ReadRawRegistryValue(
      HKEY_CURRENT_USER, test_key_ + u"\\Company", u"Last Beta Install Path");
  ASSERT_EQ(ERROR_SUCCESS, value.result);
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), value.type);
  EXPECT_EQ((expected.size() + 1) * 2, value.data.size());
  EXPECT_EQ(0, memcmp(expected.c_str(), value.data.data(), value.data.size()));
  ASSERT_EQ(1u, delegate_.hkcu.size());
  EXPECT_EQ(0, delegate_.hkcu[0].clean_depth);
}

// The one deletion row clears a stale DDE key from an install for all
// users, undoably, and records nothing.
TEST_F(RegistryTablesTest, DdeKeyIsDeletedOnlyForAllUsers) {
  const RegistryEntryTemplate& row = GetMainRegistryTable()[4];
  ASSERT_EQ(kRegTypeDeleteKey, row.type);
  RegistryEntry entry(row, &delegate_);
  std::unique_ptr<Operation> op;
  ASSERT_TRUE(entry.Apply(HKEY_CURRENT_USER, &op));
  EXPECT_FALSE(op);

  const std::u16string product_key = ProductClassKey();
  const std::u16string dde = product_key + u"\\shell\\open\\ddeexec";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_LOCAL_MACHINE,
                            base::as_wcstr(dde + u"\\Application"), nullptr,
                            REG_SZ, L"Velna", 12));
  ASSERT_TRUE(entry.Apply(HKEY_LOCAL_MACHINE, &op));
  ASSERT_TRUE(op);
  ASSERT_TRUE(Transaction::RunOperation(&transaction_, std::move(op)));
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE, dde));
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_LOCAL_MACHINE,
                                      product_key + u"\\shell\\open"));
  EXPECT_TRUE(delegate_.hklm.empty());

  Transaction::Rollback(&transaction_);
  Snapshot restored = test::ReadRawRegistryValue(HKEY_LOCAL_MACHINE,
                                                 dde + u"\\Application", u"");
  EXPECT_EQ(ERROR_SUCCESS, restored.result);
}

}  // namespace
}  // namespace installer
