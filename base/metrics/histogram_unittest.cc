#include "base/metrics/histogram.h"

#include <stdint.h>

#include <string>
#include <thread>
#include <vector>

#include "base/bind.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram_macros.h"
#include "base/metrics/sample_vector.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/values.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<int32_t> Boundaries(const Histogram* histogram) {
  std::vector<int32_t> result;
  for (size_t i = 0; i < histogram->bucket_ranges()->size(); ++i)
    result.push_back(histogram->ranges(i));
  return result;
}

TEST(HistogramTest, GoldenLayoutsAndChecksums) {
  auto* exponential = static_cast<Histogram*>(
      Histogram::FactoryGet("HistogramTest.Golden.Exp", 1, 1000000, 50, 0));
  ASSERT_NE(exponential, nullptr);
  EXPECT_EQ(
      Boundaries(exponential),
      (std::vector<int32_t>{
          0,      1,       2,        3,      4,      5,      7,      9,
          12,     16,      21,       28,     37,     49,     65,     86,
          113,    149,     196,      258,    340,    448,    590,    777,
          1023,   1347,    1774,     2336,   3077,   4053,   5338,   7031,
          9260,   12196,   16063,    21156,  27864,  36699,  48336,  63662,
          83848,  110434,  145450,   191569, 252312, 332315, 437686, 576468,
          759255, 1000000, INT32_MAX}));
  EXPECT_EQ(exponential->bucket_ranges()->checksum(), 0x71C056FBu);

  auto* linear = static_cast<Histogram*>(
      LinearHistogram::FactoryGet("HistogramTest.Golden.Linear", 1, 3, 4, 0));
  ASSERT_NE(linear, nullptr);
  EXPECT_EQ(Boundaries(linear), (std::vector<int32_t>{0, 1, 2, 3, INT32_MAX}));
  EXPECT_EQ(linear->bucket_ranges()->checksum(), 0xD4557B31u);

  const int32_t zero = 0;
  EXPECT_EQ(ChecksumOfRanges(&zero, 1), 0xB8BC6765u);
  EXPECT_EQ(ChecksumOfRanges(nullptr, 0), 0u);
}

TEST(HistogramTest, FactoryClampsLayout) {
  struct Case {
    const char* name;
    HistogramBase::Sample minimum, maximum;
    uint32_t buckets;
    HistogramBase::Sample want_minimum, want_maximum;
    uint32_t want_buckets;
  } cases[] = {
      {"HistogramTest.Clamp.Plain", 1, 1000, 50, 1, 1000, 50},
      {"HistogramTest.Clamp.ZeroMin", 0, 1000, 50, 1, 1000, 50},
      {"HistogramTest.Clamp.NegativeMin", -7, 10, 5, 1, 10, 5},
      {"HistogramTest.Clamp.MaxInt", 1, INT32_MAX, 50, 1, INT32_MAX - 1, 50},
      {"HistogramTest.Clamp.Buckets", 1, 100000, 20000, 1, 100000, 16383},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HistogramBase* histogram =
        Histogram::FactoryGet(c.name, c.minimum, c.maximum, c.buckets, 0);
    ASSERT_NE(histogram, nullptr);
    EXPECT_EQ(histogram->GetHistogramType(), HISTOGRAM);
    EXPECT_TRUE(histogram->HasConstructionArguments(
        c.want_minimum, c.want_maximum, c.want_buckets));
    // Asking again with the unclamped layout finds the same histogram.
    EXPECT_EQ(histogram, Histogram::FactoryGet(c.name, c.minimum, c.maximum,
                                               c.buckets, 0));
  }
  // Minimum 0 and 1 share one layout object.
  auto* zero = static_cast<Histogram*>(
      Histogram::FactoryGet("HistogramTest.Clamp.Same0", 0, 500, 20, 0));
  auto* one = static_cast<Histogram*>(
      Histogram::FactoryGet("HistogramTest.Clamp.Same1", 1, 500, 20, 0));
  EXPECT_EQ(zero->bucket_ranges(), one->bucket_ranges());
}

