#include "desktop/windows/crash_reporter/crash_counts.h"

#include <limits>
#include <string>

#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

TEST(CrashCountsTest, MergesIntoTheFileText) {
  const CrashCounts counts = {{"installer", 2}, {"crash_reporter", 1}};
  struct {
    const char* name;
    const char* existing;  // null: no file
    bool merged;
    std::string expected;
  } cases[] = {
      {"new file", nullptr, true, R"({"crash_reporter":1,"installer":2})"},
      {"counts add up", R"({"installer":3,"other":7})", true,
       R"({"crash_reporter":1,"installer":5,"other":7})"},
      {"members that are not integers are dropped",
       R"({"installer":"3","x":1.5,"y":[1],"crash_reporter":4})", true,
       R"({"crash_reporter":5,"installer":2})"},
      {"a dotted key stays one member", R"({"a.b":1})", true,
       R"({"a.b":1,"crash_reporter":1,"installer":2})"},
      {"not JSON", "{\"installer\":", false, ""},
      {"an empty file", "", false, ""},
      {"not an object", "[1,2]", false, ""},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    const std::string existing = test.existing ? test.existing : "";
    std::string merged = "untouched";
    EXPECT_EQ(test.merged, MergeCrashCounts(test.existing ? &existing : nullptr,
                                            counts, &merged));
    EXPECT_EQ(test.merged ? test.expected : "untouched", merged);
  }
}

TEST(CrashCountsTest, SumsSaturate) {
  CrashCounts totals = {{"a", std::numeric_limits<int>::max() - 1}};
  AddCrashCounts({{"a", 5}, {"b", 1}}, &totals);
  EXPECT_EQ((CrashCounts{{"a", std::numeric_limits<int>::max()}, {"b", 1}}),
            totals);
}

}  // namespace

}  // namespace crash_reporter
