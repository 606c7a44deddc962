#include "base/location.h"

#include <string.h>

#include "gtest/gtest.h"

namespace base {
namespace {

// Kept out of line so that each call runs the same posting statement.
const int kPostingSiteLine = __LINE__ + 1;
__attribute__((noinline)) Location PostingSite() { return CURRENT_LOCATION; }

TEST(LocationTest, DefaultIsUnknown) {
  const Location location;
  EXPECT_STREQ("Unknown", location.function_name());
  EXPECT_STREQ("Unknown", location.file_name());
  EXPECT_EQ(-1, location.line_number());
  EXPECT_EQ(nullptr, location.program_counter());
}

TEST(LocationTest, PostingSiteNamesItsFunctionFileAndLine) {
  const Location location = PostingSite();
  EXPECT_STREQ("PostingSite", location.function_name());
  EXPECT_NE(nullptr, strstr(location.file_name(), "location_unittest.cc"));
  EXPECT_EQ(kPostingSiteLine, location.line_number());
  EXPECT_NE(nullptr, location.program_counter());
}

TEST(LocationTest, TwoStatementsGiveDifferentProgramCounters) {
  const Location first = CURRENT_LOCATION;
  const Location second = CURRENT_LOCATION;
  EXPECT_NE(first.line_number(), second.line_number());
  EXPECT_NE(first.program_counter(), second.program_counter());
  // The same statement run twice is the same site.
  EXPECT_EQ(PostingSite().program_counter(), PostingSite().program_counter());
}

TEST(LocationTest, CopyKeepsTextPointers) {
  static const char kFunction[] = "DoneWaiting";
  static const char kFile[] = "a/b.cc";
  int marker = 0;
  const Location original(kFunction, kFile, 7, &marker);
  const Location copy = original;
  EXPECT_EQ(kFunction, copy.function_name());
  EXPECT_EQ(kFile, copy.file_name());
  EXPECT_EQ(7, copy.line_number());
  EXPECT_EQ(&marker, copy.program_counter());
}

}  // namespace
}  // namespace base
