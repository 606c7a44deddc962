#include <windows.h>

#include <string>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/files/important_file_writer_test_contents.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/rand_util.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

constexpr size_t kBodySize = 256 * 1024;

std::string ReadWholeFile(const FilePath& path) {
  std::string contents;
  FileUtil::ReadFileToString(path, &contents);
  return contents;
}

// Kills the writing process at random moments: the file is always one
// complete generation, never a truncated or mixed one.
TEST(ImportantFileWriterWinTest, KilledWriterLeavesACompleteFile) {
  ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const FilePath target = temp_dir.GetPath().AppendASCII("Local State");
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(
      target, test::MakeWriterTestContents(0, kBodySize)));
  const std::u16string child =
      GetTestExecutableFolder() + u"important_file_writer_test_child.exe";

  uint32_t highest_generation = 0;
  for (int iteration = 0; iteration < 40; ++iteration) {
    SCOPED_TRACE(iteration);
    const std::u16string event_name =
        u"Local\\VelnaIfwTest_" +
        UTF8ToUTF16(std::to_string(::GetCurrentProcessId()) + "_" +
                    std::to_string(iteration));
    win::ScopedHandle event(
        ::CreateEventW(nullptr, TRUE, FALSE, as_wcstr(event_name)));
    ASSERT_TRUE(event.IsValid());
    Process writer = LaunchProcess(u"\"" + child + u"\" \"" + target.value() +
                                       u"\" " + event_name + u" " +
                                       UTF8ToUTF16(std::to_string(kBodySize)),
                                   LaunchOptions());
    ASSERT_TRUE(writer.IsValid());
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(event.Get(), 20000));
    ::Sleep(static_cast<DWORD>(RandInt(0, 20)));
    ASSERT_TRUE(writer.Terminate(1, true));

    uint32_t generation = 0;
    ASSERT_TRUE(
        test::CheckWriterTestContents(ReadWholeFile(target), &generation));
    EXPECT_GE(generation, 1u);
    if (generation > highest_generation) highest_generation = generation;
  }
  // The writer got past its first write in at least some runs.
  EXPECT_GT(highest_generation, 1u);

  // Besides the file, only temporary files of killed writes may remain,
  // named after it, so that a later run can tell them from anyone's.
  FileEnumerator entries(temp_dir.GetPath(), false,
                         FileEnumerator::FILES | FileEnumerator::DIRECTORIES);
  for (FilePath entry = entries.Next(); !entry.empty();
       entry = entries.Next()) {
    if (entry == target) continue;
    std::u16string of;
    EXPECT_TRUE(IsTemporaryFileNameOf(entry.BaseName().value(), &of))
        << entry.value();
    EXPECT_EQ(target.BaseName().value(), of);
  }
}

FilePath g_temp_path;
void KeepTempPath(const FilePath& temp_path, const FilePath&) {
  g_temp_path = temp_path;
}

// The temporary file is named after its file, or in the plain form where
// that name would be too long for the folder's entries.
TEST(ImportantFileWriterWinTest, TheTemporaryFileIsNamedAfterItsFile) {
  ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  internal::SetBeforeRenameHookForTesting(&KeepTempPath);
  for (size_t length : {11u, 246u, 247u, 255u}) {
    SCOPED_TRACE(length);
    const FilePath target =
        temp_dir.GetPath().Append(std::u16string(length - 4, u'p') + u".xml");
    ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(target, "data"));
    EXPECT_EQ("data", ReadWholeFile(target));
    std::u16string of;
    const std::u16string name = g_temp_path.BaseName().value();
    if (length <= 246) {
      EXPECT_TRUE(IsTemporaryFileNameOf(name, &of)) << name;
      EXPECT_EQ(target.BaseName().value(), of);
    } else {
      EXPECT_TRUE(IsTemporaryFileName(name)) << name;
    }
    EXPECT_EQ(temp_dir.GetPath(), g_temp_path.DirName());
  }
  internal::SetBeforeRenameHookForTesting(nullptr);
}

// A target held open without sharing cannot be replaced: the write fails,
// the old contents stay and the temporary file is removed.
TEST(ImportantFileWriterWinTest, LockedTargetKeepsOldFileAndNoTemp) {
  ScopedTempDir temp_dir;
  ASSERT_TRUE(temp_dir.CreateUniqueTempDir());
  const FilePath target = temp_dir.GetPath().AppendASCII("Preferences");
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(target, "old"));
  {
    win::ScopedHandle lock(::CreateFileW(as_wcstr(target.value()), GENERIC_READ,
                                         0, nullptr, OPEN_EXISTING, 0,
                                         nullptr));
    ASSERT_TRUE(lock.IsValid());
    EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(target, "new"));
  }
  EXPECT_EQ("old", ReadWholeFile(target));
  FileEnumerator entries(temp_dir.GetPath(), false, FileEnumerator::FILES);
  int count = 0;
  for (FilePath entry = entries.Next(); !entry.empty(); entry = entries.Next())
    ++count;
  EXPECT_EQ(1, count);
}

}  // namespace
}  // namespace base
