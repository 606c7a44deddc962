#include "base/feature_list.h"

#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// Hands out a fixed set of entries, standing in for a stored list.
class FixedReader : public FeatureReader {
 public:
  explicit FixedReader(std::vector<FeatureEntry> entries)
      : entries_(std::move(entries)) {}
  void Read(std::vector<FeatureEntry>* overrides) const override {
    overrides->insert(overrides->end(), entries_.begin(), entries_.end());
  }

 private:
  std::vector<FeatureEntry> entries_;
};

TEST(FeatureListTest, DefaultsAndOverridesDecideInOrder) {
  struct Case {
    const char* name;
    bool has_default;
    bool default_enabled;
    bool overridable;
    std::vector<FeatureEntry> overrides;
    bool expected;
  };
  const Case cases[] = {
      {"fixed on stays on", true, true, false, {{"x", false}}, true},
      {"fixed off stays off", true, false, false, {{"x", true}}, false},
      {"overridable off turned on", true, false, true, {{"x", true}}, true},
      {"overridable on turned off", true, true, true, {{"x", false}}, false},
      {"no override keeps default", true, true, true, {{"y", false}}, true},
      {"newest override wins",
       true,
       false,
       true,
       {{"x", true}, {"x", false}},
       false},
      {"unregistered is off", false, false, false, {{"x", true}}, false},
      {"names are case-sensitive", true, false, true, {{"X", true}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FeatureList list;
    if (c.has_default) list.AddFeature("x", c.default_enabled, c.overridable);
    list.ReadOverrides(FixedReader(c.overrides));
    EXPECT_EQ(c.expected, list.IsEnabled("x"));
  }
}

TEST(FeatureListTest, FirstRegistrationIsConsulted) {
  FeatureList list;
  list.AddFeature("x", false, false);
  list.AddFeature("x", true, true);
  list.ReadOverrides(FixedReader({{"x", true}}));
  EXPECT_FALSE(list.IsEnabled("x"));
}

TEST(FeatureListTest, CommandLineReadAfterListWins) {
  FeatureList list;
  list.AddFeature("both", false, true);
  list.AddFeature("listed", false, true);
  list.ReadOverrides(FixedReader({{"both", true}, {"listed", true}}));
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.AppendSwitchASCII(MakeFeatureSwitchName("both"), "off");
  list.ReadOverrides(CommandLineFeatureReader(command_line));
  EXPECT_FALSE(list.IsEnabled("both"));
  EXPECT_TRUE(list.IsEnabled("listed"));
}

TEST(FeatureListTest, ScopedOverridesBeatEverythingAndEnd) {
  FeatureList list;
  list.AddFeature("fixed", true, false);
  {
    ScopedFeatureOverride off(&list, "fixed", false);
    EXPECT_FALSE(list.IsEnabled("fixed"));
    {
      ScopedFeatureOverride on(&list, "fixed", true);
      EXPECT_TRUE(list.IsEnabled("fixed"));
    }
    EXPECT_FALSE(list.IsEnabled("fixed"));
    // Even a name without a default follows its scoped override.
    ScopedFeatureOverride unknown(&list, "unknown", true);
    EXPECT_TRUE(list.IsEnabled("unknown"));
  }
  EXPECT_TRUE(list.IsEnabled("fixed"));
  EXPECT_FALSE(list.IsEnabled("unknown"));
}

TEST(FeatureListTest, OverridesTravelToAChildCommandLine) {
  FeatureList parent;
  parent.AddFeature("a", false, true);
  parent.AddFeature("b", true, true);
  parent.AddFeature("c", false, true);
  parent.ReadOverrides(FixedReader({{"a", true}, {"b", false}}));
  ScopedFeatureOverride scoped(&parent, "c", true);

  CommandLine child(FilePath(u"child.exe"));
  parent.AppendToCommandLine(&child);
  EXPECT_EQ(
      u"child.exe --with-feature:a=on --with-feature:b=off "
      u"--with-feature:c=on",
      child.GetCommandLineString());

  // The child parses the rendered text and reaches the same answers.
  CommandLine parsed(CommandLine::NO_PROGRAM);
  parsed.ParseFromString(child.GetCommandLineString());
  FeatureList in_child;
  in_child.AddFeature("a", false, true);
  in_child.AddFeature("b", true, true);
  in_child.AddFeature("c", false, true);
  in_child.ReadOverrides(CommandLineFeatureReader(parsed));
  EXPECT_TRUE(in_child.IsEnabled("a"));
  EXPECT_FALSE(in_child.IsEnabled("b"));
  EXPECT_TRUE(in_child.IsEnabled("c"));
}

TEST(FeatureListTest, ProcessWideListIsOneInstance) {
  FeatureList* list = FeatureList::GetInstance();
  ASSERT_NE(nullptr, list);
  EXPECT_EQ(list, FeatureList::GetInstance());
  list->AddFeature("feature-list-test-singleton", true, false);
  EXPECT_TRUE(IsFeatureEnabled("feature-list-test-singleton"));
  EXPECT_FALSE(IsFeatureEnabled("feature-list-test-never-registered"));
}

TEST(FeatureListTest, SwitchName) {
  EXPECT_EQ("with-feature:installer-x", MakeFeatureSwitchName("installer-x"));
  EXPECT_EQ("with-feature:", MakeFeatureSwitchName(""));
}

}  // namespace
}  // namespace base
