#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "base/files/file_path.h"
#include "base/json/json_file_value_serializer.h"
#include "base/strings/string_util_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

namespace fs = std::filesystem;

// A JSON file in a folder of its own, removed afterwards.
class JSONFileValueDeserializerWinTest : public testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* info =
        testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("velna_json_win_" + std::string(info->name()) + "_" +
            std::to_string(GetCurrentProcessId()));
    fs::remove_all(dir_);
    ASSERT_TRUE(fs::create_directories(dir_));
    file_ = dir_ / "locked.json";
    std::ofstream(file_, std::ios::binary) << "{\"a\":1}";
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  int DeserializeCode() {
    JSONFileValueDeserializer deserializer(FilePath(file_.u16string()));
    int code = 0;
    std::string message;
    EXPECT_FALSE(deserializer.Deserialize(&code, &message));
    EXPECT_EQ(JSONFileValueDeserializer::GetErrorMessageForCode(code), message);
    return code;
  }

  fs::path dir_;
  fs::path file_;
};

TEST_F(JSONFileValueDeserializerWinTest, FileOpenWithoutSharingIsLocked) {
  HANDLE holder =
      CreateFileW(as_wcstr(file_.u16string()), GENERIC_READ | GENERIC_WRITE, 0,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, holder);
  EXPECT_EQ(JSONFileValueDeserializer::JSON_FILE_LOCKED, DeserializeCode());
  CloseHandle(holder);

  JSONFileValueDeserializer deserializer(FilePath(file_.u16string()));
  EXPECT_TRUE(deserializer.Deserialize(nullptr, nullptr));
}

// Wine does not refuse reads of a range locked through another handle, so
// the lock violation is classified from its error number here.
TEST_F(JSONFileValueDeserializerWinTest, ClassifiesSystemErrors) {
  const FilePath existing(file_.u16string());
  const FilePath missing((dir_ / "absent.json").u16string());
  struct {
    int system_error;
    const FilePath& path;
    int expected;
  } cases[] = {
      {ERROR_SHARING_VIOLATION, missing, 1002},
      {ERROR_LOCK_VIOLATION, existing, 1002},
      {ERROR_ACCESS_DENIED, missing, 1000},
      {ERROR_ACCESS_DENIED, existing, 1000},
      {ERROR_INVALID_FUNCTION, existing, 1001},
      {ERROR_SUCCESS, existing, 1001},
      {ERROR_INVALID_FUNCTION, missing, 1003},
      {ERROR_PATH_NOT_FOUND, missing, 1003},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, JSONFileValueDeserializer::ClassifyReadError(
                              c.system_error, c.path))
        << c.system_error;
  }
}

}  // namespace
}  // namespace base