TEST(HistogramTest, LayoutClashReturnsNull) {
  HistogramBase* linear =
      LinearHistogram::FactoryGet("HistogramTest.Clash", 1, 3, 4, 1);
  ASSERT_NE(linear, nullptr);
  EXPECT_EQ(linear->GetHistogramType(), LINEAR_HISTOGRAM);
  EXPECT_EQ(linear->flags(), HistogramBase::kUmaTargetedFlag);
  EXPECT_EQ(LinearHistogram::FactoryGet("HistogramTest.Clash", 1, 6, 7, 1),
            nullptr);
  // The sparse factory takes whatever holds the name.
  EXPECT_EQ(SparseHistogram::FactoryGet("HistogramTest.Clash", 0), linear);
}

TEST(HistogramTest, AddClampsAndIgnoresEmptyCounts) {
  auto* histogram = static_cast<Histogram*>(
      LinearHistogram::FactoryGet("HistogramTest.Clamping", 1, 3, 4, 0));
  histogram->Add(-5);
  histogram->Add(INT32_MAX);
  histogram->AddCount(2, 0);
  histogram->AddCount(2, -4);
  histogram->AddCount(2, 3);
  std::unique_ptr<HistogramSamples> samples = histogram->SnapshotSamples();
  auto* vector = static_cast<SampleVector*>(samples.get());
  EXPECT_EQ(vector->GetCountAtIndex(0), 1);
  EXPECT_EQ(vector->GetCountAtIndex(2), 3);
  EXPECT_EQ(vector->GetCountAtIndex(3), 1);
  EXPECT_EQ(vector->TotalCount(), 5);
  EXPECT_EQ(vector->redundant_count(), 5);
  EXPECT_EQ(vector->sum(), int64_t{INT32_MAX - 1} + 6);
}

TEST(HistogramTest, DeltasMoveTheMark) {
  HistogramBase* histogram =
      Histogram::FactoryGet("HistogramTest.Delta", 1, 1000, 10, 0);
  histogram->Add(5);
  histogram->Add(500);
  std::unique_ptr<HistogramSamples> first = histogram->SnapshotDelta();
  EXPECT_EQ(first->TotalCount(), 2);
  EXPECT_EQ(first->sum(), 505);
  // Twice in a row with no adds: the second is empty.
  std::unique_ptr<HistogramSamples> second = histogram->SnapshotDelta();
  EXPECT_EQ(second->TotalCount(), 0);
  EXPECT_EQ(second->redundant_count(), 0);
  EXPECT_EQ(second->sum(), 0);
  histogram->Add(7);
  std::unique_ptr<HistogramSamples> final_delta =
      histogram->SnapshotFinalDelta();
  EXPECT_EQ(final_delta->TotalCount(), 1);
  // The final delta leaves the mark where it was.
  EXPECT_EQ(histogram->SnapshotDelta()->TotalCount(), 1);
  EXPECT_EQ(histogram->SnapshotSamples()->TotalCount(), 3);
}

TEST(HistogramTest, FindCorruptionToleratesFive) {
  auto* histogram = static_cast<Histogram*>(
      Histogram::FactoryGet("HistogramTest.Corruption", 1, 100, 10, 0));
  const struct {
    int extra_redundant;  // added to the redundant count only
    uint32_t expected;
  } kCases[] = {
      {0, HistogramBase::NO_INCONSISTENCIES},
      {5, HistogramBase::NO_INCONSISTENCIES},
      {6, HistogramBase::COUNT_HIGH_ERROR},
      {-5, HistogramBase::NO_INCONSISTENCIES},
      {-6, HistogramBase::COUNT_LOW_ERROR},
  };
  HistogramBase* high_report =
      Histogram::FactoryGetCounts("Histogram.InconsistentCountHigh", 1000000);
  for (const auto& test : kCases) {
    SCOPED_TRACE(test.extra_redundant);
    SampleVector samples(1, histogram->bucket_ranges());
    samples.Accumulate(3, 2);
    // A pickled set whose redundant count differs from its counters.
    Pickle pickle;
    pickle.WriteInt64(0);
    pickle.WriteInt(test.extra_redundant);
    PickleIterator iter(pickle);
    ASSERT_TRUE(samples.AddFromPickle(&iter));
    int64_t reported_before = high_report->SnapshotSamples()->TotalCount();
    EXPECT_EQ(histogram->FindCorruption(samples), test.expected);
    // Even a tolerated difference is reported.
    if (test.extra_redundant > 0) {
      EXPECT_EQ(high_report->SnapshotSamples()->TotalCount(),
                reported_before + 1);
    }
  }
}

