// PersistentSampleMap: the counts of a sparse histogram kept in a persistent
// segment, one sample record {id, value, count} per distinct value, shared
// with every other process using the segment. Records are found through
// the allocator's records of this map's id and created on first use of a
// value; when no record can be made, the value counts in this process only.
//
// Not thread-safe: the sparse histogram serialises its users. Counts are
// changed with atomic additions because other processes add to the same
// records.

#ifndef BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_
#define BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_

#include <stdint.h>

#include <deque>
#include <map>
#include <memory>

#include "base/metrics/histogram_samples.h"

namespace base {

class PersistentHistogramAllocator;
class PersistentSampleMapRecords;

class PersistentSampleMap : public HistogramSamples {
 public:
  // Payload of a sample record in the segment.
  struct SampleRecord {
    uint64_t id;
    Sample value;
    Count count;
  };
  static_assert(sizeof(SampleRecord) == 16, "persistent layout");

  // |allocator| must outlive the map; |meta| lies in the histogram's
  // record.
  PersistentSampleMap(uint64_t id, PersistentHistogramAllocator* allocator,
                      Metadata* meta, bool read_only);
  ~PersistentSampleMap() override;

  void Accumulate(Sample value, Count count) override;
  Count GetCount(Sample value) const override;
  Count TotalCount() const override;
  std::unique_ptr<SampleCountIterator> Iterator() const override;

 protected:
  bool AddSubtractImpl(SampleCountIterator* iter, Operator op) override;

 private:
  // The counter of |value|, made when missing.
  Count* GetOrCreateSampleCountStorage(Sample value);
  // The counter of |value| from the records seen so far or still to be
  // read, or null.
  Count* GetSampleCountStorage(Sample value) const;
  // Reads records into the map until |until_value| is found (or all of
  // them when |import_everything|); its counter or null.
  Count* ImportSamples(Sample until_value, bool import_everything) const;
  PersistentSampleMapRecords* GetRecords() const;

  PersistentHistogramAllocator* const allocator_;
  mutable std::map<Sample, Count*> sample_counts_;
  // Counters of values that have no record (stable addresses).
  std::deque<Count> local_counts_;
  mutable PersistentSampleMapRecords* records_ = nullptr;
};

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_SAMPLE_MAP_H_
