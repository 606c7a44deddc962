#include "base/metrics/histogram.h"

#include <stdint.h>

#include <string>
#include <thread>
#include <vector>

#include "base/metrics/histogram_macros.h"
#include "base/metrics/sparse_histogram.h"
#include "gtest/gtest.h"

namespace base {
namespace {

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
}

TEST(HistogramTest, NameClashReturnsNull) {
  HistogramBase* linear =
      LinearHistogram::FactoryGet("HistogramTest.Clash", 1, 3, 4, 1);
  ASSERT_NE(linear, nullptr);
  EXPECT_EQ(linear->GetHistogramType(), LINEAR_HISTOGRAM);
  EXPECT_EQ(linear->flags(), HistogramBase::kUmaTargetedFlag);
  // Another layout, another kind: both refused.
  EXPECT_EQ(LinearHistogram::FactoryGet("HistogramTest.Clash", 1, 6, 7, 1),
            nullptr);
  EXPECT_EQ(Histogram::FactoryGet("HistogramTest.Clash", 1, 3, 4, 1), nullptr);
  EXPECT_EQ(SparseHistogram::FactoryGet("HistogramTest.Clash", 0), nullptr);
}

TEST(HistogramTest, SparseIsSharedAndAcceptsAnyValue) {
  HistogramBase* sparse =
      SparseHistogram::FactoryGet("HistogramTest.Sparse", 0);
  ASSERT_NE(sparse, nullptr);
  EXPECT_EQ(sparse, SparseHistogram::FactoryGet("HistogramTest.Sparse", 0));
  EXPECT_FALSE(sparse->HasConstructionArguments(0, 0, 0));
  sparse->Add(-1);
  sparse->Add(INT32_MAX);
  sparse->AddCount(183, 0);
}

TEST(HistogramTest, ConcurrentFactoriesAgree) {
  constexpr int kThreads = 8;
  std::vector<HistogramBase*> results(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&results, i] {
      results[i] = SparseHistogram::FactoryGet("HistogramTest.Concurrent", 0);
      for (int j = 0; j < 1000; ++j) results[i]->Add(j);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (HistogramBase* result : results) EXPECT_EQ(result, results[0]);
}

TEST(HistogramTest, ShutdownDelayHistogramIsCreatedOnce) {
  HistogramBase* histogram = GetShutdownDelayTimeHistogram();
  ASSERT_NE(histogram, nullptr);
  EXPECT_EQ(histogram, GetShutdownDelayTimeHistogram());
  EXPECT_EQ(histogram->histogram_name(),
            "SequencedWorkerPool.ShutdownDelayTime");
  EXPECT_TRUE(histogram->HasConstructionArguments(1, 10000, 50));
}

TEST(HistogramTest, MacrosRegisterTheirLayout) {
  for (int i = 0; i < 3; ++i) {
    HISTOGRAM_ENUMERATION("HistogramTest.Enum", i, 3);
    HISTOGRAM_CUSTOM_COUNTS("HistogramTest.Counts", i * 100, 1, 10000, 50);
    HISTOGRAM_SPARSE("HistogramTest.Macro.Sparse", -i);
  }
  HistogramBase* enumeration =
      LinearHistogram::FactoryGet("HistogramTest.Enum", 1, 3, 4, 1);
  ASSERT_NE(enumeration, nullptr);
  EXPECT_EQ(enumeration->flags(), HistogramBase::kUmaTargetedFlag);
  EXPECT_NE(Histogram::FactoryGet("HistogramTest.Counts", 1, 10000, 50, 1),
            nullptr);
  EXPECT_NE(SparseHistogram::FactoryGet("HistogramTest.Macro.Sparse", 0),
            nullptr);
}

}  // namespace
}  // namespace base
