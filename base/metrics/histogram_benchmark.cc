// Cost of counting: one add to a bucketed histogram (alone and from four
// threads at once), one add to a sparse histogram, and a factory lookup of
// a registered name. Run by hand on a build without sanitizers
// (VELNA_SANITIZERS=none).

#include <benchmark/benchmark.h>

#include "base/metrics/histogram.h"
#include "base/metrics/sparse_histogram.h"

namespace {

base::HistogramBase* Exponential() {
  static base::HistogramBase* const histogram =
      base::Histogram::FactoryGet("Benchmark.Exponential", 1, 1000000, 50,
                                  base::HistogramBase::kUmaTargetedFlag);
  return histogram;
}

void BM_HistogramAdd(benchmark::State& state) {
  base::HistogramBase* histogram = Exponential();
  int value = static_cast<int>(state.thread_index()) * 1000;
  for (auto _ : state) {
    histogram->Add(value);
    value = (value + 7919) & 0xFFFFF;
  }
}
BENCHMARK(BM_HistogramAdd);
BENCHMARK(BM_HistogramAdd)->Threads(4);

void BM_SparseHistogramAdd(benchmark::State& state) {
  base::HistogramBase* histogram =
      base::SparseHistogram::FactoryGet("Benchmark.Sparse", 0);
  int value = 0;
  for (auto _ : state) {
    histogram->Add(value);
    value = (value + 1) & 63;
  }
}
BENCHMARK(BM_SparseHistogramAdd);

void BM_FactoryLookup(benchmark::State& state) {
  Exponential();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        base::Histogram::FactoryGet("Benchmark.Exponential", 1, 1000000, 50,
                                    base::HistogramBase::kUmaTargetedFlag));
  }
}
BENCHMARK(BM_FactoryLookup);

}  // namespace

BENCHMARK_MAIN();
