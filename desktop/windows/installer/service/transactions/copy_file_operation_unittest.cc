#include "desktop/windows/installer/service/transactions/copy_file_operation.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/transaction.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

using test::FindEntriesEndingWith;
using test::TakeFileTreeSnapshot;

DWORD Attributes(const base::FilePath& path) {
  return GetFileAttributesW(base::as_wcstr(path.value()));
}

class CopyFileOperationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    source_ = temp_.GetPath().Append(u"new.dll");
    ASSERT_TRUE(test::WriteFileContents(source_, "new contents"));
  }

  base::FilePath Path(const char16_t* relative) const {
    return temp_.GetPath().Append(relative);
  }

  base::ScopedTempDir temp_;
  base::FilePath source_;
};

TEST_F(CopyFileOperationTest, OverExistingMovesOldAsideUntilCommit) {
  const base::FilePath destination = Path(u"launcher.exe");
  ASSERT_TRUE(test::WriteFileContents(destination, "old contents"));
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<CopyFileOperation>(source_, destination)));
    EXPECT_EQ("new contents", test::ReadFileContents(destination));
    // launcher.exe.<seconds>.old beside it, holding the old file.
    const std::vector<std::string> aside =
        FindEntriesEndingWith(TakeFileTreeSnapshot(temp_.GetPath()), ".old");
    ASSERT_EQ(1u, aside.size());
    const std::string& name = aside[0];
    const std::string prefix = "launcher.exe.";
    ASSERT_EQ(0u, name.find(prefix));
    const std::string seconds =
        name.substr(prefix.size(), name.size() - prefix.size() - 4);
    EXPECT_FALSE(seconds.empty());
    EXPECT_EQ(std::string::npos, seconds.find_first_not_of("0123456789"));
    EXPECT_EQ("old contents",
              test::ReadFileContents(Path(base::UTF8ToUTF16(name).c_str())));
  }
  EXPECT_EQ("new contents", test::ReadFileContents(destination));
  EXPECT_TRUE(
      FindEntriesEndingWith(TakeFileTreeSnapshot(temp_.GetPath()), ".old")
          .empty());
}

// What a process ended in the middle of a replacement leaves: the old file
// at the destination and the new one whole under a writer's temporary name
// beside it, which the uninstallation's clean-up knows.
std::string g_destination_at_replace;
std::string g_temp_at_replace;
base::FilePath g_temp_path_at_replace;

void RecordReplace(const base::FilePath& temp_path,
                   const base::FilePath& destination) {
  g_destination_at_replace = test::ReadFileContents(destination);
  // Still open for writing by the copy.
  base::win::ScopedHandle temp(
      CreateFileW(base::as_wcstr(temp_path.value()), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr));
  char buffer[64] = {};
  DWORD read = 0;
  if (temp.IsValid() &&
      ReadFile(temp.Get(), buffer, sizeof(buffer), &read, nullptr)) {
    g_temp_at_replace.assign(buffer, read);
  }
  g_temp_path_at_replace = temp_path;
}

TEST_F(CopyFileOperationTest, TheOldFileStaysInPlaceUntilTheNewOneIsWhole) {
  const base::FilePath destination = Path(u"launcher.exe");
  ASSERT_TRUE(test::WriteFileContents(destination, "old contents"));
  internal::SetBeforeReplaceHookForTesting(&RecordReplace);
  {
    Transaction transaction;
    EXPECT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<CopyFileOperation>(source_, destination)));
    internal::SetBeforeReplaceHookForTesting(nullptr);
    EXPECT_EQ("old contents", g_destination_at_replace);
    EXPECT_EQ("new contents", g_temp_at_replace);
    EXPECT_EQ(temp_.GetPath(), g_temp_path_at_replace.DirName());
    // Named after the file it becomes, never a bare "<hex>.tmp".
    std::u16string target;
    EXPECT_TRUE(base::IsTemporaryFileNameOf(
        g_temp_path_at_replace.BaseName().value(), &target));
    EXPECT_EQ(u"launcher.exe", target);
    EXPECT_FALSE(base::PathExists(g_temp_path_at_replace));
    EXPECT_EQ("new contents", test::ReadFileContents(destination));
  }
  EXPECT_EQ(
      (std::vector<std::string>{"launcher.exe", "new.dll"}),
      test::FindEntriesEndingWith(TakeFileTreeSnapshot(temp_.GetPath()), ""));
}

