#include "base/metrics/sparse_histogram.h"

#include <memory>

namespace base {

// static
HistogramBase* SparseHistogram::FactoryGet(const std::string& name,
                                           int32_t flags) {
  HistogramBase* histogram = Find(name);
  if (!histogram) {
    histogram = Register(
        std::unique_ptr<HistogramBase>(new SparseHistogram(name, flags)));
  }
  return histogram->GetHistogramType() == SPARSE_HISTOGRAM ? histogram
                                                           : nullptr;
}

HistogramType SparseHistogram::GetHistogramType() const {
  return SPARSE_HISTOGRAM;
}

bool SparseHistogram::HasConstructionArguments(Sample, Sample, uint32_t) const {
  return false;
}

void SparseHistogram::AddCount(Sample, int) {}

}  // namespace base
