// PersistentHistogramAllocator: keeps histograms in a persistent segment
// (persistent_memory_allocator.h) so that other processes using the segment
// see and add to the same counts. A histogram is stored as a record of its
// parameters and name plus records of its boundaries and counts; a sparse
// histogram as its record plus one sample record per value.
//
// Every record read from the segment is validated first; a record that
// fails yields no histogram, and each attempt's outcome is counted in
// "UMA.CreatePersistentHistogram.Result".
//
// The process-wide (global) allocator that the histogram factories use is
// never installed by the program itself; tests install one.

#ifndef BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_
#define BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_

#include <stdint.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/metrics/histogram_base.h"
#include "base/metrics/histogram_samples.h"
#include "base/metrics/persistent_memory_allocator.h"
#include "base/synchronization/lock.h"

namespace base {

class BucketRanges;
class PersistentSparseHistogramDataManager;

// Type ids of the records that histograms use.
inline constexpr uint32_t kTypeIdHistogramUnderConstruction = 0x0E9BA6ED;
inline constexpr uint32_t kTypeIdHistogram = 0xF1645912;
inline constexpr uint32_t kTypeIdRangesArray = 0xBCEA225B;
inline constexpr uint32_t kTypeIdCountsArray = 0x53215531;
inline constexpr uint32_t kTypeIdSampleRecord = 0x8FE6A6A0;

// The sample records of one sparse sample set (by id) that the segment's
// records manager has found so far, and the set currently reading them.
class PersistentSampleMapRecords {
 public:
  using Reference = PersistentMemoryAllocator::Reference;

  PersistentSampleMapRecords(PersistentSparseHistogramDataManager* manager,
                             uint64_t sample_map_id);
  PersistentSampleMapRecords(const PersistentSampleMapRecords&) = delete;
  PersistentSampleMapRecords& operator=(const PersistentSampleMapRecords&) =
      delete;
  ~PersistentSampleMapRecords();

  // The following record for the current user, loading more when the
  // known ones are used up; 0 when there is none.
  Reference GetNext();
  // Makes an iterable record {id, |value|, 0}; 0 when none can be made.
  Reference CreateNew(HistogramBase::Sample value);
  // |user| stops reading these records.
  void Release(const void* user);

  template <typename T>
  T* GetAsObject(Reference ref) const;

 private:
  friend class PersistentSparseHistogramDataManager;

  PersistentSparseHistogramDataManager* const data_manager_;
  const uint64_t sample_map_id_;
  const void* user_ = nullptr;
  size_t seen_ = 0;
  std::vector<Reference> records_;
  // Found by another set's load; moved to records_ on this set's next
  // load (under the manager's lock).
  std::vector<Reference> found_;
};

// Hands out the records objects of a segment and reads sample records from
// it on their behalf; one lock serialises the map and the loads.
class PersistentSparseHistogramDataManager {
 public:
  explicit PersistentSparseHistogramDataManager(
      PersistentMemoryAllocator* allocator);
  PersistentSparseHistogramDataManager(
      const PersistentSparseHistogramDataManager&) = delete;
  PersistentSparseHistogramDataManager& operator=(
      const PersistentSparseHistogramDataManager&) = delete;
  ~PersistentSparseHistogramDataManager();

  // The records of |id|, now read by |user| from the start.
  PersistentSampleMapRecords* UseSampleMapRecords(uint64_t id,
                                                  const void* user);
  // Reads sample records until one of |records|' id turns up (and at least
  // ten were read) or none are left; true when |records| got any.
  bool LoadRecords(PersistentSampleMapRecords* records);

  PersistentMemoryAllocator* allocator() const { return allocator_; }

 private:
  PersistentSampleMapRecords* GetSampleMapRecordsWhileLocked(uint64_t id);

  PersistentMemoryAllocator* const allocator_;
  PersistentMemoryAllocator::Iterator record_iterator_;
  Lock lock_;
  std::map<uint64_t, std::unique_ptr<PersistentSampleMapRecords>>
      sample_records_;
};

class PersistentHistogramAllocator {
 public:
  using Reference = PersistentMemoryAllocator::Reference;

