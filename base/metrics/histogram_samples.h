// HistogramSamples: the counts of one histogram, with the metadata every set
// keeps beside them: the histogram's id (its name hash), the sum of all
// samples and a redundant total count, so that a reader can tell torn or
// corrupt counts. Sets move counts between each other only as (min, max,
// count) triples through a SampleCountIterator, which is also their pickle
// form.
//
// Metadata is changed with atomic additions and no lock. A set may keep its
// metadata in a persistent record shared with other processes; a set made
// read-only never writes its counts or its metadata (a reader of a segment
// that another process owns).

#ifndef BASE_METRICS_HISTOGRAM_SAMPLES_H_
#define BASE_METRICS_HISTOGRAM_SAMPLES_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>

#include "base/metrics/histogram_base.h"

namespace base {

class Pickle;
class PickleIterator;
class SampleCountIterator;

namespace internal {

// Relaxed atomic accesses of counters that other threads or processes
// change; additions wrap instead of overflowing.
inline int32_t LoadCount(const int32_t* counter) {
  return __atomic_load_n(counter, __ATOMIC_RELAXED);
}
inline void AddToCount(int32_t* counter, int32_t value) {
  __atomic_fetch_add(counter, value, __ATOMIC_RELAXED);
}
inline int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) +
                              static_cast<uint32_t>(b));
}
inline int32_t WrappingNegate(int32_t a) {
  return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
}

}  // namespace internal

class HistogramSamples {
 public:
  using Sample = HistogramBase::Sample;
  using Count = HistogramBase::Count;

  // The 24 bytes of metadata, also as they lie in a persistent record.
  struct Metadata {
    uint64_t id = 0;
    int64_t sum = 0;
    int32_t redundant_count = 0;
    int32_t reserved = 0;
  };
  static_assert(sizeof(Metadata) == 24, "persistent layout");

  // A set with metadata of its own.
  explicit HistogramSamples(uint64_t id);
  // A set whose metadata lies at |meta| (not owned), which gets |id| when
  // its own id is still 0.
  HistogramSamples(uint64_t id, Metadata* meta, bool read_only);
  HistogramSamples(const HistogramSamples&) = delete;
  HistogramSamples& operator=(const HistogramSamples&) = delete;
  virtual ~HistogramSamples();

  virtual void Accumulate(Sample value, Count count) = 0;
  virtual Count GetCount(Sample value) const = 0;
  // The sum of all counts (wrapping, like the counters).
  virtual Count TotalCount() const = 0;

  // Adds |other|'s metadata and counts; the layouts must be the same.
  void Add(const HistogramSamples& other);
  // Reads a sum, a redundant count and (min, max, count) triples. False
  // when the sum or the count is missing (nothing changed) or when a
  // triple does not fit this set.
  bool AddFromPickle(PickleIterator* iter);
  void Subtract(const HistogramSamples& other);
  // Writes the sum, the redundant count and a triple per non-empty entry.
  bool Serialize(Pickle* pickle) const;

  virtual std::unique_ptr<SampleCountIterator> Iterator() const = 0;

  uint64_t id() const;
  int64_t sum() const;
  Count redundant_count() const;
  bool read_only() const { return read_only_; }

 protected:
  enum Operator { ADD, SUBTRACT };
  // Moves every triple of |iter| into this set; true when all fitted.
  virtual bool AddSubtractImpl(SampleCountIterator* iter, Operator op) = 0;
  void IncreaseSumAndCount(int64_t sum, Count count);

 private:
  Metadata local_meta_;
  Metadata* const meta_;
  const bool read_only_ = false;
};

// Walks the non-empty entries of a set: (min, max, count) each.
class SampleCountIterator {
 public:
  using Sample = HistogramBase::Sample;
  using Count = HistogramBase::Count;

  virtual ~SampleCountIterator();
  virtual bool Done() const = 0;
  virtual void Next() = 0;
  // Any output may be null. Only valid while not Done.
  virtual void Get(Sample* min, Sample* max, Count* count) const = 0;
  // The bucket index of the current entry; false for sets without buckets.
  virtual bool GetBucketIndex(size_t* index) const;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_SAMPLES_H_
