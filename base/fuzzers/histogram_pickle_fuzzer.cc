// Adds a received pickle of samples (a sum, a redundant count and
// (min, max, count) triples) to a bucketed and a sparse sample set, then
// reads both back: totals, iteration, serialisation and a graph.

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/sample_vector.h"
#include "base/pickle.h"

namespace {

void ReadBack(const base::HistogramSamples& samples) {
  samples.TotalCount();
  base::Pickle pickle;
  samples.Serialize(&pickle);
  for (std::unique_ptr<base::SampleCountIterator> it = samples.Iterator();
       !it->Done(); it->Next()) {
    base::HistogramBase::Sample min, max;
    base::HistogramBase::Count count;
    it->Get(&min, &max, &count);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Bytes received from elsewhere: a pickle header and payload.
  base::Pickle pickle(reinterpret_cast<const char*>(data), size);

  static base::HistogramBase* const linear =
      base::LinearHistogram::FactoryGet("Fuzz.Pickle.Linear", 1, 10, 11, 0);
  auto* histogram = static_cast<base::Histogram*>(linear);
  base::SampleVector vector(1, histogram->bucket_ranges());
  base::PickleIterator vector_iter(pickle);
  vector.AddFromPickle(&vector_iter);
  ReadBack(vector);
  histogram->FindCorruption(vector);

  base::SampleMap map(1);
  base::PickleIterator map_iter(pickle);
  map.AddFromPickle(&map_iter);
  ReadBack(map);

  base::PickleIterator histogram_iter(pickle);
  linear->AddSamplesFromPickle(&histogram_iter);
  std::string text;
  linear->WriteAscii(&text);
  return 0;
}
