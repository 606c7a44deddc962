#include "desktop/windows/installer/service/registry_entry_win.h"

#include <windows.h>

#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/service/own_registry_rows_win.h"
#include "desktop/windows/installer/service/registry_entry_tables_win.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/registry_test_util.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "desktop/windows/installer/service/utils.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using MapDelegate = test::MapRegistryEntryDelegate;

class NoopOperation : public Operation {
 public:
  bool Execute(Transaction*) override { return true; }
  void Rollback() override {}
};

using RawValue = test::RawRegistryValue;

std::vector<BYTE> Bytes(const void* data, size_t size) {
  const BYTE* bytes = static_cast<const BYTE*>(data);
  return std::vector<BYTE>(bytes, bytes + size);
}

class RegistryEntryTest : public testing::Test {
 protected:
  void SetUp() override {
    test_key_ = u"Software\\VelnaTest\\RegistryEntry-" +
                base::UintToString16(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(test_key_));
    delegate_.values = {{u"Root", test_key_},
                        {u"InstallFolder", u"C:\\Velna"},
                        {u"Product", u"Velna"},
                        {u"Stream", u"Stable"}};
  }
  void TearDown() override {
    Transaction::Rollback(&transaction_);
    RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(test_key_));
  }

  // Applies |row| for |root| and runs what it gives into transaction_.
  ::testing::AssertionResult ApplyAndRun(const RegistryEntryTemplate& row,
                                         HKEY root = HKEY_CURRENT_USER) {
    RegistryEntry entry(row, &delegate_);
    std::unique_ptr<Operation> op;
    if (!entry.Apply(root, &op))
      return ::testing::AssertionFailure() << "Apply failed";
    if (!op) return ::testing::AssertionFailure() << "no operation";
    if (!Transaction::RunOperation(&transaction_, std::move(op)))
      return ::testing::AssertionFailure() << "operation failed";
    return ::testing::AssertionSuccess();
  }

  std::u16string test_key_;
  MapDelegate delegate_;
  Transaction transaction_;
};

TEST(RegistryEntryAppliesTest, ChecksVersionRootAndChannel) {
  const HKEY kLocal = HKEY_LOCAL_MACHINE;
  const HKEY kUser = HKEY_CURRENT_USER;
  const struct {
    int32_t min_os;
    HKEY row_root;
    int32_t min_channel;
    HKEY root;
    int windows_version;
    int channel;
    bool applies;
  } kCases[] = {
      {3, nullptr, 0, kUser, 1, 3, false},  // Vista row on XP
      {3, nullptr, 0, kUser, 2, 3, false},  // and on Server 2003
      {3, nullptr, 0, kUser, 3, 3, true},
      {1, nullptr, 0, kUser, 8, 3, true},
      {-1, nullptr, 0, kUser, 0, 3, true},  // signed comparison
      {1, kLocal, 0, kUser, 8, 3, false},
      {1, kLocal, 0, kLocal, 8, 3, true},
      {1, kUser, 0, kLocal, 8, 3, false},
      {1, nullptr, 4, kUser, 8, 3, false},  // stable only, in this build
      {1, nullptr, 4, kUser, 8, 4, true},
      {1, nullptr, 0, kUser, 8, 1, true},
  };
  for (size_t i = 0; i < std::size(kCases); ++i) {
    SCOPED_TRACE(i);
    const auto& test_case = kCases[i];
    RegistryEntryTemplate row = {u"k",
                                 nullptr,
                                 REG_SZ,
                                 kNoData,
                                 test_case.min_os,
                                 test_case.row_root,
                                 test_case.min_channel,
                                 0};
    EXPECT_EQ(
        test_case.applies,
        RegistryEntry::Applies(row, test_case.root, test_case.windows_version,
                               test_case.channel));
  }
}