TEST(HistogramTest, SerializeInfoAndParameters) {
  HistogramBase* histogram = LinearHistogram::FactoryGet(
      "HistogramTest.Serialize", 1, 3, 4, HistogramBase::kUmaTargetedFlag);
  Pickle pickle;
  ASSERT_TRUE(histogram->SerializeInfo(&pickle));
  PickleIterator iter(pickle);
  std::string name;
  int flags, minimum, maximum;
  uint32_t buckets, checksum;
  ASSERT_TRUE(iter.ReadString(&name) && iter.ReadInt(&flags) &&
              iter.ReadInt(&minimum) && iter.ReadInt(&maximum) &&
              iter.ReadUInt32(&buckets) && iter.ReadUInt32(&checksum));
  EXPECT_EQ(name, "HistogramTest.Serialize");
  EXPECT_EQ(flags, 1);
  EXPECT_EQ(minimum, 1);
  EXPECT_EQ(maximum, 3);
  EXPECT_EQ(buckets, 4u);
  EXPECT_EQ(checksum, 0xD4557B31u);
  EXPECT_TRUE(iter.ReachedEnd());

  DictionaryValue params;
  histogram->GetParameters(&params);
  std::string type;
  int bucket_count = 0;
  EXPECT_TRUE(params.GetString("type", &type));
  EXPECT_EQ(type, "LINEAR_HISTOGRAM");
  EXPECT_TRUE(params.GetInteger("bucket_count", &bucket_count));
  EXPECT_EQ(bucket_count, 4);

  histogram->Add(0);
  histogram->AddCount(INT32_MAX, 2);
  HistogramBase::Count count = 0;
  int64_t sum = 0;
  ListValue buckets_list;
  histogram->GetCountAndBucketData(&count, &sum, &buckets_list);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(sum, 2 * int64_t{INT32_MAX - 1});
  ASSERT_EQ(buckets_list.GetSize(), 2u);
  const DictionaryValue* last = nullptr;
  ASSERT_TRUE(buckets_list.GetDictionary(1, &last));
  int low = 0;
  EXPECT_TRUE(last->GetInteger("low", &low));
  EXPECT_EQ(low, 3);
  EXPECT_FALSE(last->GetInteger("high", &low));

  // A custom layout also writes its inner boundaries.
  HistogramBase* custom = CustomHistogram::FactoryGet(
      "HistogramTest.Serialize.Custom", {10, 5, 100, 5}, 0);
  Pickle custom_pickle;
  custom->SerializeInfo(&custom_pickle);
  PickleIterator custom_iter(custom_pickle);
  std::vector<int> inner;
  ASSERT_TRUE(custom_iter.ReadString(&name));
  for (int i = 0; i < 5; ++i) custom_iter.ReadInt(&flags);
  int value;
  while (custom_iter.ReadInt(&value)) inner.push_back(value);
  EXPECT_EQ(inner, (std::vector<int>{5, 10, 100}));
  EXPECT_TRUE(custom->HasConstructionArguments(5, 100, 4));
}

