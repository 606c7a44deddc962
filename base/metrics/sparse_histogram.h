// A histogram without buckets: one count per distinct sample value, for
// values with no useful order (unmapped system error codes). Like every
// histogram it is registered by name for the life of the process.

#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"

namespace base {

class SparseHistogram : public HistogramBase {
 public:
  // The sparse histogram registered under |name|, or a new one. Never null
  // unless a bucketed histogram already holds the name. Safe from any
  // thread.
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample minimum, Sample maximum,
                                uint32_t bucket_count) const override;
  // Any value is kept as it is; this build keeps no samples.
  void AddCount(Sample value, int count) override;

 private:
  using HistogramBase::HistogramBase;
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_
