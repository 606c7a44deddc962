#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"
#include "desktop/windows/installer/package_fetcher/progress_listener.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

struct Entry {
  bool folder = false;
  uint64_t size = 0;
  std::string sha256;
  uint64_t filetime = 0;
};

// Everything below |root|, by relative path.
std::map<std::u16string, Entry> Snapshot(const base::FilePath& root) {
  std::map<std::u16string, Entry> entries;
  base::FileEnumerator walk(
      root, true,
      base::FileEnumerator::FILES | base::FileEnumerator::DIRECTORIES);
  for (base::FilePath path = walk.Next(); !path.empty(); path = walk.Next()) {
    const WIN32_FIND_DATAW info = walk.GetInfo();
    Entry entry;
    entry.folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (!entry.folder) {
      std::string data;
      EXPECT_TRUE(base::FileUtil::ReadFileToString(path, &data));
      entry.size = data.size();
      entry.sha256 = test::Sha256Hex(data);
      entry.filetime = uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                       info.ftLastWriteTime.dwLowDateTime;
    }
    entries[path.value().substr(root.value().size() + 1)] = entry;
  }
  return entries;
}

uint64_t NowFiletime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime;
}

// The unpacked |folder| holds the 300-file tree: names, sizes, contents and
// times, every folder, and nothing else.
void ExpectTree(const base::FilePath& folder, uint64_t unpack_start) {
  std::map<std::u16string, Entry> entries = Snapshot(folder);
  for (const test::TreeFile& file : test::TreeFiles()) {
    const std::string name = base::UTF16ToUTF8(file.path);
    auto it = entries.find(file.path);
    ASSERT_NE(entries.end(), it) << name;
    EXPECT_FALSE(it->second.folder) << name;
    EXPECT_EQ(file.size, it->second.size) << name;
    EXPECT_EQ(file.sha256, it->second.sha256) << name;
    if (file.filetime) {
      EXPECT_EQ(file.filetime, it->second.filetime) << name;
    } else {
      // No time in the archive: the time it was written (2 s of slack for
      // the file system's resolution).
      EXPECT_GE(it->second.filetime + 20000000, unpack_start) << name;
    }
    entries.erase(it);
  }
  for (const std::u16string& folder_name : test::TreeFolders()) {
    auto it = entries.find(folder_name);
    ASSERT_NE(entries.end(), it) << base::UTF16ToUTF8(folder_name);
    EXPECT_TRUE(it->second.folder);
    entries.erase(it);
  }
  for (const auto& [name, entry] : entries)
    ADD_FAILURE() << "unexpected " << base::UTF16ToUTF8(name);
}

class RecordingListener : public ProgressListener {
 public:
  void SetTotalProgress(int total) override { totals.push_back(total); }
  void SetCurrentProgress(int current) override { currents.push_back(current); }

  std::vector<int> totals;
  std::vector<int> currents;
};

class LzmaUtilTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    package_ = temp_.GetPath().AppendASCII("package");
    sibling_ = temp_.GetPath().AppendASCII("sibling");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(package_));
    ASSERT_TRUE(base::FileUtil::CreateDirectory(sibling_));
    const std::string keep = "keep me";
    ASSERT_EQ(7, base::WriteBufferToFile(sibling_.AppendASCII("keep.txt"),
                                         keep.data(), 7));
  }

  int Unpack(const base::FilePath& archive, LzmaUtil* util = nullptr) {
    LzmaUtil local;
    if (!util) util = &local;
    EXPECT_EQ(0u, util->OpenArchive(archive));
    return util->UnPack(package_);
  }

  // The package folder is empty, the sibling untouched, and nothing else
  // appeared beside them.
  void ExpectNothingWritten(const std::string& what) {
    EXPECT_TRUE(Snapshot(package_).empty()) << what;
    const std::map<std::u16string, Entry> sibling = Snapshot(sibling_);
    ASSERT_EQ(1u, sibling.size()) << what;
    EXPECT_EQ(test::Sha256Hex("keep me"), sibling.at(u"keep.txt").sha256);
    const std::map<std::u16string, Entry> parent = Snapshot(temp_.GetPath());
    EXPECT_EQ(3u, parent.size()) << what;
  }

  base::ScopedTempDir temp_;
  base::FilePath package_;
  base::FilePath sibling_;
};

