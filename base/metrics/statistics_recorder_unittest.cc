#include "base/metrics/statistics_recorder.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "base/bind.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"
#include "gtest/gtest.h"

namespace base {
namespace {

BucketRanges* MakeRanges(std::vector<int32_t> values, uint32_t checksum) {
  auto* ranges = new BucketRanges(values.size());
  for (size_t i = 0; i < values.size(); ++i) ranges->set_range(i, values[i]);
  ranges->set_checksum(checksum);
  return ranges;
}

TEST(StatisticsRecorderTest, StartsWithTheFirstFactoryCall) {
  HistogramBase* first = SparseHistogram::FactoryGet("RecorderTest.Started", 0);
  EXPECT_TRUE(StatisticsRecorder::IsActive());
  // Shared afterwards: no second object for the same name.
  EXPECT_EQ(first, SparseHistogram::FactoryGet("RecorderTest.Started", 0));
  EXPECT_EQ(StatisticsRecorder::FindHistogram("RecorderTest.Started"), first);
}

TEST(StatisticsRecorderTest, NamesOrderByLengthFirst) {
  StatisticsRecorder::EnsureStarted();
  HistogramBase* ab = SparseHistogram::FactoryGet("ab", 0);
  HistogramBase* b = SparseHistogram::FactoryGet("b", 0);
  std::vector<HistogramBase*> all = StatisticsRecorder::GetHistograms();
  auto position = [&](HistogramBase* h) {
    return std::find(all.begin(), all.end(), h) - all.begin();
  };
  EXPECT_LT(position(b), position(ab));
  // The same object registered again is returned and survives.
  EXPECT_EQ(StatisticsRecorder::RegisterOrDeleteDuplicate(b), b);
  EXPECT_EQ(b->histogram_name(), "b");
}

TEST(StatisticsRecorderTest, RangesAreSharedByContent) {
  StatisticsRecorder::EnsureStarted();
  const BucketRanges* first =
      StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
          MakeRanges({0, 7, 9, INT32_MAX}, 0x1234));
  // Equal content: the first object comes back (the second is deleted,
  // which ASan would report if it were used or leaked).
  EXPECT_EQ(StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
                MakeRanges({0, 7, 9, INT32_MAX}, 0x1234)),
            first);
  // Same checksum, other boundaries: both stay.
  const BucketRanges* other =
      StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
          MakeRanges({0, 7, 8, INT32_MAX}, 0x1234));
  EXPECT_NE(other, first);
  std::vector<const BucketRanges*> all = StatisticsRecorder::GetBucketRanges();
  EXPECT_NE(std::find(all.begin(), all.end(), first), all.end());
  EXPECT_NE(std::find(all.begin(), all.end(), other), all.end());
}

TEST(StatisticsRecorderTest, AbsentRecorderAnswers) {
  HistogramBase* registered =
      Histogram::FactoryGet("RecorderTest.Hidden", 1, 100, 10, 0);
  ASSERT_TRUE(StatisticsRecorder::SetCallback(
      "RecorderTest.Hidden", Bind([](HistogramBase::Sample) {})));
  {
    StatisticsRecorder::ScopedHideForTesting hide;
    EXPECT_FALSE(StatisticsRecorder::IsActive());
    EXPECT_EQ(StatisticsRecorder::FindHistogram("RecorderTest.Hidden"),
              nullptr);
    EXPECT_TRUE(
        StatisticsRecorder::FindCallback("RecorderTest.Hidden").is_null());
    // Every factory call builds a new, unregistered histogram.
    HistogramBase* a =
        Histogram::FactoryGet("RecorderTest.Hidden", 1, 100, 10, 0);
    HistogramBase* b =
        Histogram::FactoryGet("RecorderTest.Hidden", 1, 100, 10, 0);
    EXPECT_NE(a, registered);
    EXPECT_NE(a, b);
    EXPECT_FALSE(a->flags() & HistogramBase::kCallbackExistsFlag);
    // Nothing holds them: the test frees what production would leak.
    for (HistogramBase* histogram : {a, b}) {
      const BucketRanges* ranges =
          static_cast<Histogram*>(histogram)->bucket_ranges();
      delete histogram;
      delete ranges;
    }
    auto* unregistered = new BucketRanges(2);
    EXPECT_EQ(StatisticsRecorder::RegisterOrDeleteDuplicateRanges(unregistered),
              unregistered);
    delete unregistered;
  }
  EXPECT_TRUE(StatisticsRecorder::IsActive());
  EXPECT_EQ(Histogram::FactoryGet("RecorderTest.Hidden", 1, 100, 10, 0),
            registered);
  EXPECT_FALSE(
      StatisticsRecorder::FindCallback("RecorderTest.Hidden").is_null());
}

}  // namespace
}  // namespace base