TEST(HistogramTest, AsciiGraph) {
  HistogramBase* empty =
      LinearHistogram::FactoryGet("HistogramTest.Graph.Empty", 1, 5, 6, 0);
  std::string text;
  empty->WriteAscii(&text);
  // No division of 0 by 0: an empty graph prints 0.0%.
  EXPECT_EQ(text.find("nan"), std::string::npos) << text;
  EXPECT_EQ(text.find("Histogram: HistogramTest.Graph.Empty recorded 0 "
                      "samples\n"),
            0u)
      << text;

  HistogramBase* graph =
      LinearHistogram::FactoryGet("HistogramTest.Graph", 1, 5, 6, 0x8001);
  graph->AddCount(1, 4);
  graph->AddCount(5, 2);
  text.clear();
  graph->WriteAscii(&text);
  EXPECT_NE(text.find("recorded 6 samples, average = 2.3 (flags = 0x1)\n"),
            std::string::npos)
      << text;
  // The fullest bucket gets the whole bar; a run of empty buckets is "...".
  EXPECT_NE(text.find("0x1  " + std::string(72, '-') + "O (4 = 66.7%) {0.0%}"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("0x2  ... \n"), std::string::npos) << text;
  EXPECT_NE(text.find("(2 = 33.3%) {66.7%}"), std::string::npos) << text;

  std::string html;
  graph->WriteHTMLGraph(&html);
  EXPECT_EQ(html.rfind("<PRE>", 0), 0u);
  EXPECT_NE(html.find("<br>"), std::string::npos);

  // Negative counts (from a pickle) draw no bar.
  Pickle pickle;
  pickle.WriteInt64(-10);
  pickle.WriteInt(-2);
  for (int v : {3, 4, -2}) pickle.WriteInt(v);
  PickleIterator iter(pickle);
  HistogramBase* negative =
      LinearHistogram::FactoryGet("HistogramTest.Graph.Neg", 1, 5, 6, 0);
  ASSERT_TRUE(negative->AddSamplesFromPickle(&iter));
  text.clear();
  negative->WriteAscii(&text);
  EXPECT_NE(text.find("3  O" + std::string(72, ' ') + " (-2 = 100.0%)"),
            std::string::npos)
      << text;
}

TEST(HistogramTest, LabelledBuckets) {
  static const LinearHistogram::DescriptionPair kLabels[] = {
      {1, "first"}, {3, "third"}, {0, nullptr}};
  HistogramBase* histogram = LinearHistogram::FactoryGetWithRangeDescription(
      "HistogramTest.Labels", 1, 4, 5, 0, kLabels);
  histogram->Add(1);
  std::string text;
  histogram->WriteAscii(&text);
  EXPECT_NE(text.find("first  -"), std::string::npos) << text;
  // An empty labelled bucket gets no line.
  EXPECT_EQ(text.find("third"), std::string::npos) << text;
}

TEST(HistogramTest, BooleanAndSparseKinds) {
  HistogramBase* boolean =
      BooleanHistogram::FactoryGet("HistogramTest.Boolean", 0);
  EXPECT_EQ(boolean->GetHistogramType(), BOOLEAN_HISTOGRAM);
  EXPECT_TRUE(boolean->HasConstructionArguments(1, 2, 3));
  EXPECT_STREQ(HistogramTypeToString(BOOLEAN_HISTOGRAM), "BOOLEAN_HISTOGRAM");
  EXPECT_STREQ(HistogramTypeToString(static_cast<HistogramType>(9)), "UNKNOWN");

  HistogramBase* sparse =
      SparseHistogram::FactoryGet("HistogramTest.Sparse", 0);
  EXPECT_EQ(sparse, SparseHistogram::FactoryGet("HistogramTest.Sparse", 0));
  EXPECT_FALSE(sparse->HasConstructionArguments(0, 0, 0));
  sparse->Add(-1);
  sparse->AddCount(INT32_MAX, 2);
  sparse->AddCount(183, 0);
  std::unique_ptr<HistogramSamples> samples = sparse->SnapshotSamples();
  EXPECT_EQ(samples->GetCount(-1), 1);
  EXPECT_EQ(samples->GetCount(INT32_MAX), 2);
  EXPECT_EQ(samples->GetCount(183), 0);
  std::string text;
  sparse->WriteAscii(&text);
  EXPECT_EQ(text.find("average"), std::string::npos);
  EXPECT_NE(text.find("2147483647  " + std::string(72, '-') + "O (2 = 66.7%)"),
            std::string::npos)
      << text;
  // Two deltas in a row.
  EXPECT_EQ(sparse->SnapshotDelta()->TotalCount(), 3);
  EXPECT_EQ(sparse->SnapshotDelta()->TotalCount(), 0);
}

TEST(HistogramTest, CallbackRunsWithEachSample) {
  static std::vector<HistogramBase::Sample>* seen =
      new std::vector<HistogramBase::Sample>;
  HistogramBase* histogram =
      Histogram::FactoryGet("HistogramTest.Callback", 1, 100, 10, 0);
  EXPECT_FALSE(histogram->flags() & HistogramBase::kCallbackExistsFlag);
  ASSERT_TRUE(StatisticsRecorder::SetCallback(
      "HistogramTest.Callback",
      Bind([](HistogramBase::Sample sample) { seen->push_back(sample); })));
  EXPECT_TRUE(histogram->flags() & HistogramBase::kCallbackExistsFlag);
  histogram->Add(1000);
  StatisticsRecorder::ClearCallback("HistogramTest.Callback");
  histogram->Add(5);
  EXPECT_EQ(*seen, std::vector<HistogramBase::Sample>{1000});
}

TEST(HistogramTest, ConcurrentAddsAreCounted) {
  HistogramBase* histogram =
      Histogram::FactoryGet("HistogramTest.Concurrent", 1, 1000, 20, 0);
  HistogramBase* sparse =
      SparseHistogram::FactoryGet("HistogramTest.Concurrent.Sparse", 0);
  constexpr int kThreads = 8;
  constexpr int kAdds = 2000;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      for (int j = 0; j < kAdds; ++j) {
        histogram->Add(j % 50);
        sparse->Add(j % 7);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::unique_ptr<HistogramSamples> samples = histogram->SnapshotSamples();
  EXPECT_EQ(samples->TotalCount(), kThreads * kAdds);
  EXPECT_EQ(samples->redundant_count(), kThreads * kAdds);
  EXPECT_EQ(histogram->FindCorruption(*samples), 0u);
  EXPECT_EQ(sparse->SnapshotSamples()->TotalCount(), kThreads * kAdds);
}

TEST(HistogramTest, ShutdownDelayHistogramIsCreatedOnce) {
  HistogramBase* histogram = GetShutdownDelayTimeHistogram();
  ASSERT_NE(histogram, nullptr);
  EXPECT_EQ(histogram, GetShutdownDelayTimeHistogram());
  EXPECT_EQ(histogram->histogram_name(),
            "SequencedWorkerPool.ShutdownDelayTime");
  EXPECT_TRUE(histogram->HasConstructionArguments(1, 10000, 50));
}

TEST(HistogramTest, MacrosCount) {
  for (int i = 0; i < 3; ++i) {
    HISTOGRAM_ENUMERATION("HistogramTest.Enum", i, 3);
    HISTOGRAM_CUSTOM_COUNTS("HistogramTest.Counts", i * 100, 1, 10000, 50);
    HISTOGRAM_SPARSE("HistogramTest.Macro.Sparse", -i);
  }
  HistogramBase* enumeration =
      LinearHistogram::FactoryGet("HistogramTest.Enum", 1, 3, 4, 1);
  ASSERT_NE(enumeration, nullptr);
  EXPECT_EQ(enumeration->SnapshotSamples()->TotalCount(), 3);
  EXPECT_EQ(Histogram::FactoryGet("HistogramTest.Counts", 1, 10000, 50, 1)
                ->SnapshotSamples()
                ->sum(),
            300);
  EXPECT_EQ(SparseHistogram::FactoryGet("HistogramTest.Macro.Sparse", 0)
                ->SnapshotSamples()
                ->GetCount(-2),
            1);
}

}  // namespace
}  // namespace base
