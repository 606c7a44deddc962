// The promise of the install operations, tested on a realistic update: when
// any operation fails, rolling the transaction back leaves files and
// registry exactly as they were, and no file moved aside is left over; when
// all succeed, the commit leaves exactly the new state.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/files/system_path_win.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_plain_path_limit_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/registry.h"
#include "desktop/windows/installer/service/test/in_use_child.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/scoped_test_registry_key.h"
#include "desktop/windows/installer/service/transactions/change_reg_value_operation.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/service/transactions/create_folder_operation.h"
#include "desktop/windows/installer/service/transactions/create_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/delete_file_operation.h"
#include "desktop/windows/installer/service/transactions/delete_reg_key_operation.h"
#include "desktop/windows/installer/service/transactions/move_file_operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::FileTreeSnapshot;
using test::RegistrySnapshot;
using test::RegistryText;
using test::RegistryValue;

constexpr int kFileCount = 50;

enum class Fault { kBeforeExecute, kAfterExecute };

// Makes the operation it wraps fail: before it changes anything, or after
// it has done all its work (its sub-operations included).
class FaultyOperation : public Operation {
 public:
  FaultyOperation(std::unique_ptr<Operation> inner, Fault fault)
      : inner_(std::move(inner)), fault_(fault) {}

  bool Execute(Transaction* sub) override {
    if (fault_ == Fault::kAfterExecute) {
      EXPECT_TRUE(inner_->Execute(sub));
    }
    return false;
  }
  void Rollback() override { inner_->Rollback(); }

 private:
  std::unique_ptr<Operation> inner_;
  const Fault fault_;
};

using OperationFactory = std::function<std::unique_ptr<Operation>()>;

std::vector<BYTE> Dword(DWORD value) {
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&value);
  return std::vector<BYTE>(bytes, bytes + sizeof(value));
}

