#include <stdint.h>

#include <memory>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/sample_vector.h"
#include "base/pickle.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::unique_ptr<BucketRanges> MakeLinearRanges(int buckets, int maximum) {
  auto ranges = std::make_unique<BucketRanges>(buckets + 1);
  LinearHistogram::InitializeBucketRanges(1, maximum, ranges.get());
  return ranges;
}

TEST(SampleVectorTest, BucketIndexBoundaries) {
  auto ranges = MakeLinearRanges(4, 3);  // 0, 1, 2, 3, INT32_MAX
  SampleVector samples(1, ranges.get());
  const struct {
    int32_t value;
    size_t bucket;
  } kCases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {INT32_MAX - 1, 3}};
  for (const auto& test : kCases)
    EXPECT_EQ(samples.GetBucketIndex(test.value), test.bucket) << test.value;
}

TEST(SampleVectorTest, SubtractItselfLeavesNothing) {
  auto ranges = MakeLinearRanges(4, 3);
  SampleVector samples(1, ranges.get());
  samples.Accumulate(1, 3);
  samples.Accumulate(3, 2);
  SampleVector copy(1, ranges.get());
  copy.Add(samples);
  samples.Subtract(copy);
  EXPECT_EQ(samples.TotalCount(), 0);
  EXPECT_EQ(samples.sum(), 0);
  EXPECT_EQ(samples.redundant_count(), 0);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(samples.GetCountAtIndex(i), 0);
}

TEST(SampleVectorTest, PickleRoundTripAndRefusals) {
  auto ranges = MakeLinearRanges(4, 3);
  SampleVector source(1, ranges.get());
  source.Accumulate(2, 5);
  Pickle pickle;
  ASSERT_TRUE(source.Serialize(&pickle));
  SampleVector target(1, ranges.get());
  PickleIterator iter(pickle);
  EXPECT_TRUE(target.AddFromPickle(&iter));
  EXPECT_EQ(target.GetCount(2), 5);
  EXPECT_EQ(target.sum(), 10);

  // An empty set serialises to exactly its sum and redundant count.
  SampleVector empty(1, ranges.get());
  Pickle empty_pickle;
  empty.Serialize(&empty_pickle);
  EXPECT_EQ(empty_pickle.payload_size(), 12u);

  // Ends after the sum: refused, nothing changed.
  Pickle short_pickle;
  short_pickle.WriteInt64(99);
  PickleIterator short_iter(short_pickle);
  EXPECT_FALSE(target.AddFromPickle(&short_iter));
  EXPECT_EQ(target.sum(), 10);

  // A min that is no boundary of this layout.
  Pickle foreign;
  foreign.WriteInt64(0);
  foreign.WriteInt(1);
  for (int v : {0, 2, 1}) foreign.WriteInt(v);
  PickleIterator foreign_iter(foreign);
  EXPECT_FALSE(target.AddFromPickle(&foreign_iter));
}

TEST(SampleMapTest, CountsAndIteration) {
  SampleMap samples(7);
  samples.Accumulate(5, -3);
  samples.Accumulate(INT32_MAX, 1);
  samples.Accumulate(9, 0);
  EXPECT_EQ(samples.GetCount(5), -3);
  EXPECT_EQ(samples.TotalCount(), -2);
  std::unique_ptr<SampleCountIterator> it = samples.Iterator();
  HistogramBase::Sample min, max;
  HistogramBase::Count count;
  ASSERT_FALSE(it->Done());
  it->Get(&min, &max, &count);
  EXPECT_EQ(min, 5);
  EXPECT_EQ(max, 6);
  EXPECT_EQ(count, -3);
  it->Next();
  ASSERT_FALSE(it->Done());
  it->Get(&min, &max, &count);
  // The largest value's upper end wraps, and the pickle round trip
  // accepts it.
  EXPECT_EQ(min, INT32_MAX);
  EXPECT_EQ(max, INT32_MIN);
  it->Next();
  EXPECT_TRUE(it->Done());

  Pickle pickle;
  samples.Serialize(&pickle);
  SampleMap copy(7);
  PickleIterator iter(pickle);
  EXPECT_TRUE(copy.AddFromPickle(&iter));
  EXPECT_EQ(copy.GetCount(INT32_MAX), 1);
  copy.Subtract(samples);
  EXPECT_EQ(copy.TotalCount(), 0);
  EXPECT_EQ(copy.redundant_count(), 0);
}

TEST(SampleMapTest, RefusesTriplesWiderThanOne) {
  SampleMap samples(1);
  Pickle pickle;
  pickle.WriteInt64(0);
  pickle.WriteInt(1);
  for (int v : {4, 6, 1}) pickle.WriteInt(v);
  PickleIterator iter(pickle);
  EXPECT_FALSE(samples.AddFromPickle(&iter));
}

}  // namespace
}  // namespace base