TEST_F(LzmaUtilTest, TreeUnpacksToItsSource) {
  RecordingListener listener;
  LzmaUtil util(&listener);
  const uint64_t start = NowFiletime();
  ASSERT_EQ(0u, util.OpenArchive(
                    test::MaterialPath(test::MaterialString("tree_archive"))));
  base::FilePath last;
  ASSERT_EQ(0, util.UnPack(package_, &last));
  ExpectTree(package_, start);
  // 300 files and the 42 folder items; progress by item, in order.
  ASSERT_EQ(std::vector<int>{342}, listener.totals);
  ASSERT_EQ(342u, listener.currents.size());
  for (int i = 0; i < 342; ++i) EXPECT_EQ(i, listener.currents[i]);
  EXPECT_EQ(package_.value(),
            last.DirName().value().substr(0, package_.value().size()));
  EXPECT_TRUE(base::PathExists(last));
}

TEST_F(LzmaUtilTest, PackagesAppendedToExecutablesUnpack) {
  for (const char* exe : {"payload.full_unsigned", "payload.full_signed"}) {
    SCOPED_TRACE(exe);
    PayloadReader reader(test::MaterialPath(test::MaterialString(exe)));
    ASSERT_TRUE(reader.Read());
    ASSERT_TRUE(reader.IsFullPackage());
    const base::FilePath archive = temp_.GetPath().AppendASCII("package.7z");
    ASSERT_TRUE(reader.WritePayload(archive));
    const uint64_t start = NowFiletime();
    ASSERT_EQ(0, Unpack(archive));
    ExpectTree(package_, start);
    ASSERT_TRUE(base::DeleteFileOrDirectory(package_, true));
    ASSERT_TRUE(base::DeleteFileOrDirectory(archive, false));
  }
}

TEST_F(LzmaUtilTest, PackageInsideAnExecutableUnpacksInPlace) {
  const base::FilePath exe =
      test::MaterialPath(test::MaterialString("payload.full_signed"));
  PayloadReader reader(exe);
  ASSERT_TRUE(reader.Read());
  LzmaUtil util;
  ASSERT_EQ(0u, util.OpenArchive(exe, reader.payload_offset(),
                                 reader.payload_length()));
  const uint64_t start = NowFiletime();
  ASSERT_EQ(0, util.UnPack(package_));
  ExpectTree(package_, start);
}

TEST_F(LzmaUtilTest, EveryStreamedChainUnpacks) {
  for (const std::string& key : test::MaterialKeys("streams")) {
    if (key == "stream_files") continue;
    SCOPED_TRACE(key);
    ASSERT_EQ(
        0, Unpack(test::MaterialPath(test::MaterialString("streams." + key))));
    const std::map<std::u16string, Entry> files = Snapshot(package_);
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ(test::MaterialString("streams.stream_files.code_exe"),
              files.at(u"code.exe").sha256);
    EXPECT_EQ(test::MaterialString("streams.stream_files.noise_bin"),
              files.at(u"noise.bin").sha256);
    EXPECT_EQ(test::MaterialString("streams.stream_files.text_txt"),
              files.at(u"text.txt").sha256);
    ASSERT_TRUE(base::DeleteFileOrDirectory(package_, true));
  }
}

