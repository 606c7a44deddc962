#include "base/files/file.h"

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(FileErrorTest, OSErrorToFileError) {
  struct {
    uint32_t code;
    File::Error error;
  } cases[] = {
      {32, File::FILE_ERROR_IN_USE},
      {80, File::FILE_ERROR_EXISTS},
      {2, File::FILE_ERROR_NOT_FOUND},
      {3, File::FILE_ERROR_NOT_FOUND},
      {5, File::FILE_ERROR_ACCESS_DENIED},
      {4, File::FILE_ERROR_TOO_MANY_OPENED},
      {8, File::FILE_ERROR_NO_MEMORY},
      {14, File::FILE_ERROR_NO_MEMORY},
      {39, File::FILE_ERROR_NO_SPACE},
      {112, File::FILE_ERROR_NO_SPACE},
      {314, File::FILE_ERROR_NO_SPACE},
      {1224, File::FILE_ERROR_INVALID_OPERATION},
      {21, File::FILE_ERROR_IO},
      {27, File::FILE_ERROR_IO},
      {55, File::FILE_ERROR_IO},
      {1117, File::FILE_ERROR_IO},
      {1392, File::FILE_ERROR_IO},
      {1393, File::FILE_ERROR_IO},
      {183, File::FILE_ERROR_FAILED},
      {0, File::FILE_ERROR_FAILED},
      {6, File::FILE_ERROR_FAILED},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.error, File::OSErrorToFileError(c.code)) << c.code;
}
}  // namespace
}  // namespace base
