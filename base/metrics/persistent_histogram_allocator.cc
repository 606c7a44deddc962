#include "base/metrics/persistent_histogram_allocator.h"

#include <string.h>

#include <utility>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/metrics/histogram.h"
#include "base/metrics/persistent_sample_map.h"
#include "base/metrics/sparse_histogram.h"
#include "base/metrics/statistics_recorder.h"

namespace base {

namespace {

constexpr char kResultHistogram[] = "UMA.CreatePersistentHistogram.Result";
constexpr size_t kNameOffset =
    sizeof(PersistentHistogramAllocator::PersistentHistogramData);
// A record must hold the fixed part and a name of at least one character
// with its terminator.
constexpr size_t kMinHistogramRecordSize = kNameOffset + 8;
// Sample records read per load before looking for the wanted id stops.
constexpr size_t kMinRecordsPerLoad = 10;

std::atomic<PersistentHistogramAllocator*> g_global_allocator{nullptr};

// 0: not made yet; 1: being made (or failed); the histogram otherwise.
std::atomic<uintptr_t> g_result_histogram{0};

// Set while this thread imports. The result histogram is not made then:
// its factory would import too, and could pass over a record of the same
// name that the outer import holds but has not registered yet.
thread_local bool t_importing = false;

// Reads a 32-bit field that another process may write.
template <typename T>
T LoadField(const T* field) {
  return __atomic_load_n(field, __ATOMIC_RELAXED);
}

}  // namespace

// --- PersistentSampleMapRecords

PersistentSampleMapRecords::PersistentSampleMapRecords(
    PersistentSparseHistogramDataManager* manager, uint64_t sample_map_id)
    : data_manager_(manager), sample_map_id_(sample_map_id) {}

PersistentSampleMapRecords::~PersistentSampleMapRecords() = default;

PersistentSampleMapRecords::Reference PersistentSampleMapRecords::GetNext() {
  if (seen_ >= records_.size()) {
    if (!data_manager_->LoadRecords(this)) return 0;
    if (seen_ >= records_.size()) return 0;
  }
  return records_[seen_++];
}

PersistentSampleMapRecords::Reference PersistentSampleMapRecords::CreateNew(
    HistogramBase::Sample value) {
  PersistentMemoryAllocator* allocator = data_manager_->allocator();
  Reference ref = allocator->Allocate(sizeof(PersistentSampleMap::SampleRecord),
                                      kTypeIdSampleRecord);
  auto* record = allocator->GetAsObject<PersistentSampleMap::SampleRecord>(
      ref, kTypeIdSampleRecord);
  if (!record) return 0;
  record->id = sample_map_id_;
  record->value = value;
  record->count = 0;
  allocator->MakeIterable(ref);
  return ref;
}

void PersistentSampleMapRecords::Release(const void* user) {
  if (user_ == user) user_ = nullptr;
}

// --- PersistentSparseHistogramDataManager

PersistentSparseHistogramDataManager::PersistentSparseHistogramDataManager(
    PersistentMemoryAllocator* allocator)
    : allocator_(allocator), record_iterator_(allocator) {}

PersistentSparseHistogramDataManager::~PersistentSparseHistogramDataManager() =
    default;

PersistentSampleMapRecords*
PersistentSparseHistogramDataManager::UseSampleMapRecords(uint64_t id,
                                                          const void* user) {
  AutoLock hold(lock_);
  PersistentSampleMapRecords* records = GetSampleMapRecordsWhileLocked(id);
  records->user_ = user;
  records->seen_ = 0;
  return records;
}

PersistentSampleMapRecords*
PersistentSparseHistogramDataManager::GetSampleMapRecordsWhileLocked(
    uint64_t id) {
  lock_.AssertAcquired();
  std::unique_ptr<PersistentSampleMapRecords>& records = sample_records_[id];
  if (!records)
    records = std::make_unique<PersistentSampleMapRecords>(this, id);
  return records.get();
}

bool PersistentSparseHistogramDataManager::LoadRecords(
    PersistentSampleMapRecords* sample_map_records) {
  AutoLock hold(lock_);
  bool found = !sample_map_records->found_.empty();
  sample_map_records->records_.insert(sample_map_records->records_.end(),
                                      sample_map_records->found_.begin(),
                                      sample_map_records->found_.end());
  sample_map_records->found_.clear();

  size_t read = 0;
  bool found_own = false;
  while (!found_own || read < kMinRecordsPerLoad) {
    PersistentMemoryAllocator::Reference ref =
        record_iterator_.GetNextOfType(kTypeIdSampleRecord);
    if (!ref) break;
    ++read;
    const auto* record =
        allocator_->GetAsObject<PersistentSampleMap::SampleRecord>(
            ref, kTypeIdSampleRecord);
    if (!record) continue;
    const uint64_t id = LoadField(&record->id);
    if (id == sample_map_records->sample_map_id_) {
      sample_map_records->records_.push_back(ref);
      found = found_own = true;
    } else {
      GetSampleMapRecordsWhileLocked(id)->found_.push_back(ref);
    }
  }
  return found;
}

// --- PersistentHistogramAllocator::Iterator

PersistentHistogramAllocator::Iterator::Iterator(
    PersistentHistogramAllocator* allocator)
    : allocator_(allocator), memory_iter_(allocator->memory_.get()) {}

std::unique_ptr<HistogramBase>
PersistentHistogramAllocator::Iterator::GetNext() {
  return GetNextWithIgnore(0);
}

std::unique_ptr<HistogramBase>
PersistentHistogramAllocator::Iterator::GetNextWithIgnore(Reference ignore) {
  Reference ref;
  while ((ref = memory_iter_.GetNextOfType(kTypeIdHistogram)) != 0) {
    if (ref == ignore) continue;
    return allocator_->GetHistogram(ref);
  }
  return nullptr;
}

// --- PersistentHistogramAllocator

PersistentHistogramAllocator::PersistentHistogramAllocator(
    std::unique_ptr<PersistentMemoryAllocator> memory)
    : memory_(std::move(memory)),
      sparse_data_manager_(
          std::make_unique<PersistentSparseHistogramDataManager>(
              memory_.get())),
      import_iterator_(this) {}

PersistentHistogramAllocator::~PersistentHistogramAllocator() = default;

// static
PersistentHistogramAllocator* PersistentHistogramAllocator::GetGlobal() {
  return g_global_allocator.load(std::memory_order_acquire);
}

// static
std::unique_ptr<PersistentHistogramAllocator>
PersistentHistogramAllocator::SetGlobalForTesting(
    std::unique_ptr<PersistentHistogramAllocator> allocator) {
  return std::unique_ptr<PersistentHistogramAllocator>(
      g_global_allocator.exchange(allocator.release(),
                                  std::memory_order_acq_rel));
}

// static
void PersistentHistogramAllocator::RecordCreateHistogramResult(
    CreateHistogramResultType result) {
  uintptr_t value = g_result_histogram.load(std::memory_order_acquire);
  if (value == 0 && t_importing) return;
  if (value == 0) {
    // Making it may come back here (its own record): that result is
    // dropped, like every result while it is being made.
    if (!g_result_histogram.compare_exchange_strong(
            value, 1, std::memory_order_acq_rel)) {
      return;
    }
    HistogramBase* histogram = LinearHistogram::FactoryGet(
        kResultHistogram, 1, CREATE_HISTOGRAM_MAX, CREATE_HISTOGRAM_MAX + 1,
        HistogramBase::kUmaTargetedFlag);
    if (!histogram) return;
    g_result_histogram.store(reinterpret_cast<uintptr_t>(histogram),
                             std::memory_order_release);
    value = reinterpret_cast<uintptr_t>(histogram);
  }
  if (value == 1) return;
  reinterpret_cast<HistogramBase*>(value)->Add(result);
}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::AllocateHistogram(
    HistogramType type, const std::string& name, int32_t minimum,
    int32_t maximum, const BucketRanges* ranges, int32_t flags,
    Reference* ref_ptr) {
  if (memory_->IsCorrupt()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_CORRUPT);
    return nullptr;
  }
  const size_t record_size = kNameOffset + name.size() + 1;
  Reference histogram_ref =
      memory_->Allocate(record_size, kTypeIdHistogramUnderConstruction);
  auto* histogram_data =
      reinterpret_cast<PersistentHistogramData*>(memory_->GetBlockData(
          histogram_ref, kTypeIdHistogramUnderConstruction, record_size));
  if (histogram_data) {
    memcpy(reinterpret_cast<char*>(histogram_data) + kNameOffset, name.c_str(),
           name.size() + 1);
    histogram_data->histogram_type = type;
    histogram_data->flags = flags | HistogramBase::kPersistentFlag;
  }