TEST_F(LzmaUtilTest, DamageLateInABlockLeavesNothing) {
  // Files of the block are written before the damage shows; they go again.
  std::string data;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(
      test::MaterialPath(test::MaterialString("streams.lzma2")), &data));
  data[data.size() * 3 / 4] ^= 0x40;
  const base::FilePath archive = temp_.GetPath().AppendASCII("late.7z");
  ASSERT_EQ(static_cast<int>(data.size()),
            base::WriteBufferToFile(archive, data.data(),
                                    static_cast<int>(data.size())));
  test::ScopedLogCapture log;
  LzmaUtil util;
  ASSERT_EQ(0u, util.OpenArchive(archive));
  base::FilePath last;
  EXPECT_EQ(LzmaUtil::kArchiveError, util.UnPack(package_, &last));
  // Not the first item: an earlier one was written and removed.
  EXPECT_NE(u"code.exe", last.BaseName().value());
  bool logged = false;
  for (const std::string& message : log.Messages(logging::LOG_ERROR))
    logged |= message.rfind("Error returned by SzExtract: ", 0) == 0;
  EXPECT_TRUE(logged);
  util.CloseArchive();
  ASSERT_TRUE(base::DeleteFileOrDirectory(archive, false));
  ExpectNothingWritten("late damage");
}

TEST_F(LzmaUtilTest, DiskFillingUpFailsCleanly) {
  // Streamed and whole blocks, the disk full after some files, in the
  // middle of one and before any byte.
  const struct {
    const char* archive;
    uint64_t limit;
    bool whole_blocks;
  } kCases[] = {
      {"tree_archive", 300000, false},
      {"streams.bcj2_lzma2", 500000, false},
      {"streams.x86", 0, false},
      {"tree_archive", 300000, true},
      {"streams.bcj2_lzma2", 500000, true},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.archive);
    SCOPED_TRACE(test_case.whole_blocks);
    test::ScopedLogCapture log;
    LzmaUtil util;
    util.set_write_limit_for_testing(test_case.limit);
    util.set_whole_blocks_for_testing(test_case.whole_blocks);
    ASSERT_EQ(0u, util.OpenArchive(test::MaterialPath(
                      test::MaterialString(test_case.archive))));
    // Into a folder the unpack makes: it goes again too.
    EXPECT_EQ(static_cast<int>(ERROR_DISK_FULL),
              util.UnPack(package_.AppendASCII("made")));
    bool logged = false;
    for (const std::string& message : log.Messages(logging::LOG_ERROR))
      logged |= message == "Error returned by WriteFile: 112";
    EXPECT_TRUE(logged);
    ExpectNothingWritten(test_case.archive);
  }
}

TEST_F(LzmaUtilTest, ItemsAreWrittenInPieces) {
  for (bool whole_blocks : {false, true}) {
    LzmaUtil util;
    util.set_max_write_size_for_testing(4093);
    util.set_whole_blocks_for_testing(whole_blocks);
    const uint64_t start = NowFiletime();
    ASSERT_EQ(0,
              Unpack(test::MaterialPath(test::MaterialString("tree_archive")),
                     &util));
    ExpectTree(package_, start);
    ASSERT_TRUE(base::DeleteFileOrDirectory(package_, true));
  }
}

TEST_F(LzmaUtilTest, HostileArchivesWriteNothing) {
  for (const std::string& key : test::MaterialKeys("hostile")) {
    test::ScopedLogCapture log;
    EXPECT_EQ(
        LzmaUtil::kArchiveError,
        Unpack(test::MaterialPath(test::MaterialString("hostile." + key))))
        << key;
    ExpectNothingWritten(key);
    bool named = false;
    for (const std::string& message : log.Messages(logging::LOG_ERROR))
      named |= message.rfind("Unsafe item name in the archive: ", 0) == 0;
    // A NUL makes the database itself unreadable.
    EXPECT_EQ(key != "nul", named) << key;
  }
}

TEST_F(LzmaUtilTest, DamagedArchivesWriteNothing) {
  for (const std::string& key : test::MaterialKeys("damaged")) {
    EXPECT_EQ(
        LzmaUtil::kArchiveError,
        Unpack(test::MaterialPath(test::MaterialString("damaged." + key))))
        << key;
    ExpectNothingWritten(key);
  }
}

