#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"

#include <memory>
#include <string>
#include <vector>

#include "base/strings/string_util_win.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/access_control.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/scoped_test_registry_key.h"
#include "desktop/windows/installer/service/test/security_test_util.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::RegistryText;
using test::RegistryValue;
using test::TakeRegistrySnapshot;

constexpr DWORD kNoValue = ChangeRegValueOperation::kNoValue;

RegistryValue Value(DWORD type, const std::vector<BYTE>& data) {
  return RegistryValue{type, data};
}

std::unique_ptr<Operation> Change(const std::u16string& key,
                                  const std::u16string& name,
                                  const RegistryValue& value) {
  return std::make_unique<ChangeRegValueOperation>(
      HKEY_CURRENT_USER, key, name, value.data.data(), value.type,
      static_cast<DWORD>(value.data.size()));
}

class ChangeRegValueOperationTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(key_.created()); }

  void WriteValue(const std::u16string& name, const RegistryValue& value) {
    base::win::RegKey key(HKEY_CURRENT_USER, key_.path().c_str(),
                          KEY_SET_VALUE);
    ASSERT_EQ(
        ERROR_SUCCESS,
        key.WriteValue(name.c_str(), value.data.data(),
                       static_cast<DWORD>(value.data.size()), value.type));
  }

  test::RegistrySnapshot Snapshot() const {
    return TakeRegistrySnapshot(HKEY_CURRENT_USER, key_.path());
  }

  test::ScopedTestRegistryKey key_;
};

// Every change is exact after Execute() and undone byte for byte by
// Rollback(); a commit keeps it.
TEST_F(ChangeRegValueOperationTest, ChangeAndRollbackAreExact) {
  const RegistryValue kNone = Value(kNoValue, {});
  struct Case {
    const char* what;
    std::u16string name;
    RegistryValue old_value;  // kNoValue: none
    RegistryValue new_value;  // kNoValue: remove
  } cases[] = {
      {"new text", u"a", kNone, Value(REG_SZ, RegistryText(u"new"))},
      {"text over text", u"a", Value(REG_SZ, RegistryText(u"old")),
       Value(REG_SZ, RegistryText(u"longer new"))},
      {"dword over binary", u"a", Value(REG_BINARY, {1, 2, 3, 0, 255}),
       Value(REG_DWORD, {7, 0, 0, 0})},
      {"empty binary over multi-string", u"a",
       Value(REG_MULTI_SZ, RegistryText(std::u16string(u"x\0y\0", 4))),
       Value(REG_BINARY, {})},
      {"expandable over empty binary", u"a", Value(REG_BINARY, {}),
       Value(REG_EXPAND_SZ, RegistryText(u"%TEMP%\\x"))},
      {"default value", u"", Value(REG_SZ, RegistryText(u"old default")),
       Value(REG_SZ, RegistryText(u"new default"))},
      {"removal", u"a", Value(REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}), kNone},
  };
  for (const Case& c : cases) {
    for (bool commit : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (commit ? ", committed" : ""));
      // Recreates the test's key, empty.
      test::ScopedTestRegistryKey fresh_key;
      if (c.old_value.type != kNoValue) WriteValue(c.name, c.old_value);
      const test::RegistrySnapshot before = Snapshot();
      test::RegistrySnapshot expected = before;
      const std::string name(c.name.begin(), c.name.end());
      if (c.new_value.type == kNoValue)
        expected[""].erase(name);
      else
        expected[""][name] = c.new_value;
      {
        Transaction transaction;
        ASSERT_TRUE(Transaction::RunOperation(
            &transaction, Change(key_.path(), c.name, c.new_value)));
        EXPECT_EQ(expected, Snapshot());
        if (!commit) Transaction::Rollback(&transaction);
      }
      EXPECT_EQ(commit ? expected : before, Snapshot());
    }
  }
}

TEST_F(ChangeRegValueOperationTest, MissingKeyIsCreatedAndRemovedAgain) {
  const test::RegistrySnapshot before = Snapshot();
  const RegistryValue value = Value(REG_SZ, RegistryText(u"v"));
  Transaction transaction;
  test::ScopedLogCapture log;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, Change(key_.Path(u"a\\b\\c"), u"name", value)));
  EXPECT_TRUE(log.Has(-1, "Key does not exist,"));
  EXPECT_TRUE(log.Has(-1, "try to create it."));
  // The key creation, then the change.
  EXPECT_EQ(2u, transaction.size());
  EXPECT_EQ(value, Snapshot()["a\\b\\c"]["name"]);
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, Snapshot());
}