  if (type != SPARSE_HISTOGRAM) {
    const uint64_t bucket_count = ranges->bucket_count();
    // Two counters per bucket (unreported and reported), then the
    // boundaries; sizes in 64 bits, so that nothing wraps.
    const uint64_t counts_bytes =
        bucket_count * 2 * sizeof(HistogramBase::Count);
    const uint64_t ranges_bytes = (bucket_count + 1) * sizeof(int32_t);
    Reference counts_ref = 0;
    int32_t* ranges_data = nullptr;
    if (counts_bytes < PersistentMemoryAllocator::kMaxRequestSize) {
      counts_ref = memory_->Allocate(counts_bytes, kTypeIdCountsArray);
      Reference ranges_ref =
          memory_->Allocate(ranges_bytes, kTypeIdRangesArray);
      ranges_data = reinterpret_cast<int32_t*>(
          memory_->GetBlockData(ranges_ref, kTypeIdRangesArray, ranges_bytes));
      if (ranges_data) {
        for (size_t i = 0; i < ranges->size(); ++i)
          ranges_data[i] = ranges->range(i);
      }
      if (counts_ref && ranges_data && histogram_data) {
        histogram_data->minimum = minimum;
        histogram_data->maximum = maximum;
        histogram_data->bucket_count = static_cast<uint32_t>(bucket_count);
        histogram_data->ranges_ref = ranges_ref;
        histogram_data->ranges_checksum = ranges->checksum();
        histogram_data->counts_ref = counts_ref;
      }
    }
    if (!counts_ref || !ranges_data) histogram_data = nullptr;
  }

