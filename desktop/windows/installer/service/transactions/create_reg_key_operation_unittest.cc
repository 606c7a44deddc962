#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"

#include <memory>
#include <string>

#include "base/strings/string_number_conversions.h"
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

using test::TakeRegistrySnapshot;

bool KeyExists(const std::u16string& path) {
  base::win::RegKey key;
  return key.Open(HKEY_CURRENT_USER, path.c_str(), KEY_QUERY_VALUE) ==
         ERROR_SUCCESS;
}

class CreateRegKeyOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(key_.created());
    // A sibling that the rollback must leave alone.
    base::win::RegKey sibling(HKEY_CURRENT_USER, key_.Path(u"sibling").c_str(),
                              KEY_SET_VALUE);
    ASSERT_EQ(ERROR_SUCCESS, sibling.WriteValue(u"v", 1));
  }

  test::RegistrySnapshot Snapshot() const {
    return TakeRegistrySnapshot(HKEY_CURRENT_USER, key_.path());
  }

  test::ScopedTestRegistryKey key_;
};

// Rollback deletes from the first level that was missing; the names of the
// levels may hold "/", which is no separator in the registry.
TEST_F(CreateRegKeyOperationTest, RollbackRemovesFromTopMostCreatedLevel) {
  for (const char16_t* relative :
       {u"a\\b\\c", u"MIME\\text/html\\sub", u"x/y"}) {
    SCOPED_TRACE(std::u16string(relative));
    const test::RegistrySnapshot before = Snapshot();
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, std::make_unique<CreateRegKeyOperation>(
                          key_.Path(relative), HKEY_CURRENT_USER)));
    EXPECT_TRUE(KeyExists(key_.Path(relative)));
    Transaction::Rollback(&transaction);
    EXPECT_EQ(before, Snapshot());
  }
}

TEST_F(CreateRegKeyOperationTest, ExistingKeyRecordsNothing) {
  const test::RegistrySnapshot before = Snapshot();
  test::ScopedLogCapture log;
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<CreateRegKeyOperation>(
                        key_.Path(u"sibling"), HKEY_CURRENT_USER)));
  EXPECT_TRUE(log.Has(-1, "The key already exists. No need to do anything."));
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, Snapshot());
}

TEST_F(CreateRegKeyOperationTest, KeyDirectlyBelowTheRoot) {
  // The root itself is the nearest existing ancestor.
  const std::u16string top =
      u"VelnaTestTop_" + base::UintToString16(GetCurrentProcessId());
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(top));
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<CreateRegKeyOperation>(
                        top + u"\\sub", HKEY_CURRENT_USER)));
  EXPECT_TRUE(KeyExists(top + u"\\sub"));
  Transaction::Rollback(&transaction);
  EXPECT_FALSE(KeyExists(top));
  RegDeleteTreeW(HKEY_CURRENT_USER, base::as_wcstr(top));
}

// The ancestor denies the user KEY_CREATE_SUB_KEY: the right is granted for
// the creation and the ancestor's list is put back when the operation ends.
TEST_F(CreateRegKeyOperationTest, DeniedAncestorIsWidenedAndRestored) {
  const std::u16string object_name =
      RegistryObjectName(HKEY_CURRENT_USER, key_.path());
  const std::u16string user = test::CurrentUserSidString();
  ASSERT_TRUE(test::SetDaclFromSddl(
      object_name, SE_REGISTRY_KEY,
      u"D:(D;;0x4;;;" + user + u")(A;;KA;;;" + user + u")(A;;KA;;;BA)"));
  const std::u16string original =
      test::GetDaclSddl(object_name, SE_REGISTRY_KEY);
  {
    test::ScopedLogCapture log;
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, std::make_unique<CreateRegKeyOperation>(
                          key_.Path(u"new\\deeper"), HKEY_CURRENT_USER)));
    EXPECT_TRUE(log.Has(-1, "No access to" + std::string(object_name.begin(),
                                                         object_name.end())));
    EXPECT_TRUE(KeyExists(key_.Path(u"new\\deeper")));
    EXPECT_NE(original, test::GetDaclSddl(object_name, SE_REGISTRY_KEY));
  }
  EXPECT_EQ(original, test::GetDaclSddl(object_name, SE_REGISTRY_KEY));
  EXPECT_TRUE(KeyExists(key_.Path(u"new\\deeper")));
}

}  // namespace
}  // namespace installer