TEST_F(ChangeRegValueOperationTest, RemovingWhatIsNotThereRecordsNothing) {
  struct Case {
    const char* what;
    std::u16string key;
    const char* log_line;
  } cases[] = {
      {"missing value", key_.path(),
       "We are supposed to remove the value. Nothing to do."},
      {"missing key", key_.Path(u"missing"),
       "but we are trying to remove the value, nothing to do."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteValue(u"other", Value(REG_DWORD, {1, 0, 0, 0}));
    const test::RegistrySnapshot before = Snapshot();
    test::ScopedLogCapture log;
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, Change(c.key, u"absent", Value(kNoValue, {}))));
    EXPECT_TRUE(log.Has(-1, c.log_line));
    EXPECT_EQ(before, Snapshot());
    Transaction::Rollback(&transaction);
    EXPECT_EQ(before, Snapshot());
  }
}

// A key whose access list denies the user KEY_SET_VALUE: the list is widened
// for the change and put back when the operation is destroyed, after a
// commit and after a rollback alike.
TEST_F(ChangeRegValueOperationTest, DeniedKeyIsWidenedAndRestored) {
  const std::u16string object_name =
      RegistryObjectName(HKEY_CURRENT_USER, key_.path());
  const std::u16string user = test::CurrentUserSidString();
  const std::u16string denied =
      u"D:(D;;0x2;;;" + user + u")(A;;KA;;;" + user + u")(A;;KA;;;BA)";
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "committed" : "rolled back");
    ASSERT_TRUE(test::SetDaclFromSddl(object_name, SE_REGISTRY_KEY, denied));
    const std::u16string original =
        test::GetDaclSddl(object_name, SE_REGISTRY_KEY);
    {
      base::win::RegKey probe;
      ASSERT_EQ(
          ERROR_ACCESS_DENIED,
          probe.Open(HKEY_CURRENT_USER, key_.path().c_str(), KEY_SET_VALUE));
    }
    const RegistryValue value = Value(REG_SZ, RegistryText(u"written"));
    {
      test::ScopedLogCapture log;
      Transaction transaction;
      ASSERT_TRUE(Transaction::RunOperation(&transaction,
                                            Change(key_.path(), u"v", value)));
      EXPECT_TRUE(log.Has(-1, "We don't have enough permissions on the key."));
      EXPECT_NE(original, test::GetDaclSddl(object_name, SE_REGISTRY_KEY));
      EXPECT_EQ(value, Snapshot()[""]["v"]);
      if (!commit) Transaction::Rollback(&transaction);
    }
    EXPECT_EQ(original, test::GetDaclSddl(object_name, SE_REGISTRY_KEY));
    EXPECT_EQ(commit ? 1u : 0u, Snapshot()[""].count("v"));
    ASSERT_TRUE(
        test::SetDaclFromSddl(object_name, SE_REGISTRY_KEY,
                              u"D:(A;;KA;;;BA)(A;;KA;;;" + user + u")"));
    base::win::RegKey(HKEY_CURRENT_USER, key_.path().c_str(), KEY_SET_VALUE)
        .DeleteValue(u"v");
  }
}

// The key opens, but the access check says the user lacks the rights (a
// token without its administrator and user rights): the grant path runs
// and its widening is undone at the end.
TEST_F(ChangeRegValueOperationTest, AccessCheckRefusalWidensTheList) {
  const std::u16string object_name =
      RegistryObjectName(HKEY_CURRENT_USER, key_.path());
  const std::u16string original =
      test::GetDaclSddl(object_name, SE_REGISTRY_KEY);
  base::win::ScopedHandle token =
      test::MakeRestrictedToken({WinBuiltinAdministratorsSid}, true);
  ASSERT_TRUE(token.IsValid());
  internal::ScopedAccessTokenForTesting scoped_token(token.Get());
  ASSERT_FALSE(
      CanCurrentUserAccess(object_name, SE_REGISTRY_KEY, KEY_SET_VALUE));
  {
    test::ScopedLogCapture log;
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        Change(key_.path(), u"v", Value(REG_DWORD, {5, 0, 0, 0}))));
    EXPECT_TRUE(log.Has(-1, "We don't have enough permissions on the key."));
    const std::u16string widened =
        test::GetDaclSddl(object_name, SE_REGISTRY_KEY);
    EXPECT_NE(original, widened);
    // An inheritable grant of KEY_QUERY_VALUE | KEY_SET_VALUE to the user.
    EXPECT_NE(
        std::u16string::npos,
        widened.find(u"(A;OICI;CCDC;;;" + test::CurrentUserSidString() + u")"))
        << widened;
  }
  EXPECT_EQ(original, test::GetDaclSddl(object_name, SE_REGISTRY_KEY));
  EXPECT_EQ(1u, Snapshot()[""].count("v"));
}

}  // namespace
}  // namespace installer
