#include "base/trace_event/trace_config.h"

#include <string>

#include "gtest/gtest.h"

namespace base {
namespace trace_event {
namespace {

TEST(MatchPatternTest, Table) {
  const struct {
    const char* text;
    const char* pattern;
    bool matches;
  } kCases[] = {
      {"disabled-by-default-memory-infra", "disabled-by-default-*", true},
      {"toplevel", "disabled-by-default-*", false},
      {"ac", "a?c", true},
      {"abc", "a?c", true},
      {"abbc", "a?c", false},
      {"", "", true},
      {"", "*", true},
      {"", "?", true},
      {"a", "", false},
      {"abc", "*", true},
      {"abc", "a*", true},
      {"abc", "*c", true},
      {"abc", "*b", false},
      {"abc", "a*b*c", true},
      {"a*c", "a\\*c", true},
      {"abc", "a\\*c", false},
      {"a?c", "a\\?c", true},
      {"a\\c", "a\\\\c", true},
      // Code points, not bytes: "?" takes the whole of "é".
      {"h\xC3\xA9llo", "h?llo", true},
      {"h\xC3\xA9llo", "h\xC3\xA9*", true},
      // A malformed sequence equals nothing, not even itself.
      {"a\xC3", "a\xC3", false},
      {"a\xFF", "a?", true},
      // Sixteen levels are allowed, seventeen are not.
      {"abcdefghijklmnop", "????????????????", true},
      {"abcdefghijklmnopq", "?????????????????", false},
  };
  for (const auto& test : kCases) {
    EXPECT_EQ(MatchPattern(test.text, test.pattern), test.matches)
        << "\"" << test.text << "\" against \"" << test.pattern << "\"";
  }
}

TEST(TraceConfigTest, CategoryGroupsOfADefaultConfig) {
  TraceConfig config;
  EXPECT_TRUE(config.IsCategoryGroupEnabled("toplevel"));
  EXPECT_FALSE(
      config.IsCategoryGroupEnabled("disabled-by-default-toplevel.flow"));
  EXPECT_TRUE(config.IsCategoryGroupEnabled(
      "disabled-by-default-toplevel.flow,toplevel"));
  EXPECT_FALSE(config.IsCategoryGroupEnabled(""));
  EXPECT_FALSE(config.IsCategoryGroupEnabled(",,"));
}

TEST(TraceConfigTest, ListsDecideInOrder) {
  const struct {
    const char* filter;
    const char* group;
    bool enabled;
  } kCases[] = {
      {"-toplevel", "toplevel", false},
      {"-toplevel", "toplevel,base", true},
      {"-toplevel", "base", true},
      {"-top*", "toplevel,topmost", false},
      {"base", "toplevel", false},
      {"base", "base", true},
      {"base", "toplevel,base", true},
      {"ba?e", "bae", true},
      {"base,-toplevel", "toplevel", false},
      {"disabled-by-default-toplevel.flow", "disabled-by-default-toplevel.flow",
       true},
      {"disabled-by-default-toplevel.flow", "toplevel", true},
      {"disabled-by-default-toplevel.flow", "disabled-by-default-other", false},
      {"toplevel,base,disabled-by-default-toplevel.flow",
       "disabled-by-default-toplevel.flow", true},
      {"toplevel,base,disabled-by-default-toplevel.flow", "File", false},
  };
  for (const auto& test : kCases) {
    TraceConfig config;
    std::string error;
    ASSERT_TRUE(TraceConfig::ParseCategoryFilter(test.filter, &config, &error))
        << error;
    EXPECT_EQ(config.IsCategoryGroupEnabled(test.group), test.enabled)
        << test.filter << " / " << test.group;
  }
}

TEST(TraceConfigTest, ParseSortsPatternsAndRefusesBadOnes) {
  TraceConfig config;
  std::string error;
  ASSERT_TRUE(TraceConfig::ParseCategoryFilter(
      "toplevel,-base,disabled-by-default-x*", &config, &error));
  EXPECT_EQ(config.included_categories(),
            std::vector<std::string>({"toplevel"}));
  EXPECT_EQ(config.excluded_categories(), std::vector<std::string>({"base"}));
  EXPECT_EQ(config.disabled_categories(),
            std::vector<std::string>({"disabled-by-default-x*"}));

  const std::string sixty_four(64, 'a');
  EXPECT_TRUE(TraceConfig::ParseCategoryFilter(sixty_four, &config, &error));
  EXPECT_TRUE(TraceConfig::ParseCategoryFilter("*a*b*c*", &config, &error));
  const char* kRefused[] = {"",  ",",   "a,",        ",a",    "a,,b",
                            "-", "a,-", "*a*b*c*d*", "-*****"};
  for (const char* filter : kRefused) {
    TraceConfig untouched;
    untouched.included_categories().push_back("kept");
    error.clear();
    EXPECT_FALSE(TraceConfig::ParseCategoryFilter(filter, &untouched, &error))
        << filter;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(untouched.included_categories().size(), 1u);
  }
  EXPECT_FALSE(
      TraceConfig::ParseCategoryFilter(sixty_four + "a", &config, &error));
}

TEST(TraceConfigTest, ClearAndCopy) {
  TraceConfig config;
  config.set_record_mode(3);
  config.included_categories().push_back("a");
  config.memory_dump_config().breakdown_threshold_bytes = 5;
  TraceConfig::EventFilterConfig filter("event_whitelist_predicate");
  auto args = std::make_unique<DictionaryValue>();
  args->SetString("key", "value");
  filter.SetArgs(std::move(args));
  config.event_filters().push_back(filter);

  TraceConfig copy = config;
  // The copy's arguments are its own.
  ASSERT_EQ(copy.event_filters().size(), 1u);
  EXPECT_NE(copy.event_filters()[0].args(), config.event_filters()[0].args());
  std::string value;
  EXPECT_TRUE(copy.event_filters()[0].args()->GetString("key", &value));
  EXPECT_EQ(value, "value");

  config.Clear();
  EXPECT_EQ(config.record_mode(), 0);
  EXPECT_TRUE(config.included_categories().empty());
  EXPECT_TRUE(config.event_filters().empty());
  EXPECT_EQ(config.memory_dump_config().breakdown_threshold_bytes, 1024u);
  EXPECT_EQ(copy.included_categories().size(), 1u);
}

TEST(TraceConfigTest, EventFilterEntryFirstDecidingTokenWins) {
  TraceConfig::EventFilterConfig filter("testing_predicate");
  filter.included_categories().push_back("inc*");
  filter.excluded_categories().push_back("exc");
  EXPECT_TRUE(filter.IsCategoryGroupEnabled("include"));
  EXPECT_FALSE(filter.IsCategoryGroupEnabled("exc,include"));
  EXPECT_TRUE(filter.IsCategoryGroupEnabled("other,include,exc"));
  EXPECT_FALSE(filter.IsCategoryGroupEnabled("other"));
}

}  // namespace
}  // namespace trace_event
}  // namespace base