TEST_F(RegistryEntryTest, RowsThatDoNotApplyGiveNoOperation) {
  ASSERT_LT(VersionInfo::GetReleaseChannel(), 4);
  const RegistryEntryTemplate kRows[] = {
      {u"{Root}\\Os", u"v", REG_SZ, TextData(u"x"), 99, nullptr, 0, 1},
      {u"{Root}\\Hklm", u"v", REG_SZ, TextData(u"x"), 1, HKEY_LOCAL_MACHINE, 0,
       1},
      {u"{Root}\\Stable", u"v", REG_SZ, TextData(u"x"), 1, nullptr, 4, 1},
  };
  for (const RegistryEntryTemplate& row : kRows) {
    RegistryEntry entry(row, &delegate_);
    std::unique_ptr<Operation> op = std::make_unique<NoopOperation>();
    EXPECT_TRUE(entry.Apply(HKEY_CURRENT_USER, &op));
    EXPECT_FALSE(op);
  }
  EXPECT_TRUE(delegate_.hkcu.empty());
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, test_key_));
}

TEST_F(RegistryEntryTest, RejectsTypesItCannotWrite) {
  for (uint32_t type : {5u, 7u, 11u, 0xFFFFFFFDu}) {
    SCOPED_TRACE(type);
    RegistryEntryTemplate row = {u"{Root}", u"v",    type, DwordData(1),
                                 1,         nullptr, 0,    1};
    RegistryEntry entry(row, &delegate_);
    std::unique_ptr<Operation> op;
    EXPECT_FALSE(entry.Apply(HKEY_CURRENT_USER, &op));
    EXPECT_FALSE(op);
  }
  EXPECT_TRUE(delegate_.hkcu.empty());
}

TEST_F(RegistryEntryTest, WritesEachKindOfValue) {
  const uint32_t kThirtyTwo = 32;
  const char16_t kFolder[] = u"C:\\Velna";
  const char16_t kExpand[] = u"%TEMP%\\Velna";
  const struct {
    RegistryEntryTemplate row;
    const char16_t* key;  // below the test key
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
    const char* recorded;
  } kCases[] = {
      // 2n + 2 bytes: the terminator is written.
      {{u"{Root}\\Kinds", u"Sz", REG_SZ, TextData(u"{InstallFolder}"), 1,
        nullptr, 0, 1},
       u"\\Kinds",
       u"Sz",
       REG_SZ,
       Bytes(kFolder, sizeof(kFolder)),
       "C:\\Velna"},
      // An empty text is a value of no bytes.
      {{u"{Root}\\Kinds", u"Null", REG_SZ, kNoData, 1, nullptr, 0, 1},
       u"\\Kinds",
       u"Null",
       REG_SZ,
       {},
       ""},
      {{u"{Root}\\Kinds", u"Empty", REG_SZ, TextData(u""), 1, nullptr, 0, 1},
       u"\\Kinds",
       u"Empty",
       REG_SZ,
       {},
       ""},
      {{u"{Root}\\Kinds", u"Expand", REG_EXPAND_SZ,
        TextData(u"%TEMP%\\{Product}"), 1, nullptr, 0, 1},
       u"\\Kinds",
       u"Expand",
       REG_EXPAND_SZ,
       Bytes(kExpand, sizeof(kExpand)),
       "%TEMP%\\Velna"},
      {{u"{Root}\\Kinds", u"Dword", REG_DWORD, DwordData(32), 1, nullptr, 0, 1},
       u"\\Kinds",
       u"Dword",
       REG_DWORD,
       Bytes(&kThirtyTwo, 4),
       "00000020"},
      {{u"{Root}\\Kinds", u"Binary", REG_BINARY, BinaryData("\x0a\x1b"), 1,
        nullptr, 0, 1},
       u"\\Kinds",
       u"Binary",
       REG_BINARY,
       {0x0a, 0x1b},
       "0a,1b"},
      {{u"{Root}\\Kinds", u"{Product}{Stream}", REG_NONE, kNoData, 1, nullptr,
        0, 1},
       u"\\Kinds",
       u"VelnaStable",
       REG_NONE,
       {},
       ""},
      {{u"{Root}\\Kinds\\Default", nullptr, REG_SZ, TextData(u"{Product}"), 1,
        nullptr, 0, 2},
       u"\\Kinds\\Default",
       u"",
       REG_SZ,
       Bytes(u"Velna", 12),
       "Velna"},
  };
  for (const auto& test_case : kCases) ASSERT_TRUE(ApplyAndRun(test_case.row));

  for (const auto& test_case : kCases) {
    SCOPED_TRACE(base::UTF16ToUTF8(test_case.name));
    RawValue value = test::ReadRawRegistryValue(
        HKEY_CURRENT_USER, test_key_ + test_case.key, test_case.name);
    ASSERT_EQ(ERROR_SUCCESS, value.result);
    EXPECT_EQ(test_case.type, value.type);
    EXPECT_EQ(test_case.data, value.data);
  }

  // Recorded before running, with the types' names and the data as text.
  ASSERT_EQ(2u, delegate_.hkcu.size());
  const InstallLogKey& kinds = delegate_.hkcu[0];
  EXPECT_EQ(base::UTF16ToUTF8(test_key_) + "\\Kinds", kinds.path);
  ASSERT_EQ(7u, kinds.values.size());
  for (size_t i = 0; i < kinds.values.size(); ++i) {
    EXPECT_EQ(kCases[i].recorded, kinds.values[i].data);
    EXPECT_EQ(RegistryTypeName(kCases[i].type), kinds.values[i].type);
  }
  EXPECT_EQ("VelnaStable", kinds.values[6].name);
  EXPECT_EQ(2, delegate_.hkcu[1].clean_depth);
  EXPECT_EQ("", delegate_.hkcu[1].values[0].name);

  // Rolling back removes the key that the first value created.
  Transaction::Rollback(&transaction_);
  EXPECT_FALSE(
      test::RegistryKeyExists(HKEY_CURRENT_USER, test_key_ + u"\\Kinds"));
}

