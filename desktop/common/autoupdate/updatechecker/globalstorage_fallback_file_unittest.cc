#include "desktop/common/autoupdate/updatechecker/globalstorage_fallback_file.h"

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/message_loop/message_loop.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace autoupdate {
namespace {

class GlobalStorageFallbackFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.CreateUniqueTempDir());
    path_ = temp_.GetPath().Append(kGlobalStorageFileName);
  }

  void WriteFile(const std::string& contents) {
    ASSERT_EQ(static_cast<int>(contents.size()),
              base::WriteBufferToFile(path_, contents.data(),
                                      static_cast<int>(contents.size())));
  }
  // The file's JSON as it is on disk now.
  std::unique_ptr<base::Value> OnDisk() {
    std::string contents;
    if (!base::FileUtil::ReadFileToString(path_, &contents)) return nullptr;
    return base::JSONReader::Read(contents);
  }

  base::MessageLoop loop_;
  base::ScopedTempDir temp_;
  base::FilePath path_;
};

TEST_F(GlobalStorageFallbackFileTest, AWriteIsOnDiskOnceTheFileIsClosed) {
  EXPECT_TRUE(GlobalStorageFallbackFile(path_).WriteValue("UUID", "u-1"));
  EXPECT_TRUE(GlobalStorageFallbackFile(path_).WriteValue("a.b", "dotted"));
  std::unique_ptr<base::Value> expected = base::JSONReader::Read(
      "{\"GS\": {\"UUID\": \"u-1\", \"a.b\": \"dotted\"}}");
  std::unique_ptr<base::Value> on_disk = OnDisk();
  ASSERT_TRUE(on_disk);
  EXPECT_TRUE(expected->Equals(on_disk.get()));

  // An empty value removes the literal key.
  EXPECT_TRUE(GlobalStorageFallbackFile(path_).WriteValue("a.b", ""));
  expected = base::JSONReader::Read("{\"GS\": {\"UUID\": \"u-1\"}}");
  on_disk = OnDisk();
  ASSERT_TRUE(on_disk);
  EXPECT_TRUE(expected->Equals(on_disk.get()));
}

TEST_F(GlobalStorageFallbackFileTest, ReadsLiteralKeysThenDottedPaths) {
  WriteFile(
      "{\"GS\": {\"UUID\": \"u\", \"p.q\": \"literal\", \"p\": {\"q\": "
      "\"nested\", \"r\": \"path\"}, \"wide\": \"\\u00e9\", \"n\": 5}}");
  GlobalStorageFallbackFile file(path_);
  const struct {
    const char* key;
    bool found;
    const char* value;
  } kCases[] = {
      {"UUID", true, "u"}, {"p.q", true, "literal"}, {"p.r", true, "path"},
      {"p.s", false, ""},  {"missing", false, ""},   {"wide", false, ""},
      {"n", false, ""},    {"p", false, ""},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.key);
    std::string value = "stale";
    EXPECT_EQ(test_case.found, file.ReadValue(test_case.key, &value));
    if (test_case.found) {
      EXPECT_EQ(test_case.value, value);
    }
  }
  std::unique_ptr<base::DictionaryValue> all = file.ReadAll();
  ASSERT_TRUE(all);
  EXPECT_EQ(5u, all->size());
}

TEST_F(GlobalStorageFallbackFileTest, MissingAndBrokenValueDictionaries) {
  // No file: reading succeeds empty, there is nothing to copy, a write
  // creates the file.
  {
    GlobalStorageFallbackFile file(path_);
    std::string value = "stale";
    EXPECT_TRUE(file.ReadValue("UUID", &value));
    EXPECT_EQ("", value);
    EXPECT_FALSE(file.ReadAll());
  }
  // "GS" of another type: nothing is read or written.
  WriteFile("{\"GS\": [\"UUID\"], \"keep\": 1}");
  {
    GlobalStorageFallbackFile file(path_);
    std::string value;
    EXPECT_FALSE(file.ReadValue("UUID", &value));
    EXPECT_FALSE(file.ReadAll());
    EXPECT_FALSE(file.WriteValue("UUID", "u"));
  }
  std::string contents;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(path_, &contents));
  EXPECT_EQ("{\"GS\": [\"UUID\"], \"keep\": 1}", contents);

  // A root that is no object makes the file read-only.
  WriteFile("[1]");
  EXPECT_FALSE(GlobalStorageFallbackFile(path_).WriteValue("UUID", "u"));
  // A folder that is not there cannot take the file.
  EXPECT_FALSE(
      GlobalStorageFallbackFile(
          temp_.GetPath().Append(u"missing").Append(kGlobalStorageFileName))
          .WriteValue("UUID", "u"));
}

}  // namespace
}  // namespace autoupdate
