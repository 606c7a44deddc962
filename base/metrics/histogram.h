// Bucketed histograms: exponentially spaced buckets (Histogram), evenly
// spaced ones for enumerations (LinearHistogram, with optional bucket
// labels), two buckets for a yes/no (BooleanHistogram) and boundaries given
// by the creator (CustomHistogram). The factories return the histogram
// registered under the name, creating it on first use; the result belongs
// to the process and must not be deleted.
//
// Adding is lock-free: counts, sum and redundant count change by atomic
// additions, so a snapshot taken during adds may see a total that differs
// from the redundant count by a few samples (FindCorruption tolerates 5).
// When a global persistent histogram allocator is installed, a new
// histogram counts in its segment, where other processes see it.

#ifndef BASE_METRICS_HISTOGRAM_H_
#define BASE_METRICS_HISTOGRAM_H_

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"

namespace base {

class SampleVector;

class Histogram : public HistogramBase {
 public:
  // The largest bucket count a factory accepts.
  static constexpr uint32_t kBucketCountMax = 16383;

  // Exponential buckets from |minimum| to |maximum|. A minimum below 1
  // becomes 1, a maximum of INT32_MAX becomes INT32_MAX - 1 and a bucket
  // count above 16383 becomes 16383. Returns null when a histogram of this
  // name exists with another layout.
  static HistogramBase* FactoryGet(const std::string& name, Sample minimum,
                                   Sample maximum, uint32_t bucket_count,
                                   int32_t flags);
  // Counts from 1 to |maximum| in 50 buckets, meant for reporting.
  static HistogramBase* FactoryGetCounts(const std::string& name,
                                         Sample maximum);

  // A histogram over counters in a persistent segment: |counts| and
  // |logged_counts| hold one counter per bucket of |ranges|, |meta| and
  // |logged_meta| the metadata of the two sample sets. Used by the
  // persistent histogram allocator; |type| is one of the bucketed kinds.
  static std::unique_ptr<HistogramBase> PersistentCreate(
      HistogramType type, const std::string& name, Sample minimum,
      Sample maximum, const BucketRanges* ranges, Count* counts,
      Count* logged_counts, HistogramSamples::Metadata* meta,
      HistogramSamples::Metadata* logged_meta, bool read_only);

  // Fills |ranges| (bucket_count + 1 entries) with exponential boundaries
  // from |minimum| to |maximum| and sets the checksum.
  static void InitializeBucketRanges(Sample minimum, Sample maximum,
                                     BucketRanges* ranges);

  ~Histogram() override;

  uint64_t name_hash() const override;
  HistogramType GetHistogramType() const override;
  bool HasConstructionArguments(Sample minimum, Sample maximum,
                                uint32_t bucket_count) const override;
  // Values above INT32_MAX - 1 are lowered to it and negative values raised
  // to 0 before they are counted.
  void AddCount(Sample value, int count) override;
  void AddSamples(const HistogramSamples& samples) override;
  bool AddSamplesFromPickle(PickleIterator* iter) override;
  uint32_t FindCorruption(const HistogramSamples& samples) const override;
  std::unique_ptr<HistogramSamples> SnapshotSamples() const override;
  std::unique_ptr<HistogramSamples> SnapshotDelta() override;
  std::unique_ptr<HistogramSamples> SnapshotFinalDelta() const override;
  bool SerializeInfo(Pickle* pickle) const override;
  void GetParameters(DictionaryValue* params) const override;
  void GetCountAndBucketData(Count* count, int64_t* sum,
                             ListValue* buckets) const override;

  Sample declared_min() const { return declared_min_; }
  Sample declared_max() const { return declared_max_; }
  Sample ranges(size_t i) const { return bucket_ranges_->range(i); }
  uint32_t bucket_count() const {
    return static_cast<uint32_t>(bucket_ranges_->bucket_count());
  }
  const BucketRanges* bucket_ranges() const { return bucket_ranges_; }

 protected:
  // Builds a histogram through the shared path; each kind fills in its
  // own parts.
  class Factory {
   public:
    Factory(const std::string& name, HistogramType type, Sample minimum,
            Sample maximum, uint32_t bucket_count, int32_t flags);
    virtual ~Factory();
    // The registered histogram, or null for a clash of layouts.
    HistogramBase* Build();