class TransactionFaultInjectionTest : public testing::Test {
 protected:
  // With |install_length|, the install folder's path has that many units.
  explicit TransactionFaultInjectionTest(size_t install_length = 0)
      : install_length_(install_length) {}

  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    ASSERT_TRUE(key_.created());
    const size_t temp_length = temp_.GetPath().value().size();
    ASSERT_TRUE(install_length_ == 0 || install_length_ > temp_length + 1);
    install_name_ =
        install_length_ == 0
            ? u"install"
            : std::u16string(install_length_ - temp_length - 1, u'i');
    install_ = temp_.GetPath().Append(install_name_);
    package_ = temp_.GetPath().Append(u"package");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(install_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(package_));
    for (int i = 0; i < kFileCount; ++i) {
      const std::u16string name = FileName(i);
      ASSERT_TRUE(test::WriteFileContents(install_.Append(name),
                                          "old " + std::to_string(i)));
      ASSERT_TRUE(test::WriteFileContents(
          package_.Append(name),
          "new " + std::to_string(i) + std::string(i * 37, 'n')));
      // Some old files hidden, some new ones read-only: attributes count.
      if (i % 5 == 0) {
        SetAttributes(install_.Append(name), FILE_ATTRIBUTE_HIDDEN);
      }
      if (i % 7 == 0) {
        SetAttributes(package_.Append(name), FILE_ATTRIBUTE_READONLY);
      }
    }
    ASSERT_TRUE(
        test::WriteFileContents(package_.Append(u"extra.dll"), "extra"));
    ASSERT_TRUE(
        test::WriteFileContents(package_.Append(u"moved.txt"), "moved"));
    obsolete_ = install_.Append(u"old\\sub\\obsolete.dll");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(obsolete_.DirName()));
    ASSERT_TRUE(test::WriteFileContents(obsolete_, "obsolete"));

    WriteValue(u"App", u"Version", REG_SZ, RegistryText(u"1.0"));
    WriteValue(u"App", u"Flags", REG_DWORD, Dword(1));
    WriteValue(u"App", u"Obsolete", REG_BINARY, {1, 2, 3});
    WriteValue(u"App", u"", REG_SZ, RegistryText(u"default"));
    WriteValue(u"Old\\Tree", u"", REG_SZ, RegistryText(u"tree"));
    WriteValue(u"Old\\Tree\\A", u"a", REG_MULTI_SZ, RegistryText(u"x"));
    WriteValue(u"Old\\Tree\\B\\C", u"c", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    WriteValue(u"Old\\Keep", u"k", REG_DWORD, Dword(7));
  }

  static std::u16string FileName(int i) {
    const char16_t* extensions[] = {u".dll", u".exe", u".dat"};
    return u"file_" + base::IntToString16(i) + extensions[i % 3];
  }

  static void SetAttributes(const base::FilePath& path, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(base::SystemPathArg(path), attributes));
  }

  void WriteValue(const std::u16string& key, const char16_t* name, DWORD type,
                  const std::vector<BYTE>& data) {
    base::win::RegKey reg_key(HKEY_CURRENT_USER, key_.Path(key).c_str(),
                              KEY_SET_VALUE);
    ASSERT_EQ(ERROR_SUCCESS,
              reg_key.WriteValue(name, data.data(),
                                 static_cast<DWORD>(data.size()), type));
  }

  OperationFactory ChangeValue(const std::u16string& key,
                               const std::u16string& name, DWORD type,
                               std::vector<BYTE> data) {
    const std::u16string path = key_.Path(key);
    return [path, name, type, data] {
      return std::make_unique<ChangeRegValueOperation>(
          HKEY_CURRENT_USER, path, name, data.data(), type,
          static_cast<DWORD>(data.size()));
    };
  }

  // The operations of the update, in the order an installer runs them.
  std::vector<OperationFactory> UpdateOperations() {
    std::vector<OperationFactory> operations;
    const base::FilePath deep = install_.Append(u"new\\deep\\folder");
    operations.push_back(
        [deep] { return std::make_unique<CreateFolderOperation>(deep); });
    operations.push_back([this, deep] {
      return std::make_unique<CopyFileOperation>(package_.Append(u"extra.dll"),
                                                 deep.Append(u"extra.dll"));
    });
    for (int i = 0; i < kFileCount; ++i) {
      operations.push_back([this, i] {
        return std::make_unique<CopyFileOperation>(
            package_.Append(FileName(i)), install_.Append(FileName(i)));
      });
    }
    operations.push_back([this] {
      return std::make_unique<DeleteFileOperation>(obsolete_, true, true);
    });
    operations.push_back([this] {
      return std::make_unique<MoveFileOperation>(package_.Append(u"moved.txt"),
                                                 install_.Append(u"moved.txt"));
    });
    operations.push_back(
        ChangeValue(u"App", u"Version", REG_SZ, RegistryText(u"2.0")));
    operations.push_back(ChangeValue(u"App", u"Channel", REG_DWORD, Dword(3)));
    operations.push_back(ChangeValue(u"App", u"Obsolete",
                                     ChangeRegValueOperation::kNoValue, {}));
    operations.push_back(ChangeValue(u"App", u"", REG_EXPAND_SZ,
                                     RegistryText(u"%ProgramFiles%\\V")));
    operations.push_back(ChangeValue(u"Clients\\StartMenu\\Velna\\Capabilities",
                                     u"ApplicationName", REG_SZ,
                                     RegistryText(u"Velna")));
    operations.push_back(
        ChangeValue(u"App", u"Absent", ChangeRegValueOperation::kNoValue, {}));
    const std::u16string command = key_.Path(u"Classes\\VelnaHTML\\open\\cmd");
    operations.push_back([command] {
      return std::make_unique<CreateRegKeyOperation>(command,
                                                     HKEY_CURRENT_USER);
    });
    const std::u16string tree = key_.Path(u"Old\\Tree");
    operations.push_back([tree] {
      return std::make_unique<DeleteRegKeyOperation>(HKEY_CURRENT_USER, tree);
    });
    return operations;
  }

  FileTreeSnapshot Files() const {
    return test::TakeFileTreeSnapshot(temp_.GetPath());
  }
  RegistrySnapshot Registry() const {
    return test::TakeRegistrySnapshot(HKEY_CURRENT_USER, key_.path());
  }

  // What the update leaves when it is committed, made from the state
  // before it.
  void ExpectedAfterCommit(FileTreeSnapshot* files,
                           RegistrySnapshot* registry) const {
    auto& f = *files;
    const std::string install = base::UTF16ToUTF8(install_name_);
    const test::FileEntry folder = f[install];
    for (const char* name : {"\\new", "\\new\\deep", "\\new\\deep\\folder"})
      f[install + name] = folder;
    f[install + "\\new\\deep\\folder\\extra.dll"] = f["package\\extra.dll"];
    for (int i = 0; i < kFileCount; ++i) {
      const std::string name = base::UTF16ToUTF8(FileName(i));
      // The source loses its read-only bit, and so does the copy.
      test::FileEntry& source = f["package\\" + name];
      source.attributes &= ~FILE_ATTRIBUTE_READONLY;
      if (!source.attributes) source.attributes = FILE_ATTRIBUTE_NORMAL;
      f[install + "\\" + name] = source;
    }
    // The obsolete module goes, with the folders it alone kept.
    f.erase(install + "\\old\\sub\\obsolete.dll");
    f.erase(install + "\\old\\sub");
    f.erase(install + "\\old");
    f[install + "\\moved.txt"] = f["package\\moved.txt"];
    f.erase("package\\moved.txt");

    auto& r = *registry;
    r["App"]["Version"] = {REG_SZ, RegistryText(u"2.0")};
    r["App"]["Channel"] = {REG_DWORD, Dword(3)};
    r["App"].erase("Obsolete");
    r["App"][""] = {REG_EXPAND_SZ, RegistryText(u"%ProgramFiles%\\V")};
    r["Clients"];
    r["Clients\\StartMenu"];
    r["Clients\\StartMenu\\Velna"];
    r["Clients\\StartMenu\\Velna\\Capabilities"]["ApplicationName"] = {
        REG_SZ, RegistryText(u"Velna")};
    for (const char* key :
         {"Classes", "Classes\\VelnaHTML", "Classes\\VelnaHTML\\open",
          "Classes\\VelnaHTML\\open\\cmd"}) {
      r[key];
    }
    for (const char* key :
         {"Old\\Tree", "Old\\Tree\\A", "Old\\Tree\\B", "Old\\Tree\\B\\C"}) {
      r.erase(key);
    }
  }

  void ExpectNothingAside() const {
    EXPECT_EQ(std::vector<std::string>(),
              test::FindEntriesEndingWith(Files(), ".old"));
  }

  // Runs the update's operations up to |failing|, which fails |fault|, and
  // rolls them back: files and registry are as before, nothing is aside.
  void ExpectFailureRollsBack(size_t failing, Fault fault) {
    SCOPED_TRACE("operation " + std::to_string(failing) +
                 (fault == Fault::kAfterExecute ? " after" : " before"));
    const FileTreeSnapshot files_before = Files();
    const RegistrySnapshot registry_before = Registry();
    const std::vector<OperationFactory> operations = UpdateOperations();
    ASSERT_LT(failing, operations.size());
    {
      Transaction transaction;
      for (size_t i = 0; i < failing; ++i) {
        ASSERT_TRUE(Transaction::RunOperation(&transaction, operations[i]()))
            << i;
      }
      ASSERT_FALSE(Transaction::RunOperation(
          &transaction,
          std::make_unique<FaultyOperation>(operations[failing](), fault)));
      Transaction::Rollback(&transaction);
    }
    ASSERT_EQ(files_before, Files());
    ASSERT_EQ(registry_before, Registry());
    ExpectNothingAside();
  }

  // Runs the whole update and commits it.
  void ExpectCommitLeavesExactlyTheNewState() {
    FileTreeSnapshot expected_files = Files();
    RegistrySnapshot expected_registry = Registry();
    ExpectedAfterCommit(&expected_files, &expected_registry);
    {
      Transaction transaction;
      for (const OperationFactory& operation : UpdateOperations())
        ASSERT_TRUE(Transaction::RunOperation(&transaction, operation()));
      // Before the commit the old files are still aside.
      EXPECT_EQ(static_cast<size_t>(kFileCount + 1),
                test::FindEntriesEndingWith(Files(), ".old").size());
    }
    EXPECT_EQ(expected_files, Files());
    EXPECT_EQ(expected_registry, Registry());
    ExpectNothingAside();
  }

  const size_t install_length_;
  base::ScopedTempDir temp_;
  test::ScopedTestRegistryKey key_;
  std::u16string install_name_;
  base::FilePath install_;
  base::FilePath package_;
  base::FilePath obsolete_;
};

