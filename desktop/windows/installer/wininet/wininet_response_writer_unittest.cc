#include "desktop/windows/installer/wininet/wininet_response_writer.h"

#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(ResponseWriterTest, StringWriterAppendsAndRewinds) {
  std::string body = "left over";
  StringResponseWriter writer(&body);
  EXPECT_EQ("", body);
  EXPECT_TRUE(writer.Write("abc", 3));
  EXPECT_TRUE(writer.Write("\0de", 3));
  EXPECT_EQ(std::string("abc\0de", 6), body);
  EXPECT_TRUE(writer.Rewind());
  EXPECT_EQ("", body);
  EXPECT_TRUE(writer.Write("xyz", 3));
  writer.Close();
  EXPECT_EQ("xyz", body);

  ResponseWriter discard;
  EXPECT_TRUE(discard.Write("abc", 3));
  EXPECT_TRUE(discard.Rewind());
}

}  // namespace
}  // namespace installer