  if (histogram_data) {
    std::unique_ptr<HistogramBase> histogram =
        CreateHistogram(histogram_data, record_size);
    if (histogram) {
      memory_->ChangeType(histogram_ref, kTypeIdHistogram,
                          kTypeIdHistogramUnderConstruction);
      if (ref_ptr) *ref_ptr = histogram_ref;
      last_created_.store(histogram_ref, std::memory_order_relaxed);
      return histogram;
    }
  }

  // The half-built record keeps its construction type: never iterated.
  if (memory_->IsCorrupt()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_NEWLY_CORRUPT);
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_CORRUPT);
  } else if (memory_->IsFull()) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_FULL);
  } else {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_ALLOCATOR_ERROR);
  }
  return nullptr;
}

void PersistentHistogramAllocator::FinalizeHistogram(Reference ref,
                                                     bool registered) {
  if (registered)
    memory_->MakeIterable(ref);
  else
    memory_->ChangeType(ref, 0, kTypeIdHistogram);
}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::GetHistogram(
    Reference ref) {
  auto* data = reinterpret_cast<PersistentHistogramData*>(
      memory_->GetBlockData(ref, kTypeIdHistogram, kMinHistogramRecordSize));
  const size_t size = memory_->GetAllocSize(ref);
  const char* bytes = reinterpret_cast<const char*>(data);
  if (!data || size < kMinHistogramRecordSize ||
      LoadField(&bytes[size - 1]) != 0 || LoadField(&bytes[kNameOffset]) == 0 ||
      LoadField(&data->samples_metadata.id) == 0 ||
      LoadField(&data->logged_metadata.id) == 0) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_METADATA);
    return nullptr;
  }
  return CreateHistogram(data, size);
}

void PersistentHistogramAllocator::ImportHistogramsToStatisticsRecorder() {
  if (t_importing) return;
  // One import at a time: a thread that found the import iterator at its
  // end must not look the name up while another thread still holds an
  // imported histogram that it has not registered yet.
  AutoLock hold(import_lock_);
  const Reference last_created = last_created_.load(std::memory_order_relaxed);
  t_importing = true;
  while (std::unique_ptr<HistogramBase> histogram =
             import_iterator_.GetNextWithIgnore(last_created)) {
    StatisticsRecorder::RegisterOrDeleteDuplicate(histogram.release());
  }
  t_importing = false;
}

PersistentSampleMapRecords* PersistentHistogramAllocator::UseSampleMapRecords(
    uint64_t id, const void* user) {
  return sparse_data_manager_->UseSampleMapRecords(id, user);
}