// The failing positions are spread over several test cases, each in its own
// process, so that none comes near the time-out on a loaded machine: a
// position costs as many operations as come before it, so each slice takes
// every kSlices-th position.
constexpr int kSlices = 8;

class TransactionFaultPositionsTest : public TransactionFaultInjectionTest,
                                      public testing::WithParamInterface<int> {
};

TEST_P(TransactionFaultPositionsTest, FailureAtEveryPositionRollsBackExactly) {
  const size_t count = UpdateOperations().size();
  ASSERT_GT(count, static_cast<size_t>(kSlices));
  // Error lines of the failed operations are expected; keep them quiet.
  test::ScopedLogCapture log;
  for (size_t failing = GetParam(); failing < count; failing += kSlices) {
    for (Fault fault : {Fault::kBeforeExecute, Fault::kAfterExecute}) {
      ExpectFailureRollsBack(failing, fault);
      if (HasFatalFailure()) return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Slices, TransactionFaultPositionsTest,
                         testing::Range(0, kSlices));

TEST_F(TransactionFaultInjectionTest, CommitLeavesExactlyTheNewState) {
  ExpectCommitLeavesExactlyTheNewState();
}

// The same update in a folder of 245 units: its files (255 to 271 units,
// up to 286 when moved aside) and the folders it makes (up to 261) lie
// beyond MAX_PATH, where only the long form reaches, as Windows has it.
class LongPathTransactionTest : public TransactionFaultInjectionTest {
 protected:
  LongPathTransactionTest() : TransactionFaultInjectionTest(245) {}

  void SetUp() override {
    ASSERT_TRUE(limit_.ok());
    refused_ = base::ScopedPlainPathLimit::refused();
    TransactionFaultInjectionTest::SetUp();
  }

  void TearDown() override {
    EXPECT_EQ(refused_, base::ScopedPlainPathLimit::refused());
  }

  base::ScopedPlainPathLimit limit_;
  size_t refused_ = 0;
};

TEST_F(LongPathTransactionTest, FailuresRollBackExactly) {
  const size_t count = UpdateOperations().size();
  test::ScopedLogCapture log;
  // The folder, the copies into it and over old files, the deletion, the
  // move, and the last.
  for (size_t failing :
       {size_t{0}, size_t{1}, size_t{2}, size_t{kFileCount},
        size_t{kFileCount + 2}, size_t{kFileCount + 3}, count - 1}) {
    for (Fault fault : {Fault::kBeforeExecute, Fault::kAfterExecute}) {
      ExpectFailureRollsBack(failing, fault);
      if (HasFatalFailure()) return;
    }
  }
}

TEST_F(LongPathTransactionTest, CommitLeavesExactlyTheNewState) {
  ASSERT_EQ(245u, install_.value().size());
  ExpectCommitLeavesExactlyTheNewState();
}

// A module that another process has loaded makes its deletion fail, and the
// rollback undoes everything the update did before it.
TEST_F(TransactionFaultInjectionTest, ModuleInUseRollsBackTheUpdate) {
  const base::FilePath module = install_.Append(u"browser.dll");
  const base::FilePath executable = install_.Append(u"browser.exe");
  ASSERT_TRUE(base::CopyOneFile(test::GetTestModulePath(), module));
  ASSERT_TRUE(base::CopyOneFile(test::GetInUseChildPath(), executable));
  test::InUseChild child;
  ASSERT_TRUE(child.Start(executable, module));
  const FileTreeSnapshot files_before = Files();
  const RegistrySnapshot registry_before = Registry();

  std::vector<OperationFactory> operations = UpdateOperations();
  operations.push_back([module] {
    return std::make_unique<DeleteFileOperation>(module, true, false);
  });
  test::ScopedLogCapture log;
  {
    Transaction transaction;
    bool failed = false;
    for (const OperationFactory& operation : operations) {
      if (!Transaction::RunOperation(&transaction, operation())) {
        failed = true;
        break;
      }
    }
    ASSERT_TRUE(failed);
    // Every operation before it, with their preparations: the key made for
    // a value (an old file is replaced by its copy in place).
    EXPECT_EQ(operations.size() - 1 + 1, transaction.size());
    Transaction::Rollback(&transaction);
  }
  EXPECT_EQ(files_before, Files());
  EXPECT_EQ(registry_before, Registry());
  ExpectNothingAside();
  // The system's words for the sharing violation vary; its code does not.
  const std::vector<std::string> errors = log.Messages(logging::LOG_ERROR);
  ASSERT_EQ(2u, errors.size());
  EXPECT_EQ(0u,
            errors[0].find("Attempt to open the file for writing failed: "));
  EXPECT_NE(std::string::npos, errors[0].find("(0x20)")) << errors[0];
  EXPECT_EQ(0u, errors[1].find("File removal failed"));
  EXPECT_NE(std::string::npos, errors[1].find(module.AsUTF8())) << errors[1];
}

}  // namespace
}  // namespace installer
