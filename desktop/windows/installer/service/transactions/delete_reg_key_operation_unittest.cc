#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"

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

using test::TakeRegistrySnapshot;

void WriteRaw(const std::u16string& path, const char16_t* name, DWORD type,
              const std::vector<BYTE>& data) {
  base::win::RegKey key(HKEY_CURRENT_USER, path.c_str(), KEY_SET_VALUE);
  ASSERT_EQ(
      ERROR_SUCCESS,
      key.WriteValue(name, data.data(), static_cast<DWORD>(data.size()), type));
}

class DeleteRegKeyOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(key_.created());
    tree_ = key_.Path(u"tree");
    // Values of every kind, default values, and three levels of subkeys.
    WriteRaw(tree_, u"", REG_SZ, {'d', 0, 0, 0});
    WriteRaw(tree_, u"dword", REG_DWORD, {1, 2, 3, 4});
    WriteRaw(tree_, u"binary", REG_BINARY, {0, 255, 0, 128});
    WriteRaw(tree_, u"empty", REG_BINARY, {});
    WriteRaw(tree_ + u"\\one", u"multi", REG_MULTI_SZ,
             {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0});
    WriteRaw(tree_ + u"\\one\\two", u"expand", REG_EXPAND_SZ,
             {'%', 0, 'X', 0, '%', 0, 0, 0});
    WriteRaw(tree_ + u"\\one\\two\\three", u"qword", REG_QWORD,
             {1, 2, 3, 4, 5, 6, 7, 8});
    WriteRaw(tree_ + u"\\empty key", u"", REG_NONE, {});
    WriteRaw(tree_ + u"\\text/plain", u"x", REG_SZ, {'x', 0, 0, 0});
  }

  test::RegistrySnapshot Snapshot() const {
    return TakeRegistrySnapshot(HKEY_CURRENT_USER, key_.path());
  }

  std::u16string ObjectName(const std::u16string& path) const {
    return RegistryObjectName(HKEY_CURRENT_USER, path);
  }

  test::ScopedTestRegistryKey key_;
  std::u16string tree_;
};

TEST_F(DeleteRegKeyOperationTest, RollbackRestoresTreeAndAccessLists) {
  // A custom list on a subkey comes back with it.
  const std::u16string user = test::CurrentUserSidString();
  const std::u16string custom_key = tree_ + u"\\one\\two";
  ASSERT_TRUE(test::SetDaclFromSddl(
      ObjectName(custom_key), SE_REGISTRY_KEY,
      u"D:(A;;KA;;;BA)(A;CI;KR;;;WD)(A;;KA;;;" + user + u")"));
  const std::u16string custom_list =
      test::GetDaclSddl(ObjectName(custom_key), SE_REGISTRY_KEY);
  const test::RegistrySnapshot before = Snapshot();
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction,
      std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, tree_)));
  test::RegistrySnapshot expected = before;
  std::erase_if(expected, [](const auto& entry) {
    return entry.first.find("tree") == 0;
  });
  EXPECT_EQ(expected, Snapshot());
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, Snapshot());
  EXPECT_EQ(custom_list,
            test::GetDaclSddl(ObjectName(custom_key), SE_REGISTRY_KEY));
}

TEST_F(DeleteRegKeyOperationTest, CommitKeepsTheDeletion) {
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, tree_)));
  }
  EXPECT_EQ(0u, Snapshot().count("tree"));
}

// A key that exists again at rollback keeps what it has; its missing
// subkeys come back with their values.
TEST_F(DeleteRegKeyOperationTest, ExistingKeyIsLeftAsItIsAtRollback) {
  test::RegistrySnapshot before = Snapshot();
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction,
      std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, tree_)));
  WriteRaw(tree_, u"newcomer", REG_DWORD, {9, 0, 0, 0});
  Transaction::Rollback(&transaction);
  test::RegistrySnapshot expected = before;
  expected["tree"] = {{"newcomer", {REG_DWORD, {9, 0, 0, 0}}}};
  EXPECT_EQ(expected, Snapshot());
}

