// A child of the multi-process histogram test: attaches the parent's
// segment writable as the global allocator and, from several threads at
// once, adds the agreed samples through the ordinary factories (finding the
// parent's histograms by import) while making histograms of its own.
//
//   persistent_histogram_test_child <mapping name> <child index>
//
// Exits 0 when every factory answered with a persistent histogram.

#include <stdio.h>
#include <stdlib.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/metrics/histogram.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/test/multiprocess_histograms.h"
#include "base/metrics/test/shared_segment_win.h"
#include "base/strings/utf_string_conversions.h"

namespace {

namespace mh = base::multiprocess_histograms;

std::atomic<int> g_failures{0};

void Check(base::HistogramBase* histogram) {
  if (!histogram ||
      !(histogram->flags() & base::HistogramBase::kPersistentFlag))
    ++g_failures;
}

void AddSamples(int child, int thread) {
  for (int round = 0; round < mh::kAddsPerThread; ++round) {
    base::HistogramBase* exponential = base::Histogram::FactoryGet(
        mh::kExponential, 1, mh::kExponentialMax, mh::kExponentialBuckets, 0);
    base::HistogramBase* linear = base::LinearHistogram::FactoryGet(
        mh::kLinear, 1, mh::kLinearMax, mh::kLinearBuckets, 0);
    base::HistogramBase* sparse =
        base::SparseHistogram::FactoryGet(mh::kSparse, 0);
    Check(exponential);
    Check(linear);
    Check(sparse);
    if (g_failures) return;
    exponential->Add(mh::ExponentialSample(round));
    linear->Add(mh::LinearSample(round));
    sparse->Add(mh::kSharedSparseValue);
    sparse->Add(mh::OwnSparseValue(child));
    if (round == mh::kAddsPerThread / 2) {
      base::HistogramBase* own = base::LinearHistogram::FactoryGet(
          mh::OwnHistogramName(child, thread), 1, 10, 11, 0);
      Check(own);
      if (own) own->Add(thread);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int child = atoi(argv[2]);
  std::unique_ptr<base::SharedSegment> segment = base::SharedSegment::Open(
      base::UTF8ToUTF16(argv[1]), mh::kSegmentSize, false);
  if (!segment) return 3;
  base::PersistentHistogramAllocator::SetGlobalForTesting(
      std::make_unique<base::PersistentHistogramAllocator>(
          std::make_unique<base::PersistentMemoryAllocator>(
              segment->memory(), segment->size(), mh::kPageSize, 0, false)));
  std::vector<std::thread> threads;
  for (int thread = 0; thread < mh::kThreadsPerChild; ++thread)
    threads.emplace_back(&AddSamples, child, thread);
  for (std::thread& thread : threads) thread.join();
  printf("failures=%d\n", g_failures.load());
  // The segment outlives every histogram: the process ends without
  // unmapping it.
  segment.release();
  return g_failures ? 1 : 0;
}