TEST_F(RegistryEntryTest, RemovesValuesAndDeletesKeyTrees) {
  const std::u16string tree = test_key_ + u"\\Tree";
  HKEY handle = nullptr;
  ASSERT_EQ(
      ERROR_SUCCESS,
      RegCreateKeyExW(HKEY_CURRENT_USER, base::as_wcstr(tree + u"\\Sub"), 0,
                      nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr));
  const DWORD kSeven = 7;
  RegSetValueExW(handle, L"Inner", 0, REG_DWORD,
                 reinterpret_cast<const BYTE*>(&kSeven), 4);
  RegCloseKey(handle);
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_CURRENT_USER, base::as_wcstr(test_key_),
                            L"Old", REG_SZ, L"old", 8));

  ASSERT_TRUE(ApplyAndRun(
      {u"{Root}", u"Old", kRegTypeRemoveValue, kNoData, 1, nullptr, 0, 1}));
  ASSERT_TRUE(ApplyAndRun({u"{Root}\\Tree", nullptr, kRegTypeDeleteKey, kNoData,
                           1, nullptr, 0, 1}));
  EXPECT_EQ(
      ERROR_FILE_NOT_FOUND,
      test::ReadRawRegistryValue(HKEY_CURRENT_USER, test_key_, u"Old").result);
  EXPECT_FALSE(test::RegistryKeyExists(HKEY_CURRENT_USER, tree));
  // Neither a removal nor a deletion is recorded.
  EXPECT_TRUE(delegate_.hkcu.empty());

  Transaction::Rollback(&transaction_);
  RawValue old =
      test::ReadRawRegistryValue(HKEY_CURRENT_USER, test_key_, u"Old");
  ASSERT_EQ(ERROR_SUCCESS, old.result);
  EXPECT_EQ(Bytes(u"old", 8), old.data);
  RawValue inner =
      test::ReadRawRegistryValue(HKEY_CURRENT_USER, tree + u"\\Sub", u"Inner");
  ASSERT_EQ(ERROR_SUCCESS, inner.result);
  EXPECT_EQ(Bytes(&kSeven, 4), inner.data);
}

