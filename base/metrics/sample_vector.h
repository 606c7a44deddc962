// SampleVector: the per-bucket counts of a bucketed histogram. A heap vector
// owns its counters; a persistent one counts in a segment shared with other
// processes (counters and metadata belong to the segment). Counters change
// by atomic additions without a lock, so adds may come from any thread.

#ifndef BASE_METRICS_SAMPLE_VECTOR_H_
#define BASE_METRICS_SAMPLE_VECTOR_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "base/metrics/histogram_samples.h"

namespace base {

class BucketRanges;

class SampleVector : public HistogramSamples {
 public:
  // Counters of its own, one per bucket of |ranges| (not owned).
  SampleVector(uint64_t id, const BucketRanges* ranges);
  // |counts| holds one counter per bucket; |counts| and |meta| belong to
  // a segment and must outlive the vector.
  SampleVector(uint64_t id, Count* counts, const BucketRanges* ranges,
               Metadata* meta, bool read_only);
  ~SampleVector() override;

  void Accumulate(Sample value, Count count) override;
  Count GetCount(Sample value) const override;
  Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

  // The count of bucket |index|.
  Count GetCountAtIndex(size_t index) const;
  // The bucket of |value|, which must lie inside the layout.
  size_t GetBucketIndex(Sample value) const;

  const BucketRanges* bucket_ranges() const { return bucket_ranges_; }
  size_t counts_size() const { return counts_size_; }

 protected:
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;

 private:
  std::unique_ptr<Count[]> local_counts_;
  Count* const counts_;
  const size_t counts_size_;
  const BucketRanges* const bucket_ranges_;
};

// Walks the non-zero counters of a vector in bucket order.
class SampleVectorIterator : public SampleCountIterator {
 public:
  SampleVectorIterator(const Count* counts, size_t counts_size,
                       const BucketRanges* bucket_ranges);
  ~SampleVectorIterator() override;

  bool Done() const override;
  void Next() override;
  void Get(Sample* min, Sample* max, Count* count) const override;
  bool GetBucketIndex(size_t* index) const override;

 private:
  void SkipEmptyBuckets();

  const Count* const counts_;
  const size_t counts_size_;
  const BucketRanges* const bucket_ranges_;
  size_t index_ = 0;
};

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_VECTOR_H_