TEST_F(LzmaUtilTest, BlockLargerThanTheFreeSpaceIsRefusedFirst) {
  test::ScopedLogCapture log;
  EXPECT_EQ(
      LzmaUtil::kArchiveError,
      Unpack(test::MaterialPath(test::MaterialString("damaged.huge_block"))));
  bool refused = false;
  for (const std::string& message : log.Messages(logging::LOG_ERROR))
    refused |= message.find("does not fit the") != std::string::npos;
  EXPECT_TRUE(refused);
  // Never sized: no attempt to make the temporary file that large.
  for (const std::string& message : log.Messages(logging::LOG_WARNING))
    EXPECT_EQ(std::string::npos, message.find("Cannot size")) << message;
  ExpectNothingWritten("huge block");
}

TEST_F(LzmaUtilTest, MethodsAndFoldersOnly) {
  for (const char* method : {"bcj2", "copy"}) {
    ASSERT_EQ(0, Unpack(test::MaterialPath(
                     test::MaterialString(std::string("methods.") + method))))
        << method;
    const std::map<std::u16string, Entry> files = Snapshot(package_);
    ASSERT_EQ(2u, files.size()) << method;
    EXPECT_EQ(test::MaterialString("methods.method_files.code"),
              files.at(u"code.exe").sha256);
    EXPECT_EQ(test::MaterialString("methods.method_files.text"),
              files.at(u"text.txt").sha256);
    ASSERT_TRUE(base::DeleteFileOrDirectory(package_, true));
  }
  EXPECT_EQ(LzmaUtil::kArchiveError,
            Unpack(test::MaterialPath(test::MaterialString("methods.ppmd"))));
  ASSERT_TRUE(base::DeleteFileOrDirectory(package_, true));

  ASSERT_EQ(
      0,
      Unpack(test::MaterialPath(test::MaterialString("methods.folders_only"))));
  std::vector<std::u16string> folders;
  for (const auto& [name, entry] : Snapshot(package_)) {
    EXPECT_TRUE(entry.folder) << base::UTF16ToUTF8(name);
    folders.push_back(name);
  }
  EXPECT_EQ(
      (std::vector<std::u16string>{u"a", u"b", u"b\\c", u"b\\d", u"b\\d\\e"}),
      folders);
}

TEST_F(LzmaUtilTest, FileSystemErrorsGiveTheWindowsCode) {
  // A folder where the archive has a file: CreateFile fails, since every
  // file is made new.
  ASSERT_TRUE(
      base::FileUtil::CreateDirectory(package_.AppendASCII("notime.txt")));
  EXPECT_EQ(static_cast<int>(ERROR_FILE_EXISTS),
            Unpack(test::MaterialPath(test::MaterialString("tree_archive"))));
}

TEST_F(LzmaUtilTest, OpenAndUnpackWithoutArchive) {
  LzmaUtil util;
  EXPECT_EQ(LzmaUtil::kArchiveError, util.UnPack(package_));
  EXPECT_EQ(static_cast<uint32_t>(ERROR_FILE_NOT_FOUND),
            util.OpenArchive(temp_.GetPath().AppendASCII("missing.7z")));
  EXPECT_EQ(LzmaUtil::kArchiveError, util.UnPack(package_));
  // The same archive twice, into two folders.
  ASSERT_EQ(0u, util.OpenArchive(
                    test::MaterialPath(test::MaterialString("methods.copy"))));
  EXPECT_EQ(0, util.UnPack(package_));
  EXPECT_EQ(0, util.UnPack(sibling_.AppendASCII("again")));
  EXPECT_EQ(2u, Snapshot(sibling_.AppendASCII("again")).size());
  util.CloseArchive();
  EXPECT_EQ(LzmaUtil::kArchiveError, util.UnPack(package_));
}