   protected:
    virtual BucketRanges* CreateRanges();
    virtual std::unique_ptr<HistogramBase> HeapAlloc(
        const BucketRanges* ranges);
    virtual void FillHistogram(HistogramBase* histogram) {}

    const std::string& name_;
    const HistogramType histogram_type_;
    Sample minimum_;
    Sample maximum_;
    uint32_t bucket_count_;
    int32_t flags_;
  };

  // Heap counts.
  Histogram(const std::string& name, Sample minimum, Sample maximum,
            const BucketRanges* ranges);
  // Counts in a segment.
  Histogram(const std::string& name, Sample minimum, Sample maximum,
            const BucketRanges* ranges, Count* counts, Count* logged_counts,
            HistogramSamples::Metadata* meta,
            HistogramSamples::Metadata* logged_meta, bool read_only);

  // The factories' clamping of a layout.
  static void ClampLayout(Sample* minimum, Sample* maximum,
                          uint32_t* bucket_count);

  // What the graph prints per bucket: its height before scaling, whether
  // an empty one gets a line, and its label.
  virtual double GetBucketSize(Count current, uint32_t i) const;
  virtual bool PrintEmptyBucket(uint32_t index) const;
  virtual std::string GetAsciiBucketRange(uint32_t i) const;

 private:
  std::unique_ptr<SampleVector> SnapshotAllSamples() const;
  std::unique_ptr<SampleVector> SnapshotUnloggedSamples() const;
  void WriteAsciiImpl(const std::string& newline,
                      std::string* output) const override;
  double GetPeakBucketSize(const SampleVector& samples) const;

  const BucketRanges* const bucket_ranges_;
  const Sample declared_min_;
  const Sample declared_max_;
  std::unique_ptr<SampleVector> unlogged_samples_;
  std::unique_ptr<SampleVector> logged_samples_;
  mutable bool final_delta_created_ = false;
};

class LinearHistogram : public Histogram {
 public:
  // A label for the bucket starting at |sample|; lists end with a null
  // description.
  struct DescriptionPair {
    Sample sample;
    const char* description;
  };

  // Evenly spaced buckets; clamping and the null result as in Histogram.
  // An enumeration with values 0 .. N-1 asks for (1, N, N + 1). At least 3
  // buckets.
  static HistogramBase* FactoryGet(const std::string& name, Sample minimum,
                                   Sample maximum, uint32_t bucket_count,
                                   int32_t flags);
  // The same with bucket labels (|descriptions| may be null).
  static HistogramBase* FactoryGetWithRangeDescription(
      const std::string& name, Sample minimum, Sample maximum,
      uint32_t bucket_count, int32_t flags,
      const DescriptionPair descriptions[]);

  static void InitializeBucketRanges(Sample minimum, Sample maximum,
                                     BucketRanges* ranges);

  ~LinearHistogram() override;

  HistogramType GetHistogramType() const override;

 protected:
  class Factory;
  friend class Histogram;

  using Histogram::Histogram;

  double GetBucketSize(Count current, uint32_t i) const override;
  bool PrintEmptyBucket(uint32_t index) const override;
  std::string GetAsciiBucketRange(uint32_t i) const override;

 private:
  std::map<Sample, std::string> bucket_description_;
};

class BooleanHistogram : public LinearHistogram {
 public:
  static HistogramBase* FactoryGet(const std::string& name, int32_t flags);

  HistogramType GetHistogramType() const override;

 private:
  class Factory;
  friend class Histogram;

  using LinearHistogram::LinearHistogram;
};

class CustomHistogram : public Histogram {
 public:
  // Buckets starting at each value of |custom_ranges| (each in
  // 1 .. INT32_MAX - 1; order and repeats do not matter) besides 0.
  static HistogramBase* FactoryGet(const std::string& name,
                                   const std::vector<Sample>& custom_ranges,
                                   int32_t flags);

  HistogramType GetHistogramType() const override;
  // Also writes boundaries 1 .. N-1.
  bool SerializeInfo(Pickle* pickle) const override;

 protected:
  double GetBucketSize(Count current, uint32_t i) const override;

 private:
  class Factory;
  friend class Histogram;

  using Histogram::Histogram;
};

// The timing histogram "SequencedWorkerPool.ShutdownDelayTime" (1 ms to
// 10 s, 50 buckets, samples in milliseconds), created once.
HistogramBase* GetShutdownDelayTimeHistogram();

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_H_
