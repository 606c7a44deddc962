#include "desktop/windows/installer/package_fetcher/unpacked_file_writer_win.h"

#include <string.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A FILETIME value: 2020-09-13 12:26:40 UTC.
constexpr uint64_t kTime = 132444736000000000;

uint64_t LastWriteTime(const base::FilePath& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  EXPECT_TRUE(GetFileAttributesExW(base::as_wcstr(path.value()),
                                   GetFileExInfoStandard, &data));
  return uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32 |
         data.ftLastWriteTime.dwLowDateTime;
}

// Queues |text| as the bytes of the file begun last, in pieces of at most
// |piece| bytes.
void Put(UnpackedFileWriter* writer, const std::string& text, size_t piece) {
  for (size_t done = 0; done < text.size();) {
    size_t size = std::min(piece, text.size() - done);
    uint8_t* buffer = writer->GetBuffer(&size);
    memcpy(buffer, text.data() + done, size);
    writer->Commit(size);
    done += size;
  }
}

TEST(UnpackedFileWriterTest, WritesInOrderWithOrWithoutItsThread) {
  // A file larger than all chunks together, small ones, an empty one with
  // a time, and a folder item.
  const std::string large(UnpackedFileWriter::kChunkSize * 5 + 17, 'L');
  for (bool threaded : {true, false}) {
    SCOPED_TRACE(threaded);
    base::ScopedTempDir dir;
    ASSERT_TRUE(dir.CreateUniqueTempDir());
    const base::FilePath out = dir.GetPath().Append(u"out");
    UnpackedFileWriter writer(4093, UINT64_MAX);
    if (threaded) writer.Start();
    writer.CreateFolder(out.Append(u"empty folder"));
    writer.BeginFile(out.Append(u"a\\b\\large.bin"), nullptr);
    Put(&writer, large, 100000);
    writer.EndFile();
    for (int i = 0; i < 600; ++i) {
      writer.BeginFile(
          out.Append(u"small\\" + base::UTF8ToUTF16(std::to_string(i))),
          nullptr);
      Put(&writer, "file " + std::to_string(i), 3);
      writer.EndFile();
    }
    writer.BeginFile(out.Append(u"timed"), &kTime);
    writer.EndFile();
    ASSERT_EQ(0u, writer.Finish());
    std::string contents;
    ASSERT_TRUE(base::FileUtil::ReadFileToString(out.Append(u"a\\b\\large.bin"),
                                                 &contents));
    EXPECT_TRUE(contents == large);
    for (int i : {0, 299, 599}) {
      ASSERT_TRUE(base::FileUtil::ReadFileToString(
          out.Append(u"small\\" + base::UTF8ToUTF16(std::to_string(i))),
          &contents));
      EXPECT_EQ("file " + std::to_string(i), contents);
    }
    EXPECT_EQ(kTime, LastWriteTime(out.Append(u"timed")));
    EXPECT_TRUE(base::DirectoryExists(out.Append(u"empty folder")));
  }
}

TEST(UnpackedFileWriterTest, AFailureStopsTheRestAndEverythingGoes) {
  for (bool threaded : {true, false}) {
    SCOPED_TRACE(threaded);
    base::ScopedTempDir dir;
    ASSERT_TRUE(dir.CreateUniqueTempDir());
    const base::FilePath out = dir.GetPath().Append(u"out");
    // A folder where the third file goes: it cannot be created.
    ASSERT_TRUE(base::FileUtil::CreateDirectory(out.Append(u"x\\third")));
    UnpackedFileWriter writer(1 << 20, UINT64_MAX);
    if (threaded) writer.Start();
    for (const char16_t* name :
         {u"first", u"y\\second", u"x\\third", u"z\\fourth"}) {
      writer.BeginFile(out.Append(name), nullptr);
      Put(&writer, "bytes", 5);
      writer.EndFile();
    }
    EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), writer.Finish());
    EXPECT_EQ(static_cast<uint32_t>(ERROR_ACCESS_DENIED), writer.error());
    EXPECT_FALSE(base::PathExists(out.Append(u"z\\fourth")));
    writer.RemoveCreated();
    // What was there before stays; what the writer made is gone.
    EXPECT_TRUE(base::DirectoryExists(out.Append(u"x\\third")));
    EXPECT_FALSE(base::PathExists(out.Append(u"first")));
    EXPECT_FALSE(base::PathExists(out.Append(u"y")));
  }
}

}  // namespace
}  // namespace installer
