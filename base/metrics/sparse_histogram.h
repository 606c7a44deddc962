// A histogram without buckets: one count per distinct sample value, for
// values with no useful order (unmapped system error codes). Adds and
// snapshots are serialised by the histogram's own lock. Like every
// histogram it is registered by name for the life of the process.

#ifndef BASE_METRICS_SPARSE_HISTOGRAM_H_
#define BASE_METRICS_SPARSE_HISTOGRAM_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"
#include "base/synchronization/lock.h"

namespace base {

class PersistentHistogramAllocator;

class SparseHistogram : public HistogramBase {
 public:
  // The histogram registered under |name| (whatever its kind), or a new
  // sparse one. Never null. Safe from any thread.
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  // A sparse histogram counting in |allocator|'s segment, with the
  // metadata of its two sample sets at |meta| and |logged_meta|.
  static std::unique_ptr<HistogramBase> PersistentCreate(
      PersistentHistogramAllocator* allocator, const std::string& name,
      HistogramSamples::Metadata* meta, HistogramSamples::Metadata* logged_meta,
      bool read_only);

  ~SparseHistogram() override;

  uint64_t name_hash() const override;
  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample minimum, Sample maximum,
                                uint32_t bucket_count) const override;
  // Any value is kept as it is; a count below 1 changes nothing.
  void AddCount(Sample value, int count) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromPickle(PickleIterator* iter) override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;
  std::unique_ptr<HistogramSamples> SnapshotDelta() override;
  std::unique_ptr<HistogramSamples> SnapshotFinalDelta() const override;
  bool SerializeInfo(Pickle* pickle) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBucketData(Count* count, int64_t* sum,
                             ListValue* buckets) const override;

 private:
  explicit SparseHistogram(const std::string& name);
  SparseHistogram(PersistentHistogramAllocator* allocator,
                  const std::string& name, HistogramSamples::Metadata* meta,
                  HistogramSamples::Metadata* logged_meta, bool read_only);

  void WriteAsciiImpl(const std::string& newline,
                      std::string* output) const override;

  mutable Lock lock_;
  mutable bool final_delta_created_ = false;
  std::unique_ptr<HistogramSamples> unlogged_samples_;
  std::unique_ptr<HistogramSamples> logged_samples_;
};

}  // namespace base

#endif  // BASE_METRICS_SPARSE_HISTOGRAM_H_