std::unique_ptr<HistogramBase> PersistentHistogramAllocator::CreateHistogram(
    PersistentHistogramData* data, size_t payload_size) {
  if (!data) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_METADATA_POINTER);
    return nullptr;
  }
  // The fixed fields before the metadata, read once: another process may
  // change them while we look. The name is read only as far as the record
  // reaches, terminator or not.
  PersistentHistogramData fixed;
  const int32_t* source = reinterpret_cast<const int32_t*>(data);
  int32_t* target = reinterpret_cast<int32_t*>(&fixed);
  for (size_t i = 0;
       i < offsetof(PersistentHistogramData, samples_metadata) / 4; ++i) {
    target[i] = LoadField(&source[i]);
  }
  const char* name_start = reinterpret_cast<const char*>(data) + kNameOffset;
  const size_t name_room =
      payload_size > kNameOffset ? payload_size - kNameOffset : 0;
  std::string name;
  for (size_t i = 0; i < name_room; ++i) {
    char c = LoadField(&name_start[i]);
    if (!c) break;
    name.push_back(c);
  }

  const bool read_only = memory_->IsReadonly();
  if (fixed.histogram_type == SPARSE_HISTOGRAM) {
    std::unique_ptr<HistogramBase> histogram =
        SparseHistogram::PersistentCreate(this, name, &data->samples_metadata,
                                          &data->logged_metadata, read_only);
    histogram->SetFlags(fixed.flags);
    RecordCreateHistogramResult(CREATE_HISTOGRAM_SUCCESS);
    return histogram;
  }
  return CreateBucketedHistogram(fixed, data, name);
}

std::unique_ptr<HistogramBase>
PersistentHistogramAllocator::CreateBucketedHistogram(
    const PersistentHistogramData& fixed, PersistentHistogramData* data,
    const std::string& name) {
  const uint32_t bucket_count = fixed.bucket_count;
  // 2 <= N <= 0x3FFFFFFE, so that (N + 1) x 4 fits 32 bits.
  const int32_t* ranges_data = reinterpret_cast<const int32_t*>(
      memory_->GetBlockData(fixed.ranges_ref, kTypeIdRangesArray, 0));
  if (!ranges_data || bucket_count - 2 >= 0x3FFFFFFDu ||
      memory_->GetAllocSize(fixed.ranges_ref) <
          (uint64_t{bucket_count} + 1) * sizeof(int32_t)) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_RANGES_ARRAY);
    return nullptr;
  }
  auto created_ranges = std::make_unique<BucketRanges>(bucket_count + 1);
  for (size_t i = 0; i <= bucket_count; ++i)
    created_ranges->set_range(i, LoadField(&ranges_data[i]));
  created_ranges->ResetChecksum();
  // Boundary 0 must be 0 and boundary N INT32_MAX: a clamped sample must
  // always find its bucket.
  bool valid =
      created_ranges->range(0) == 0 &&
      created_ranges->range(bucket_count) == HistogramBase::kSampleTypeMax &&
      created_ranges->checksum() == fixed.ranges_checksum;
  for (size_t i = 1; valid && i <= bucket_count; ++i)
    valid = created_ranges->range(i) > created_ranges->range(i - 1);
  if (!valid) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_RANGES_ARRAY);
    return nullptr;
  }
  // Layouts belong to the recorder; a reader that made no histogram of
  // its own yet starts it here.
  StatisticsRecorder::EnsureStarted();
  const BucketRanges* ranges =
      StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
          created_ranges.release());

  auto* counts = reinterpret_cast<HistogramBase::Count*>(
      memory_->GetBlockData(fixed.counts_ref, kTypeIdCountsArray, 0));
  if (!counts ||
      memory_->GetAllocSize(fixed.counts_ref) <
          uint64_t{bucket_count} * 2 * sizeof(HistogramBase::Count)) {
    RecordCreateHistogramResult(CREATE_HISTOGRAM_INVALID_COUNTS_ARRAY);
    return nullptr;
  }

  const auto type = static_cast<HistogramType>(fixed.histogram_type);
  HistogramBase::Sample minimum = fixed.minimum;
  HistogramBase::Sample maximum = fixed.maximum;
  switch (type) {
    case HISTOGRAM:
    case LINEAR_HISTOGRAM:
    case BOOLEAN_HISTOGRAM:
      break;
    case CUSTOM_HISTOGRAM:
      minimum = ranges->range(1);
      maximum = ranges->range(bucket_count - 1);
      break;
    default:
      RecordCreateHistogramResult(CREATE_HISTOGRAM_UNKNOWN_TYPE);
      return nullptr;
  }
  std::unique_ptr<HistogramBase> histogram = Histogram::PersistentCreate(
      type, name, minimum, maximum, ranges, counts, counts + bucket_count,
      &data->samples_metadata, &data->logged_metadata, memory_->IsReadonly());
  histogram->SetFlags(fixed.flags);
  RecordCreateHistogramResult(CREATE_HISTOGRAM_SUCCESS);
  return histogram;
}

}  // namespace base