TEST_F(RegistryEntryTest, RecordsIntoTheRootsSectionWithTheLargerDepth) {
  const RegistryEntryTemplate kRows[] = {
      {u"{Root}\\Same", u"a", REG_SZ, TextData(u"1"), 1, nullptr, 0, 1},
      {u"{Root}\\SAME", u"b", REG_SZ, TextData(u"2"), 1, nullptr, 0, 3},
      {u"{Root}\\same", u"c", REG_SZ, TextData(u"3"), 1, nullptr, 0, 2},
  };
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    for (const RegistryEntryTemplate& row : kRows) {
      RegistryEntry entry(row, &delegate_);
      std::unique_ptr<Operation> op;
      // Recorded at once, whether or not the operation ever runs.
      ASSERT_TRUE(entry.Apply(root, &op));
      ASSERT_TRUE(op);
    }
  }
  for (const InstallLogRegistry* section : {&delegate_.hklm, &delegate_.hkcu}) {
    ASSERT_EQ(1u, section->size());
    EXPECT_EQ(3, (*section)[0].clean_depth);
    EXPECT_EQ(3u, (*section)[0].values.size());
  }

  delegate_.recording = false;
  RegistryEntry entry(kRows[0], &delegate_);
  std::unique_ptr<Operation> op;
  ASSERT_TRUE(entry.Apply(HKEY_CURRENT_USER, &op));
  EXPECT_TRUE(op);
  EXPECT_EQ(3u, delegate_.hkcu[0].values.size());
}

TEST_F(RegistryEntryTest, BracesInAResolvedValueAreWrittenAsTheyAre) {
  delegate_.values[u"InstallFolder"] = u"C:\\a{InstallFolder}";
  ASSERT_TRUE(ApplyAndRun({u"{Root}", u"Command", REG_SZ,
                           TextData(u"\"{InstallFolder}\\Launcher.exe\""), 1,
                           nullptr, 0, 1}));
  const char16_t kExpected[] = u"\"C:\\a{InstallFolder}\\Launcher.exe\"";
  RawValue value =
      test::ReadRawRegistryValue(HKEY_CURRENT_USER, test_key_, u"Command");
  ASSERT_EQ(ERROR_SUCCESS, value.result);
  EXPECT_EQ(Bytes(kExpected, sizeof(kExpected)), value.data);
}

TEST_F(RegistryEntryTest, ExpandsNullAsEmpty) {
  RegistryEntry entry({u"k", nullptr, REG_SZ, kNoData, 1, nullptr, 0, 0},
                      &delegate_);
  EXPECT_EQ(u"", entry.ExpandPlaceholders(nullptr));
  EXPECT_EQ(u"VelnaStable", entry.ExpandPlaceholders(u"{Product}{Stream}"));
  EXPECT_EQ(u"Foo", entry.ExpandPlaceholders(u"{Foo}"));
}