  // Outcomes counted in "UMA.CreatePersistentHistogram.Result".
  enum CreateHistogramResultType {
    CREATE_HISTOGRAM_SUCCESS = 0,
    CREATE_HISTOGRAM_INVALID_METADATA_POINTER = 1,
    CREATE_HISTOGRAM_INVALID_METADATA = 2,
    CREATE_HISTOGRAM_INVALID_RANGES_ARRAY = 3,
    CREATE_HISTOGRAM_INVALID_COUNTS_ARRAY = 4,
    CREATE_HISTOGRAM_ALLOCATOR_CORRUPT = 5,
    CREATE_HISTOGRAM_ALLOCATOR_FULL = 6,
    CREATE_HISTOGRAM_ALLOCATOR_ERROR = 7,
    CREATE_HISTOGRAM_UNKNOWN_TYPE = 8,
    CREATE_HISTOGRAM_ALLOCATOR_NEWLY_CORRUPT = 9,
    CREATE_HISTOGRAM_MAX = 10,
  };

  // The fixed part of a histogram record; the name follows it.
  struct PersistentHistogramData {
    int32_t histogram_type;
    int32_t flags;
    int32_t minimum;
    int32_t maximum;
    uint32_t bucket_count;
    Reference ranges_ref;
    uint32_t ranges_checksum;
    Reference counts_ref;
    HistogramSamples::Metadata samples_metadata;
    HistogramSamples::Metadata logged_metadata;
  };
  static_assert(sizeof(PersistentHistogramData) == 80, "persistent layout");

  // Walks the histogram records of a segment.
  class Iterator {
   public:
    explicit Iterator(PersistentHistogramAllocator* allocator);
    // The following histogram (not registered), or null at the end or at
    // a record that yields none.
    std::unique_ptr<HistogramBase> GetNext();
    // The same, passing over the record |ignore|.
    std::unique_ptr<HistogramBase> GetNextWithIgnore(Reference ignore);

   private:
    PersistentHistogramAllocator* const allocator_;
    PersistentMemoryAllocator::Iterator memory_iter_;
  };

  explicit PersistentHistogramAllocator(
      std::unique_ptr<PersistentMemoryAllocator> memory);
  PersistentHistogramAllocator(const PersistentHistogramAllocator&) = delete;
  PersistentHistogramAllocator& operator=(const PersistentHistogramAllocator&) =
      delete;
  ~PersistentHistogramAllocator();

  PersistentMemoryAllocator* memory_allocator() { return memory_.get(); }

  // A new histogram counting in the segment, with the reference of its
  // record in |*ref_ptr| (not yet iterable: see FinalizeHistogram); null
  // when the segment is corrupt or full. |ranges| is ignored for sparse.
  std::unique_ptr<HistogramBase> AllocateHistogram(
      HistogramType type, const std::string& name, int32_t minimum,
      int32_t maximum, const BucketRanges* ranges, int32_t flags,
      Reference* ref_ptr);
  // Publishes the record of a histogram that was registered, or frees the
  // record of one that lost to an earlier histogram of its name.
  void FinalizeHistogram(Reference ref, bool registered);
  // The histogram of the record |ref|, or null.
  std::unique_ptr<HistogramBase> GetHistogram(Reference ref);
  // Registers with the statistics recorder every histogram that others
  // added to the segment since the last call.
  void ImportHistogramsToStatisticsRecorder();

  // The records of the sample set |id|, now used by |user|.
  PersistentSampleMapRecords* UseSampleMapRecords(uint64_t id,
                                                  const void* user);

  // The global allocator, or null. Only tests install one; the previous
  // one is handed back (and must outlive every histogram it made).
  static PersistentHistogramAllocator* GetGlobal();
  static std::unique_ptr<PersistentHistogramAllocator> SetGlobalForTesting(
      std::unique_ptr<PersistentHistogramAllocator> allocator);

  // Adds |result| to the result histogram (dropped while that is being
  // made).
  static void RecordCreateHistogramResult(CreateHistogramResultType result);

 private:
  std::unique_ptr<HistogramBase> CreateHistogram(PersistentHistogramData* data,
                                                 size_t payload_size);
  std::unique_ptr<HistogramBase> CreateBucketedHistogram(
      const PersistentHistogramData& fixed, PersistentHistogramData* data,
      const std::string& name);

  std::unique_ptr<PersistentMemoryAllocator> memory_;
  std::unique_ptr<PersistentSparseHistogramDataManager> sparse_data_manager_;
  Lock import_lock_;
  Iterator import_iterator_;
  std::atomic<Reference> last_created_{0};
};

template <typename T>
T* PersistentSampleMapRecords::GetAsObject(Reference ref) const {
  return data_manager_->allocator()->GetAsObject<T>(ref, kTypeIdSampleRecord);
}

}  // namespace base

#endif  // BASE_METRICS_PERSISTENT_HISTOGRAM_ALLOCATOR_H_