TEST_F(DeleteRegKeyOperationTest, MissingKeyRecordsNothing) {
  const test::RegistrySnapshot before = Snapshot();
  test::ScopedLogCapture log;
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<DeleteRegKeyOperation>(
                        HKEY_CURRENT_USER, key_.Path(u"missing"))));
  EXPECT_TRUE(log.Has(-1, "Key does not exist. Nothing to do."));
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, Snapshot());
}

// An empty path names the root itself; deleting it would empty the hive.
TEST_F(DeleteRegKeyOperationTest, EmptyPathIsRefused) {
  const test::RegistrySnapshot before = Snapshot();
  Transaction transaction;
  for (const char16_t* path : {u"", u"\\"}) {
    EXPECT_FALSE(Transaction::RunOperation(
        &transaction,
        std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, path)));
  }
  EXPECT_EQ(before, Snapshot());
}

// Keys that deny the user deletion are widened to be deleted; a rollback
// puts their lists back as they were.
TEST_F(DeleteRegKeyOperationTest, DeniedKeysAreWidenedAndRestoredAtRollback) {
  const std::u16string user = test::CurrentUserSidString();
  const std::u16string locked = tree_ + u"\\one";
  ASSERT_TRUE(test::SetDaclFromSddl(
      ObjectName(locked), SE_REGISTRY_KEY,
      u"D:(D;;SD;;;" + user + u")(A;;KA;;;" + user + u")(A;;KA;;;BA)"));
  const std::u16string original =
      test::GetDaclSddl(ObjectName(locked), SE_REGISTRY_KEY);
  const test::RegistrySnapshot before = Snapshot();
  test::ScopedLogCapture log;
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction,
      std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, tree_)));
  EXPECT_TRUE(log.Has(-1, "Insufficient permissions on the key"));
  EXPECT_EQ(0u, Snapshot().count("tree"));
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, Snapshot());
  EXPECT_EQ(original, test::GetDaclSddl(ObjectName(locked), SE_REGISTRY_KEY));
}

// A subkey that stays locked after the grant ends the deletion part-way;
// what was deleted before it comes back, and its own list is put back.
TEST_F(DeleteRegKeyOperationTest, FailurePartWayRestoresWhatWasSaved) {
  const std::u16string user = test::CurrentUserSidString();
  const std::u16string locked = tree_ + u"\\one\\two";
  ASSERT_TRUE(test::SetDaclFromSddl(
      ObjectName(locked), SE_REGISTRY_KEY,
      u"D:(D;;SD;;;WD)(A;;KA;;;" + user + u")(A;;KA;;;BA)"));
  const std::u16string original =
      test::GetDaclSddl(ObjectName(locked), SE_REGISTRY_KEY);
  const test::RegistrySnapshot before = Snapshot();
  // Everyone only denies in the token the utilities consult, so the grant
  // keeps the entry that denies everyone deletion: the key stays shut.
  base::win::ScopedHandle token =
      test::MakeRestrictedToken({WinWorldSid}, false);
  ASSERT_TRUE(token.IsValid());
  internal::ScopedAccessTokenForTesting scoped_token(token.Get());
  test::ScopedLogCapture log;
  Transaction transaction;
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction,
      std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, tree_)));
  const std::u16string locked_name = ObjectName(locked);
  EXPECT_TRUE(log.Has(logging::LOG_ERROR,
                      "Failed to open key " +
                          std::string(locked_name.begin(), locked_name.end())));
  EXPECT_TRUE(transaction.empty());
  EXPECT_EQ(before, Snapshot());
  EXPECT_EQ(original, test::GetDaclSddl(ObjectName(locked), SE_REGISTRY_KEY));
}

}  // namespace
}  // namespace installer
