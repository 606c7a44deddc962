#include "desktop/windows/crash_reporter/minidump_writer_win.h"

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/crash_reporter/test/minidump_test_util_win.h"
#include "desktop/windows/crash_reporter/test/running_child_win.h"
#include "desktop/windows/installer/common/version_info.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

class MinidumpWriterTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    ASSERT_TRUE(test::StartSnapshotChild(&child_, &crash_));
    process_.Set(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                             child_.pid()));
    ASSERT_TRUE(process_.IsValid());
    dump_path_ = temp_.GetPath().Append(u"crash \u00e9.dmp");
  }

  base::ScopedTempDir temp_;
  test::RunningChild child_;
  test::SnapshotChildCrash crash_;
  base::win::ScopedHandle process_;
  base::FilePath dump_path_;
};

TEST_F(MinidumpWriterTest, AClientsDumpWithItsOwnPointers) {
  ASSERT_TRUE(WriteMinidumpForClient(
      process_.Get(), child_.pid(), crash_.thread_id_variable,
      crash_.pointers_variable, 0, dump_path_, kClientMinidumpSizeLimit));
  const test::MinidumpContents dump = test::ReadMinidumpFile(dump_path_);
  ASSERT_TRUE(dump.has_exception);
  EXPECT_EQ(crash_.thread_id, dump.thread_id);
  EXPECT_EQ(0xC0000005u, dump.code);
  EXPECT_EQ(installer::VersionInfo::GetProductVersion() + " 730997",
            dump.version);
  EXPECT_EQ("", dump.assertion);
}

TEST_F(MinidumpWriterTest, UnreadableAddressesWriteNoDump) {
  EXPECT_FALSE(WriteMinidumpForClient(process_.Get(), child_.pid(), 0x10,
                                      crash_.pointers_variable, 0, dump_path_,
                                      kClientMinidumpSizeLimit));
  EXPECT_FALSE(WriteMinidumpForClient(
      process_.Get(), child_.pid(), crash_.thread_id_variable,
      crash_.pointers_variable, 0x10, dump_path_, kClientMinidumpSizeLimit));
  EXPECT_FALSE(WriteMinidumpForOwnCrash(process_.Get(), child_.pid(), 0x10,
                                        dump_path_,
                                        kOwnCrashMinidumpSizeLimit));
  EXPECT_FALSE(WriteMinidumpForClient(
      nullptr, child_.pid(), crash_.thread_id_variable,
      crash_.pointers_variable, 0, dump_path_, kClientMinidumpSizeLimit));
  EXPECT_FALSE(base::PathExists(dump_path_));
}

TEST_F(MinidumpWriterTest, SizeLimits) {
  base::win::ScopedHandle process(OpenProcess(
      PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, child_.pid()));
  ASSERT_TRUE(process.IsValid());
  SelfCrashRecord record = {};
  record.thread_id = crash_.thread_id;
  SIZE_T read = 0;
  ASSERT_TRUE(ReadProcessMemory(
      process.Get(), reinterpret_cast<void*>(crash_.pointers_variable),
      &record.exception_pointers, sizeof(record.exception_pointers), &read));

  auto write = [&](uint64_t limit, uint32_t* type, int64_t* size) {
    base::win::ScopedHandle file(CreateFileW(
        base::as_wcstr(dump_path_.value()), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(file.IsValid());
    const bool written = CrashReporter::WriteMinidumpWithDbghelp(
        process.Get(), child_.pid(), record, file.Get(), limit, type);
    LARGE_INTEGER file_size = {};
    GetFileSizeEx(file.Get(), &file_size);
    *size = file_size.QuadPart;
    return written;
  };

  // Without a limit that matters the first type is kept.
  uint32_t type = 99;
  int64_t full_size = 0;
  ASSERT_TRUE(write(UINT64_MAX, &type, &full_size));
  EXPECT_EQ(kMinidumpTypes[0], type);
  // Just below it the normal type is written in its place, if it fits.
  int64_t normal_size = 0;
  type = 99;
  const bool normal = write(full_size - 1, &type, &normal_size);
  if (normal) {
    EXPECT_EQ(kMinidumpTypes[1], type);
    EXPECT_LT(normal_size, full_size);
  } else {
    EXPECT_EQ(0, normal_size);
  }
  // Too large with both types: the file is emptied, and the file-level
  // writer removes it.
  int64_t size = 0;
  EXPECT_FALSE(write(1, &type, &size));
  EXPECT_EQ(0, size);
  ASSERT_TRUE(base::DeleteFileOrDirectory(dump_path_, false));
  EXPECT_FALSE(
      WriteMinidumpFile(process.Get(), child_.pid(), record, dump_path_, 1));
  EXPECT_FALSE(base::PathExists(dump_path_));

  // An invalid-parameter record adds its assertion stream.
  record.assertion.type = 1;
  record.assertion.line = 321;
  record.assertion.expression[0] = u'x';
  ASSERT_TRUE(WriteMinidumpFile(process.Get(), child_.pid(), record, dump_path_,
                                kClientMinidumpSizeLimit));
  const test::MinidumpContents dump = test::ReadMinidumpFile(dump_path_);
  ASSERT_EQ(sizeof(AssertionRecord), dump.assertion.size());
  AssertionRecord assertion;
  memcpy(&assertion, dump.assertion.data(), sizeof(assertion));
  EXPECT_EQ(321u, assertion.line);
  EXPECT_EQ(u'x', assertion.expression[0]);
}

// A dump is only written into a file it creates: a file already at its
// name, or a second name of another file planted there, stays as it is.
TEST_F(MinidumpWriterTest, AFilePlantedAtTheDumpsNameStays) {
  const base::FilePath secret = temp_.GetPath().Append(u"secret.txt");
  ASSERT_EQ(6, base::WriteBufferToFile(secret, "secret", 6));
  ASSERT_EQ(7, base::WriteBufferToFile(dump_path_, "planted", 7));
  auto write = [this] {
    return WriteMinidumpForClient(
        process_.Get(), child_.pid(), crash_.thread_id_variable,
        crash_.pointers_variable, 0, dump_path_, kClientMinidumpSizeLimit);
  };
  EXPECT_FALSE(write());
  std::string text;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(dump_path_, &text));
  EXPECT_EQ("planted", text);

  ASSERT_TRUE(base::DeleteFileOrDirectory(dump_path_, false));
  ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(dump_path_.value()),
                              base::as_wcstr(secret.value()), nullptr));
  EXPECT_FALSE(write());
  ASSERT_TRUE(base::FileUtil::ReadFileToString(secret, &text));
  EXPECT_EQ("secret", text);

  ASSERT_TRUE(base::DeleteFileOrDirectory(dump_path_, false));
  EXPECT_TRUE(write());
}

}  // namespace

}  // namespace crash_reporter