TEST_F(RegistryEntryTest, CleanUpFollowsTheRecordedDepths) {
  const RegistryEntryTemplate kRows[] = {
      {u"{Root}\\Clean\\A\\B", u"v", REG_SZ, TextData(u"1"), 1, nullptr, 0, 2},
      {u"{Root}\\Clean\\A\\C", u"v", REG_SZ, TextData(u"2"), 1, nullptr, 0, 1},
      {u"{Root}\\Keep", u"x", REG_SZ, TextData(u"3"), 1, nullptr, 0, 0},
      {u"{Root}\\Keep", u"y", REG_DWORD, DwordData(4), 1, nullptr, 0, 0},
  };
  for (const RegistryEntryTemplate& row : kRows) ASSERT_TRUE(ApplyAndRun(row));
  ASSERT_EQ(
      ERROR_SUCCESS,
      RegSetKeyValueW(HKEY_CURRENT_USER, base::as_wcstr(test_key_ + u"\\Keep"),
                      L"z", REG_SZ, L"mine", 10));
  RegistryEntry::Delegate* const placeholders[] = {&delegate_};
  const OwnRegistryRows own(kRows, placeholders, u"");

  Transaction cleanup;
  EXPECT_TRUE(CleanUpInstallLogRegistry(HKEY_CURRENT_USER, delegate_.hkcu, own,
                                        &cleanup));
  EXPECT_FALSE(
      test::RegistryKeyExists(HKEY_CURRENT_USER, test_key_ + u"\\Clean\\A"));
  EXPECT_TRUE(
      test::RegistryKeyExists(HKEY_CURRENT_USER, test_key_ + u"\\Clean"));
  const std::u16string keep = test_key_ + u"\\Keep";
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            test::ReadRawRegistryValue(HKEY_CURRENT_USER, keep, u"x").result);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND,
            test::ReadRawRegistryValue(HKEY_CURRENT_USER, keep, u"y").result);
  // What the log does not name stays.
  EXPECT_EQ(ERROR_SUCCESS,
            test::ReadRawRegistryValue(HKEY_CURRENT_USER, keep, u"z").result);
  // So does what it names but no row writes, and the refusal names it.
  const std::u16string foreign = test_key_ + u"\\Foreign";
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_CURRENT_USER, base::as_wcstr(foreign), L"v",
                            REG_SZ, L"v", 4));
  {
    test::ScopedLogCapture logs;
    const InstallLogRegistry named = {
        {1, base::UTF16ToUTF8(foreign), {}},
        {0, base::UTF16ToUTF8(keep), {{"REG_SZ", "z", "mine"}}}};
    EXPECT_FALSE(
        CleanUpInstallLogRegistry(HKEY_CURRENT_USER, named, own, &cleanup));
    for (const std::string& what :
         {"the registry key HKEY_CURRENT_USER\\" + base::UTF16ToUTF8(foreign),
          "the value z of the registry key HKEY_CURRENT_USER\\" +
              base::UTF16ToUTF8(keep)}) {
      EXPECT_TRUE(logs.Has(logging::LOG_ERROR,
                           "Refusing to change " + what +
                               ": the installer's own registry entries do "
                               "not write it"))
          << what;
    }
  }
  EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, foreign));
  EXPECT_EQ(ERROR_SUCCESS,
            test::ReadRawRegistryValue(HKEY_CURRENT_USER, keep, u"z").result);

  Transaction::Rollback(&cleanup);
  EXPECT_EQ(ERROR_SUCCESS,
            test::ReadRawRegistryValue(HKEY_CURRENT_USER,
                                       test_key_ + u"\\Clean\\A\\B", u"v")
                .result);
  EXPECT_EQ(ERROR_SUCCESS,
            test::ReadRawRegistryValue(HKEY_CURRENT_USER, keep, u"y").result);
}

TEST_F(RegistryEntryTest, CleanUpNeverDeletesATopLevelBranch) {
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_CURRENT_USER, base::as_wcstr(test_key_), L"v",
                            REG_SZ, L"v", 4));
  const std::string key = base::UTF16ToUTF8(test_key_);  // three levels
  const InstallLogRegistry kDangerous[] = {
      {{1, "Software\\VelnaTest", {}}},
      {{2, key, {}}},
      {{4, key, {}}},
      {{1, "", {}}},
  };
  // Not even rows of such depths make them the installer's own.
  const RegistryEntryTemplate kRows[] = {
      {u"Software\\VelnaTest", u"v", REG_SZ, kNoData, 1, nullptr, 0, 1},
      {u"{Root}", u"v", REG_SZ, kNoData, 1, nullptr, 0, 2},
      {u"{Root}", u"w", REG_SZ, kNoData, 1, nullptr, 0, 4},
      {u"", u"v", REG_SZ, kNoData, 1, nullptr, 0, 1},
  };
  RegistryEntry::Delegate* const placeholders[] = {&delegate_};
  const OwnRegistryRows own(kRows, placeholders, u"");
  for (const InstallLogRegistry& section : kDangerous) {
    Transaction cleanup;
    EXPECT_FALSE(
        CleanUpInstallLogRegistry(HKEY_CURRENT_USER, section, own, &cleanup));
    EXPECT_TRUE(cleanup.empty());
    EXPECT_TRUE(test::RegistryKeyExists(HKEY_CURRENT_USER, test_key_));
  }
}

