#include "base/features/list_feature_reader.h"

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/features/command_line_feature_reader.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

TEST(ListFeatureReaderTest, ElementsOfTheStoredForm) {
  ListValue list;
  list.AppendString("plain@1");
  list.AppendString("  spaced name  @ 2 ");
  list.AppendString("two@at@1");
  list.AppendString("zero@0");
  list.AppendString("three@3");
  list.AppendString("nothing@");
  list.AppendString("no-at-sign");
  list.AppendString("word@one");
  list.AppendInteger(1);
  list.AppendBoolean(true);
  list.Append(std::make_unique<ListValue>());
  list.AppendString("last@2");

  std::vector<FeatureEntry> entries;
  ListFeatureReader(list).Read(&entries);
  ASSERT_EQ(3u, entries.size());
  EXPECT_EQ("plain", entries[0].name);
  EXPECT_TRUE(entries[0].enabled);
  EXPECT_EQ("spaced name", entries[1].name);
  EXPECT_FALSE(entries[1].enabled);
  EXPECT_EQ("last", entries[2].name);
  EXPECT_FALSE(entries[2].enabled);
}

TEST(ListFeatureReaderTest, CommandLineAppliedLaterWins) {
  ListValue list;
  list.AppendString("both@1");
  list.AppendString("stored-only@1");
  CommandLine command_line(CommandLine::NO_PROGRAM);
  command_line.AppendSwitchASCII(MakeFeatureSwitchName("both"), "off");

  FeatureList features;
  features.AddFeature("both", false, true);
  features.AddFeature("stored-only", false, true);
  features.ReadOverrides(ListFeatureReader(list));
  features.ReadOverrides(CommandLineFeatureReader(command_line));
  EXPECT_FALSE(features.IsEnabled("both"));
  EXPECT_TRUE(features.IsEnabled("stored-only"));
}

}  // namespace
}  // namespace base
