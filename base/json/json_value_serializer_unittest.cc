#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "base/files/file_path.h"
#include "base/json/json_file_value_serializer.h"
#include "base/json/json_reader.h"
#include "base/json/json_string_value_serializer.h"
#include "base/values.h"
#include "gtest/gtest.h"

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <errno.h>
#include <unistd.h>
#endif

namespace base {
namespace {

namespace fs = std::filesystem;

// A folder of its own for each test, removed afterwards.
class JSONFileValueDeserializerTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info =
        testing::UnitTest::GetInstance()->current_test_info();
    dir_ =
        fs::temp_directory_path() / ("velna_json_" + std::string(info->name()) +
                                     "_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    ASSERT_TRUE(fs::create_directories(dir_));
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  FilePath PathOf(const fs::path& path) const {
    return FilePath(path.u16string());
  }

  FilePath WriteFile(const std::string& name, const std::string& contents) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << contents;
    return PathOf(path);
  }

  fs::path dir_;
};

TEST(JSONStringValueSerializerTest, SerializesCompactOrPretty) {
  DictionaryValue root;
  root.SetInteger("a", 1);
  std::string json = "old";
  JSONStringValueSerializer serializer(&json);
  EXPECT_FALSE(serializer.pretty_print());
  EXPECT_TRUE(serializer.Serialize(root));
  EXPECT_EQ("{\"a\":1}", json);
  serializer.set_pretty_print(true);
  EXPECT_TRUE(serializer.Serialize(root));
  EXPECT_EQ("{\r\n   \"a\": 1\r\n}\r\n", json);
}

TEST(JSONStringValueSerializerTest, FailsWithoutTarget) {
  JSONStringValueSerializer serializer(nullptr);
  EXPECT_FALSE(serializer.Serialize(Value()));
}

TEST(JSONStringValueDeserializerTest, TrailingCommaFlagAndErrors) {
  const std::string json = "[1,]";
  JSONStringValueDeserializer deserializer(json);
  int code = 0;
  std::string message;
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, code);
  EXPECT_EQ("Line: 1, column: 4, Trailing comma not allowed.", message);

  deserializer.set_allow_trailing_comma(true);
  std::unique_ptr<Value> root = deserializer.Deserialize(nullptr, nullptr);
  ASSERT_TRUE(root);
  EXPECT_TRUE(root->IsType(Value::TYPE_LIST));
}

TEST_F(JSONFileValueDeserializerTest, ReadsAndRecordsSize) {
  const std::string contents = "{\"a\": [1, 2,],}";
  const FilePath path = WriteFile("prefs.json", contents);
  JSONFileValueDeserializer deserializer(path);
  EXPECT_EQ(0u, deserializer.get_last_read_size());

  int code = 0;
  std::string message;
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  EXPECT_EQ(JSONReader::JSON_TRAILING_COMMA, code);
  EXPECT_EQ(contents.size(), deserializer.get_last_read_size());

  deserializer.set_allow_trailing_comma(true);
  std::unique_ptr<Value> root = deserializer.Deserialize(&code, &message);
  ASSERT_TRUE(root);
  const DictionaryValue* dict = nullptr;
  ASSERT_TRUE(root->GetAsDictionary(&dict));
  EXPECT_TRUE(dict->GetList("a", static_cast<const ListValue**>(nullptr)));
}

TEST_F(JSONFileValueDeserializerTest, LargeFileReadsWhole) {
  // Larger than one read chunk.
  std::string contents = "[";
  for (int i = 0; i < 40000; ++i) contents += "12345,";
  contents += "0]";
  const FilePath path = WriteFile("large.json", contents);
  JSONFileValueDeserializer deserializer(path);
  std::unique_ptr<Value> root = deserializer.Deserialize(nullptr, nullptr);
  ASSERT_TRUE(root);
  const ListValue* list = nullptr;
  ASSERT_TRUE(root->GetAsList(&list));
  EXPECT_EQ(40001u, list->GetSize());
  EXPECT_EQ(contents.size(), deserializer.get_last_read_size());
}

TEST_F(JSONFileValueDeserializerTest, MissingFile) {
  JSONFileValueDeserializer deserializer(PathOf(dir_ / "absent.json"));
  int code = 0;
  std::string message;
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  EXPECT_EQ(JSONFileValueDeserializer::JSON_NO_SUCH_FILE, code);
  EXPECT_EQ(1003, code);
  EXPECT_EQ("File doesn't exist.", message);
}

TEST_F(JSONFileValueDeserializerTest, EmptyFileReadsButDoesNotParse) {
  const FilePath path = WriteFile("empty.json", "");
  JSONFileValueDeserializer deserializer(path);
  int code = 0;
  std::string message;
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  EXPECT_EQ(JSONReader::JSON_UNEXPECTED_TOKEN, code);
  EXPECT_EQ("Line: 1, column: 1, Unexpected token.", message);
  EXPECT_EQ(0u, deserializer.get_last_read_size());
}

TEST_F(JSONFileValueDeserializerTest, ParentReferenceIsRefused) {
  WriteFile("real.json", "1");
  fs::create_directories(dir_ / "sub");
  const FilePath path = PathOf(dir_ / "sub" / ".." / "real.json");
  JSONFileValueDeserializer deserializer(path);
  int code = 0;
  std::string message;
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
  // The file is there but is not read.
  EXPECT_EQ(JSONFileValueDeserializer::JSON_CANNOT_READ_FILE, code);
  EXPECT_EQ("Can't read file.", message);
}

TEST_F(JSONFileValueDeserializerTest, FolderIsNotAFile) {
  JSONFileValueDeserializer deserializer(PathOf(dir_));
  int code = 0;
  std::string message;
  EXPECT_FALSE(deserializer.Deserialize(&code, &message));
#if defined(_WIN32)
  // Opening a folder as a file is refused with ERROR_ACCESS_DENIED.
  EXPECT_EQ(JSONFileValueDeserializer::JSON_ACCESS_DENIED, code);
  EXPECT_EQ("Access denied.", message);
#else
  EXPECT_EQ(JSONFileValueDeserializer::JSON_CANNOT_READ_FILE, code);
#endif
}

#if !defined(_WIN32)
TEST_F(JSONFileValueDeserializerTest, ClassifiesSystemErrors) {
  const FilePath existing = WriteFile("present.json", "1");
  const FilePath missing = PathOf(dir_ / "absent.json");
  struct {
    int system_error;
    const FilePath& path;
    int expected;
  } cases[] = {
      {EAGAIN, existing, 1002}, {EACCES, missing, 1000},
      {EPERM, existing, 1000},  {EIO, existing, 1001},
      {EISDIR, existing, 1001}, {ENOENT, missing, 1003},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, JSONFileValueDeserializer::ClassifyReadError(
                              c.system_error, c.path))
        << c.system_error;
  }
}
#endif

TEST(JSONFileValueDeserializerMessagesTest, CodesAndMessages) {
  EXPECT_EQ("Access denied.",
            JSONFileValueDeserializer::GetErrorMessageForCode(1000));
  EXPECT_EQ("Can't read file.",
            JSONFileValueDeserializer::GetErrorMessageForCode(1001));
  EXPECT_EQ("File locked.",
            JSONFileValueDeserializer::GetErrorMessageForCode(1002));
  EXPECT_EQ("File doesn't exist.",
            JSONFileValueDeserializer::GetErrorMessageForCode(1003));
  EXPECT_EQ("", JSONFileValueDeserializer::GetErrorMessageForCode(999));
  EXPECT_EQ("", JSONFileValueDeserializer::GetErrorMessageForCode(1004));
}

}  // namespace
}  // namespace base