// What the clean-up of an installation's record may touch: exactly what
// the product's rows write for that installation, whatever the record's
// letter case or spelling of the folder; nothing else it may name.
TEST(OwnRegistryRowsTest, OnlyTheProductsRowsOfTheInstallationPass) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath folder = dir.GetPath().Append(u"Velna Browser x");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  wchar_t short_form[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW(base::as_wcstr(folder.value()), short_form,
                                  MAX_PATH));
  const std::string classes = "Software\\Classes\\" +
                              VersionInfo::GetProductName() +
                              VersionInfo::GetStream();
  const std::string command = classes + "\\shell\\open\\command";
  const std::string topic = classes + "\\shell\\open\\ddeexec\\Topic";
  const std::string uninstall =
      "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
      VersionInfo::GetProductName() + " ";
  const std::string app_paths =
      "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" +
      GetBrowserExecutableName();
  const std::string flags =
      "Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\"
      "Compatibility Assistant\\Persisted";
  const std::string launcher = "\\Launcher.exe";
  const HKEY kUser = HKEY_CURRENT_USER, kMachine = HKEY_LOCAL_MACHINE;
  // Uninstall entries that are there, named as versions of this test's
  // own, with the folder they name (null: none).
  const std::string version = "7.7." + std::to_string(GetCurrentProcessId());
  const std::pair<std::string, const char16_t*> entries[] = {
      {".1", nullptr}, {".2", u"C:\\Other"}, {".3", u"D:\\MOVED\\"}};
  std::vector<std::u16string> made;
  for (const auto& [suffix, location] : entries) {
    made.push_back(base::UTF8ToUTF16(uninstall + version + suffix));
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(kUser, made.back().c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"DisplayName", u"x"));
    if (location) {
      ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"InstallLocation", location));
    }
  }
  made.push_back(base::UTF8ToUTF16(uninstall + version + "4"));
  {
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(kUser, made.back().c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"InstallLocation",
                                            (folder.value() + u"\\").c_str()));
  }
  // Entries cut short before their location, with the icon and the command
  // they got (null: none).
  const std::u16string own_icon =
      u"\"" + folder.value() + u"\\Launcher.exe\",0";
  const std::u16string own_command =
      u"\"" + std::u16string(base::as_u16cstr(short_form)) +
      u"\\Launcher.exe\" /uninstall";
  // As the folder given with a trailing separator wrote it.
  const std::u16string doubled_icon =
      u"\"" + folder.value() + u"\\\\Launcher.exe\",0";
  const struct {
    const char* suffix;
    const char16_t* icon;
    const char16_t* command;
  } cut_short[] = {
      {".5", u"\"C:\\Other\\Launcher.exe\",0", nullptr},
      {".6", own_icon.c_str(), own_command.c_str()},
      {".9", doubled_icon.c_str(), nullptr},
      {".7", own_icon.c_str(), u"\"C:\\Other\\Launcher.exe\" /uninstall"},
      {".8", u"\"D:\\moved\\Launcher.exe\",0", nullptr},
  };
  for (const auto& entry : cut_short) {
    made.push_back(base::UTF8ToUTF16(uninstall + version + entry.suffix));
    base::win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              key.Create(kUser, made.back().c_str(), KEY_SET_VALUE));
    ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"DisplayName", u"x"));
    if (entry.icon) {
      ASSERT_EQ(ERROR_SUCCESS, key.WriteValue(u"DisplayIcon", entry.icon));
    }
    if (entry.command) {
      ASSERT_EQ(ERROR_SUCCESS,
                key.WriteValue(u"UninstallString", entry.command));
    }
  }
  // Depth 0 names values, else the key to delete.
  const struct {
    HKEY root;
    int depth;
    std::string path;
    std::vector<std::string> values;
    bool own;
  } cases[] = {
      {kMachine, 1, classes, {}, true},
      {kUser, 1, base::ToLowerASCII(classes), {}, true},
      {kUser, 2, command, {}, true},
      {kUser, 3, command, {}, false},
      {kUser, 2, classes, {}, false},
      {kUser, 1, topic, {}, true},
      {kMachine, 1, topic, {}, false},
      {kMachine, 1, uninstall + "1.2.34", {}, true},
      // Another installation's entry stays; one cut short before it named
      // any folder is this installation's.
      {kUser, 1, uninstall + version + ".1", {}, true},
      {kUser, 0, uninstall + version + ".1", {"DisplayName"}, true},
      {kUser, 1, uninstall + version + ".2", {}, false},
      {kUser, 1, uninstall + version + ".5", {}, false},
      {kUser, 1, uninstall + version + ".6", {}, true},
      {kUser, 0, uninstall + version + ".6", {"DisplayIcon"}, true},
      {kUser, 1, uninstall + version + ".7", {}, false},
      {kUser, 1, uninstall + version + ".8", {}, true},
      {kUser, 1, uninstall + version + ".3", {}, true},
      {kUser, 0, uninstall + version + ".3", {"DisplayName"}, true},
      {kUser, 1, uninstall + version + "4", {}, true},
      {kMachine, 1, uninstall + version + "4", {}, true},
      {kUser, 1, uninstall + "1.2\\x", {}, false},
      {kUser, 1, uninstall + "Helper", {}, false},
      {kUser, 0, app_paths, {"", "path"}, true},
      {kUser, 0, app_paths, {"Path", "Other"}, false},
      {kUser, 1, app_paths, {}, false},
      {kUser, 0, flags, {folder.AsUTF8() + launcher}, true},
      {kUser,
       0,
       flags,
       {base::UTF16ToUTF8(base::as_u16cstr(short_form)) + launcher},
       true},
      {kUser, 0, flags, {"d:\\moved" + launcher}, true},
      {kUser, 1, uninstall + version + ".9", {}, true},
      {kUser, 0, flags, {folder.AsUTF8() + "\\" + launcher}, true},
      {kUser, 0, flags, {folder.AsUTF8() + "/\\" + launcher}, true},
      {kUser, 0, flags, {"C:\\Other\\" + launcher}, false},
      {kUser, 0, flags, {"C:\\Other" + launcher}, false},
      {kMachine, 1, "Software\\VictimVendor\\Policy", {}, false},
  };
  const OwnRegistryRows own =
      OwnRegistryRows::ForInstallation(folder, u"D:\\Moved\\");
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.path << " " << c.depth);
    InstallLogKey key = {c.depth, c.path, {}};
    for (const std::string& name : c.values)
      key.values.push_back({"REG_SZ", name, ""});
    const std::string foreign = own.DescribeForeign(c.root, key);
    EXPECT_EQ(c.own, foreign.empty()) << foreign;
    InstallLog log;
    (c.root == kUser ? log.hkcu_keys : log.hklm_keys).push_back(key);
    EXPECT_EQ(foreign, own.FindForeign(log));
  }
  for (const std::u16string& key : made)
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(kUser, base::as_wcstr(key)));
}

TEST(RegistryEntryDeathTest, DwordBeyond32BitsIsABrokenInvariant) {
  MapDelegate delegate;
  RegistryEntry entry({u"Software\\VelnaTest\\Never", u"v", REG_DWORD,
                       DwordData(uint64_t{1} << 32), 1, nullptr, 0, 0},
                      &delegate);
  std::unique_ptr<Operation> op;
  EXPECT_DEATH(entry.Apply(HKEY_CURRENT_USER, &op), "");
}

}  // namespace
}  // namespace installer
