// Bucketed histograms: exponentially spaced buckets (Histogram) and evenly
// spaced ones for enumerations (LinearHistogram). The factories return the
// histogram registered under the name, creating it on first use; the result
// belongs to the process and must not be deleted.
//
// This build keeps no samples: AddCount clamps and drops them. Callers behave
// the same either way.

#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <stdint.h>

#include <string>

#include "base/metrics/histogram_base.h"

namespace base {

class Histogram : public HistogramBase {
 public:
  // Exponential buckets from |minimum| to |maximum|. A minimum below 1
  // becomes 1, a maximum of INT32_MAX becomes INT32_MAX - 1 and a bucket
  // count above 16383 becomes 16383. Returns null when a histogram of this
  // name exists with another kind or layout.
  static HistogramBase* FactoryGet(const std::string& name, Sample minimum,
                                   Sample maximum, uint32_t bucket_count,
                                   int32_t flags);

  // The largest bucket count a factory accepts.
  static constexpr uint32_t kBucketCountMax = 16383;

  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample minimum, Sample maximum,
                                uint32_t bucket_count) const override;
  // Values above INT32_MAX - 1 are lowered to it and negative values raised
  // to 0 before they are counted.
  void AddCount(Sample value, int count) override;

  Sample declared_min() const { return declared_min_; }
  Sample declared_max() const { return declared_max_; }
  uint32_t bucket_count() const { return bucket_count_; }

 protected:
  Histogram(std::string name, HistogramType type, Sample minimum,
            Sample maximum, uint32_t bucket_count, int32_t flags);

  // The factories' shared path: clamps the layout, then finds or registers a
  // histogram of |type|.
  static HistogramBase* FactoryGetOfType(HistogramType type,
                                         const std::string& name,
                                         Sample minimum, Sample maximum,
                                         uint32_t bucket_count, int32_t flags);

 private:
  const HistogramType type_;
  const Sample declared_min_;
  const Sample declared_max_;
  const uint32_t bucket_count_;
};

class LinearHistogram : public Histogram {
 public:
  // Evenly spaced buckets; clamping and the null result as in Histogram.
  // An enumeration with values 0 .. N-1 asks for (1, N, N + 1).
  static HistogramBase* FactoryGet(const std::string& name, Sample minimum,
                                   Sample maximum, uint32_t bucket_count,
                                   int32_t flags);

 private:
  friend class Histogram;
  using Histogram::Histogram;
};

// The timing histogram "SequencedWorkerPool.ShutdownDelayTime" (1 ms to
// 10 s, 50 buckets, samples in milliseconds), created once.
HistogramBase* GetShutdownDelayTimeHistogram();

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_
