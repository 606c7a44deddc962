#include "base/files/important_file_writer.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/run_loop.h"
#include "base/test/scoped_temp_dir.h"
#include "base/threading/thread.h"
#include "base/timer/timer.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::filesystem::path ToStdPath(const FilePath& path) {
#if defined(_WIN32)
  return std::filesystem::path(path.value());
#else
  std::string native = path.AsUTF8();
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return std::filesystem::path(native);
#endif
}

// The names in |folder|, to catch a temporary file left behind.
std::vector<std::string> ListFolder(const FilePath& folder) {
  std::vector<std::string> names;
  for (const auto& entry :
       std::filesystem::directory_iterator(ToStdPath(folder)))
    names.push_back(entry.path().filename().string());
  return names;
}

std::string ReadFile(const FilePath& path) {
  std::string contents;
  if (!FileUtil::ReadFileToString(path, &contents)) return "<unreadable>";
  return contents;
}

class CountingSerializer : public ImportantFileWriter::DataSerializer {
 public:
  bool SerializeData(std::string* data) override {
    ++calls;
    *data = next_data;
    return succeed;
  }

  std::string next_data;
  bool succeed = true;
  int calls = 0;
};

class ImportantFileWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_dir_.CreateUniqueTempDir());
    file_ = temp_dir_.GetPath().AppendASCII("state.json");
    ASSERT_TRUE(writer_thread_.Start());
  }

  // Waits until everything posted to the writer thread so far has run.
  void FlushWriterThread() {
    RunLoop run_loop;
    writer_thread_.task_runner()->PostTaskAndReply(
        CURRENT_LOCATION, Bind([] {}), run_loop.QuitClosure());
    run_loop.Run();
  }

  MessageLoop loop_;
  ScopedTempDir temp_dir_;
  FilePath file_;
  Thread writer_thread_{"ImportantFileWriterTest"};
};

TEST_F(ImportantFileWriterTest, WriteFileAtomicallyReplacesTheWholeFile) {
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(file_, "first version"));
  EXPECT_EQ("first version", ReadFile(file_));
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(file_, "second"));
  EXPECT_EQ("second", ReadFile(file_));
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(file_, ""));
  EXPECT_EQ("", ReadFile(file_));
  EXPECT_EQ(std::vector<std::string>{"state.json"},
            ListFolder(temp_dir_.GetPath()));
}

// Every failure: false, the old file untouched, no temporary file left.
TEST_F(ImportantFileWriterTest, FailedWritesKeepTheOldFileAndLeaveNoTemp) {
  ASSERT_TRUE(ImportantFileWriter::WriteFileAtomically(file_, "old"));

  // The rename cannot replace a folder.
  const FilePath folder_target = temp_dir_.GetPath().AppendASCII("folder");
  ASSERT_TRUE(FileUtil::CreateDirectory(folder_target));
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(folder_target, "new"));
  EXPECT_TRUE(DirectoryExists(folder_target));

  // No temporary file can be made in a missing folder.
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(
      temp_dir_.GetPath().AppendASCII("missing").AppendASCII("f"), "new"));

  // 2 GiB cannot be written in one go: refused before anything is touched
  // (the bytes behind the view are never read).
  const char byte = 'x';
  EXPECT_FALSE(ImportantFileWriter::WriteFileAtomically(
      file_, StringPiece(&byte, size_t{1} << 31)));

  EXPECT_EQ("old", ReadFile(file_));
  std::vector<std::string> names = ListFolder(temp_dir_.GetPath());
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"folder", "state.json"}), names);
}

TEST_F(ImportantFileWriterTest, ScheduledWritesCoalesceIntoTheNewestData) {
  ImportantFileWriter writer(file_, writer_thread_.task_runner(),
                             TimeDelta::FromMilliseconds(30));
  CountingSerializer serializer;
  RunLoop run_loop;
  writer.RegisterOnNextSuccessfulWriteCallback(run_loop.QuitClosure());
  for (const char* data : {"one", "two", "three"}) {
    serializer.next_data = data;
    writer.ScheduleWrite(&serializer);
    EXPECT_TRUE(writer.HasPendingWrite());
  }
  EXPECT_EQ(0, serializer.calls);
  run_loop.Run();
  EXPECT_EQ(1, serializer.calls);
  EXPECT_FALSE(writer.HasPendingWrite());
  EXPECT_EQ("three", ReadFile(file_));
}

TEST_F(ImportantFileWriterTest, WriteNowCancelsTheScheduledWrite) {
  ImportantFileWriter writer(file_, writer_thread_.task_runner(),
                             TimeDelta::FromMilliseconds(20));
  CountingSerializer serializer;
  serializer.next_data = "scheduled";
  writer.ScheduleWrite(&serializer);
  writer.WriteNow(std::make_unique<std::string>("direct"));
  EXPECT_FALSE(writer.HasPendingWrite());
  // Well past the commit interval: the timer must not fire.
  OneShotTimer wait;
  RunLoop run_loop;
  wait.Start(CURRENT_LOCATION, TimeDelta::FromMilliseconds(60),
             run_loop.QuitClosure());
  run_loop.Run();
  FlushWriterThread();
  EXPECT_EQ(0, serializer.calls);
  EXPECT_EQ("direct", ReadFile(file_));
}

TEST_F(ImportantFileWriterTest, FailingSerializerWritesNothingAndClears) {
  ImportantFileWriter writer(file_, writer_thread_.task_runner());
  CountingSerializer serializer;
  serializer.succeed = false;
  writer.ScheduleWrite(&serializer);
  writer.DoScheduledWrite();
  FlushWriterThread();
  EXPECT_EQ(1, serializer.calls);
  EXPECT_FALSE(PathExists(file_));
  EXPECT_FALSE(writer.HasPendingWrite());
}

TEST_F(ImportantFileWriterTest, DestroyingDropsScheduledButNotPostedWrites) {
  const FilePath other = temp_dir_.GetPath().AppendASCII("other.json");
  {
    ImportantFileWriter writer(file_, writer_thread_.task_runner());
    CountingSerializer serializer;
    serializer.next_data = "scheduled";
    writer.ScheduleWrite(&serializer);
  }
  {
    ImportantFileWriter writer(other, writer_thread_.task_runner());
    writer.WriteNow(std::make_unique<std::string>("posted"));
  }
  FlushWriterThread();
  EXPECT_FALSE(PathExists(file_));
  EXPECT_EQ("posted", ReadFile(other));
}

TEST_F(ImportantFileWriterTest, SuccessCallbackWaitsForASuccessfulWrite) {
  const FilePath unwritable =
      temp_dir_.GetPath().AppendASCII("missing").AppendASCII("f.json");
  ImportantFileWriter failing(unwritable, writer_thread_.task_runner());
  int calls = 0;
  failing.RegisterOnNextSuccessfulWriteCallback(
      Bind([](int* calls) { ++*calls; }, &calls));
  failing.WriteNow(std::make_unique<std::string>("lost"));
  FlushWriterThread();
  RunLoop().RunUntilIdle();
  EXPECT_EQ(0, calls);

  ImportantFileWriter writer(file_, writer_thread_.task_runner());
  writer.RegisterOnNextSuccessfulWriteCallback(
      Bind([](int* calls) { ++*calls; }, &calls));
  writer.WriteNow(std::make_unique<std::string>("a"));
  writer.WriteNow(std::make_unique<std::string>("b"));
  FlushWriterThread();
  RunLoop().RunUntilIdle();
  // Once only: the callback is cleared by the first success.
  EXPECT_EQ(1, calls);
  EXPECT_EQ("b", ReadFile(file_));
}

}  // namespace
}  // namespace base