// A program that runs is replaced too (the system may refuse to replace it
// in one rename, but lets it move), and a rollback puts it back.
TEST_F(CopyFileOperationTest, ARunningProgramIsReplacedAndPutBack) {
  const base::FilePath program = Path(u"running.exe");
  wchar_t self[MAX_PATH] = {};
  ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
  ASSERT_TRUE(
      base::CopyOneFile(base::FilePath(base::as_u16cstr(self)), program));
  const std::string old_contents = test::ReadFileContents(program);
  // Loaded as an image, as a running program is.
  HMODULE image = LoadLibraryExW(base::as_wcstr(program.value()), nullptr,
                                 DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(nullptr, image);
  {
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction, std::make_unique<CopyFileOperation>(source_, program)));
    EXPECT_EQ("new contents", test::ReadFileContents(program));
    Transaction::Rollback(&transaction);
  }
  FreeLibrary(image);
  EXPECT_EQ(old_contents, test::ReadFileContents(program));
  EXPECT_TRUE(
      FindEntriesEndingWith(TakeFileTreeSnapshot(temp_.GetPath()), ".old")
          .empty());
  EXPECT_TRUE(
      FindEntriesEndingWith(TakeFileTreeSnapshot(temp_.GetPath()), ".tmp")
          .empty());
}

TEST_F(CopyFileOperationTest, RollbackDeletesCopyAndBringsOldFileBack) {
  const base::FilePath destination = Path(u"launcher.exe");
  ASSERT_TRUE(test::WriteFileContents(destination, "old contents"));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  Transaction transaction;
  ASSERT_TRUE(Transaction::RunOperation(
      &transaction, std::make_unique<CopyFileOperation>(source_, destination)));
  Transaction::Rollback(&transaction);
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
}

TEST_F(CopyFileOperationTest, MissingFolderIsCreatedAndRemovedOnRollback) {
  const base::FilePath destination = Path(u"a\\b\\c\\new.dll");
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  for (bool held : {false, true}) {
    SCOPED_TRACE(held);
    test::ScopedLogCapture log;
    // Let go before the rollback, as the installer does.
    auto folders = std::make_shared<HeldFolders>();
    if (held) folders->Add(temp_.GetPath());
    Transaction transaction;
    ASSERT_TRUE(Transaction::RunOperation(
        &transaction,
        std::make_unique<CopyFileOperation>(source_, destination, folders)));
    folders.reset();
    EXPECT_EQ("new contents", test::ReadFileContents(destination));
    EXPECT_EQ(held,
              log.Has(-1, "Copying " + source_.AsUTF8() + " to " +
                              destination.AsUTF8() + " through held folders"));
    // The folder operation and the copy.
    EXPECT_EQ(2u, transaction.size());
    Transaction::Rollback(&transaction);
    EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
  }
}

// By path, and through held folders, where the bit goes through the
// source's own handle.
TEST_F(CopyFileOperationTest, ReadOnlySourceIsCopiedWritableAndKeptOnRollback) {
  for (bool held : {false, true}) {
    SCOPED_TRACE(held ? "held" : "by path");
    ASSERT_TRUE(SetFileAttributesW(base::as_wcstr(source_.value()),
                                   FILE_ATTRIBUTE_READONLY));
    const base::FilePath destination = Path(u"copy.dll");
    const auto before = TakeFileTreeSnapshot(temp_.GetPath());
    auto folders = std::make_shared<HeldFolders>();
    if (held) folders->Add(temp_.GetPath());
    {
      test::ScopedLogCapture log;
      Transaction transaction;
      ASSERT_TRUE(Transaction::RunOperation(
          &transaction,
          std::make_unique<CopyFileOperation>(source_, destination, folders)));
      const std::vector<std::string> lines = log.Messages(logging::LOG_VERBOSE);
      EXPECT_EQ(
          held,
          std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("through held folders") != std::string::npos;
          }));
      EXPECT_FALSE(Attributes(destination) & FILE_ATTRIBUTE_READONLY);
      EXPECT_FALSE(Attributes(source_) & FILE_ATTRIBUTE_READONLY);
      folders.reset();
      Transaction::Rollback(&transaction);
    }
    EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
    EXPECT_TRUE(Attributes(source_) & FILE_ATTRIBUTE_READONLY);
  }
}

// A copy that fails names the paths and the system's reason in the log,
// and leaves the file it would have replaced.
TEST_F(CopyFileOperationTest, AFailedCopyNamesTheSystemsReason) {
  const base::FilePath source = Path(u"missing.dll");
  const base::FilePath destination = Path(u"launcher.exe");
  ASSERT_TRUE(test::WriteFileContents(destination, "old contents"));
  const auto before = TakeFileTreeSnapshot(temp_.GetPath());
  test::ScopedLogCapture log;
  Transaction transaction;
  EXPECT_FALSE(Transaction::RunOperation(
      &transaction, std::make_unique<CopyFileOperation>(source, destination)));
  EXPECT_TRUE(transaction.empty());
  EXPECT_TRUE(log.Has(
      logging::LOG_ERROR,
      "File copy failed: " + source.AsUTF8() + " to " + destination.AsUTF8() +
          ": " + logging::SystemErrorCodeToString(ERROR_FILE_NOT_FOUND)));
  EXPECT_EQ(before, TakeFileTreeSnapshot(temp_.GetPath()));
}

}  // namespace
}  // namespace installer
