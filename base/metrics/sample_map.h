// SampleMap: the counts of a sparse histogram on the heap, one per distinct
// value. The map itself has no lock: the sparse histogram serialises its
// users; the metadata changes atomically like every set's.

#ifndef BASE_METRICS_SAMPLE_MAP_H_
#define BASE_METRICS_SAMPLE_MAP_H_

#include <stdint.h>

#include <map>
#include <memory>

#include "base/metrics/histogram_samples.h"

namespace base {

class SampleMap : public HistogramSamples {
 public:
  explicit SampleMap(uint64_t id);
  ~SampleMap() override;

  void Accumulate(Sample value, Count count) override;
  Count GetCount(Sample value) const override;
  Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

 protected:
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;

 private:
  std::map<Sample, Count> sample_counts_;
};

// Walks (value, value + 1, count) for every entry whose count is not 0, in
// value order. The map must outlive the iterator; |T| is Count or a pointer
// to one.
template <typename T>
class SampleMapIterator : public SampleCountIterator {
 public:
  explicit SampleMapIterator(const std::map<Sample, T>& samples)
      : iter_(samples.begin()), end_(samples.end()) {
    SkipEmpty();
  }

  bool Done() const override { return iter_ == end_; }
  void Next() override {
    ++iter_;
    SkipEmpty();
  }
  void Get(Sample* min, Sample* max, Count* count) const override {
    if (min) *min = iter_->first;
    // The largest value has its upper end wrap, as everywhere else.
    if (max) *max = internal::WrappingAdd(iter_->first, 1);
    if (count) *count = CountOf(iter_->second);
  }

 private:
  static Count CountOf(Count count) { return count; }
  static Count CountOf(const Count* count) {
    return internal::LoadCount(count);
  }
  void SkipEmpty() {
    while (iter_ != end_ && CountOf(iter_->second) == 0) ++iter_;
  }

  typename std::map<Sample, T>::const_iterator iter_;
  const typename std::map<Sample, T>::const_iterator end_;
};

}  // namespace base

#endif  // BASE_METRICS_SAMPLE_MAP_H_