TEST_F(LzmaUtilTest, WindowOfAFileReadsAsAFile) {
  const base::FilePath path = temp_.GetPath().AppendASCII("ten");
  ASSERT_EQ(10, base::WriteBufferToFile(path, "0123456789", 10));
  base::win::ScopedHandle file(CreateFileW(base::as_wcstr(path.value()),
                                           GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file.IsValid());
  // Bytes 2 to 7: "234567".
  FileInStream in(file.Get(), 2, 6);
  const ISeekInStream* stream = in.stream();
  Int64 position = 1;
  EXPECT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_SET));
  EXPECT_EQ(1, position);
  char buffer[16] = {};
  size_t size = 3;
  EXPECT_EQ(SZ_OK, stream->Read(stream, buffer, &size));
  EXPECT_EQ("345", std::string(buffer, size));
  position = 0;
  EXPECT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_CUR));
  EXPECT_EQ(4, position);
  // The end is the window's: a short count, then nothing.
  size = sizeof(buffer);
  EXPECT_EQ(SZ_OK, stream->Read(stream, buffer, &size));
  EXPECT_EQ("67", std::string(buffer, size));
  size = sizeof(buffer);
  EXPECT_EQ(SZ_OK, stream->Read(stream, buffer, &size));
  EXPECT_EQ(0u, size);
  position = -2;
  EXPECT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_END));
  EXPECT_EQ(4, position);
  size = sizeof(buffer);
  EXPECT_EQ(SZ_OK, stream->Read(stream, buffer, &size));
  EXPECT_EQ("67", std::string(buffer, size));
  // Nothing before the window's start.
  position = -7;
  EXPECT_EQ(SZ_ERROR_FAIL, stream->Seek(stream, &position, SZ_SEEK_END));
  position = -1;
  EXPECT_EQ(SZ_ERROR_FAIL, stream->Seek(stream, &position, SZ_SEEK_SET));
}

TEST_F(LzmaUtilTest, InputStreamCallbacks) {
  const base::FilePath path = temp_.GetPath().AppendASCII("ten");
  ASSERT_EQ(10, base::WriteBufferToFile(path, "0123456789", 10));
  HANDLE file =
      CreateFileW(base::as_wcstr(path.value()), GENERIC_READ, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FileInStream in(file);
  const ISeekInStream* stream = in.stream();

  Int64 position = 4;
  EXPECT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_SET));
  EXPECT_EQ(4, position);
  position = 7;
  EXPECT_EQ(SZ_ERROR_PARAM,
            stream->Seek(stream, &position, static_cast<ESzSeek>(3)));
  EXPECT_EQ(4,
            static_cast<int>(SetFilePointer(file, 0, nullptr, FILE_CURRENT)));
  position = 2;
  EXPECT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_CUR));
  EXPECT_EQ(6, position);
  position = -3;
  EXPECT_EQ(SZ_OK, stream->Seek(stream, &position, SZ_SEEK_END));
  EXPECT_EQ(7, position);
  position = -20;
  EXPECT_EQ(SZ_ERROR_FAIL, stream->Seek(stream, &position, SZ_SEEK_END));

  // A request beyond the end gives a short count, then nothing.
  char buffer[16] = {};
  size_t size = sizeof(buffer);
  EXPECT_EQ(SZ_OK, stream->Read(stream, buffer, &size));
  EXPECT_EQ(3u, size);
  EXPECT_EQ("789", std::string(buffer, 3));
  size = sizeof(buffer);
  EXPECT_EQ(SZ_OK, stream->Read(stream, buffer, &size));
  EXPECT_EQ(0u, size);
  CloseHandle(file);

  // A handle without read access fails to read.
  file = CreateFileW(base::as_wcstr(path.value()), GENERIC_WRITE, 0, nullptr,
                     OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FileInStream write_only(file);
  size = 4;
  EXPECT_EQ(SZ_ERROR_READ,
            write_only.stream()->Read(write_only.stream(), buffer, &size));
  EXPECT_EQ(0u, size);
  CloseHandle(file);
}

}  // namespace
}  // namespace installer
