#include "base/metrics/persistent_sample_map.h"

#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/sample_map.h"

namespace base {

PersistentSampleMap::PersistentSampleMap(
    uint64_t id, PersistentHistogramAllocator* allocator, Metadata* meta,
    bool read_only)
    : HistogramSamples(id, meta, read_only), allocator_(allocator) {}

PersistentSampleMap::~PersistentSampleMap() {
  if (records_) records_->Release(this);
}

void PersistentSampleMap::Accumulate(Sample value, Count count) {
  if (read_only()) return;
  internal::AddToCount(GetOrCreateSampleCountStorage(value), count);
  IncreaseSumAndCount(static_cast<int64_t>(value) * count, count);
}

PersistentSampleMap::Count PersistentSampleMap::GetCount(Sample value) const {
  const Count* count = GetSampleCountStorage(value);
  return count ? internal::LoadCount(count) : 0;
}

PersistentSampleMap::Count PersistentSampleMap::TotalCount() const {
  ImportSamples(0, true);
  Count total = 0;
  for (const auto& entry : sample_counts_)
    total = internal::WrappingAdd(total, internal::LoadCount(entry.second));
  return total;
}

std::unique_ptr<SampleCountIterator> PersistentSampleMap::Iterator() const {
  ImportSamples(0, true);
  return std::make_unique<SampleMapIterator<Count*>>(sample_counts_);
}

bool PersistentSampleMap::AddSubtractImpl(SampleCountIterator* iter,
                                          Operator op) {
  Sample min;
  Sample max;
  Count count;
  for (; !iter->Done(); iter->Next()) {
    iter->Get(&min, &max, &count);
    if (internal::WrappingAdd(min, 1) != max) return false;
    if (read_only()) continue;
    internal::AddToCount(GetOrCreateSampleCountStorage(min),
                         op == ADD ? count : internal::WrappingNegate(count));
  }
  return true;
}

PersistentSampleMap::Count* PersistentSampleMap::GetOrCreateSampleCountStorage(
    Sample value) {
  if (Count* count = GetSampleCountStorage(value)) return count;
  Count* count = nullptr;
  if (!read_only() && GetRecords()->CreateNew(value))
    count = ImportSamples(value, false);
  if (!count) {
    // No record could be made (or found again in a broken queue): count
    // here only.
    local_counts_.push_back(0);
    count = &local_counts_.back();
  }
  sample_counts_[value] = count;
  return count;
}

PersistentSampleMap::Count* PersistentSampleMap::GetSampleCountStorage(
    Sample value) const {
  auto found = sample_counts_.find(value);
  if (found != sample_counts_.end()) return found->second;
  return ImportSamples(value, false);
}

PersistentSampleMap::Count* PersistentSampleMap::ImportSamples(
    Sample until_value, bool import_everything) const {
  Count* found_count = nullptr;
  PersistentSampleMapRecords* records = GetRecords();
  PersistentMemoryAllocator::Reference ref;
  while ((ref = records->GetNext()) != 0) {
    SampleRecord* record = records->GetAsObject<SampleRecord>(ref);
    if (!record) continue;
    if (__atomic_load_n(&record->id, __ATOMIC_RELAXED) != id()) continue;
    const Sample value = __atomic_load_n(&record->value, __ATOMIC_RELAXED);
    // A value with two records (made by two processes at once) counts in
    // the first one found.
    auto inserted = sample_counts_.emplace(value, &record->count);
    if (value == until_value) {
      if (!found_count) found_count = inserted.first->second;
      if (!import_everything) return found_count;
    }
  }
  return found_count;
}

PersistentSampleMapRecords* PersistentSampleMap::GetRecords() const {
  if (!records_) records_ = allocator_->UseSampleMapRecords(id(), this);
  return records_;
}

}  // namespace base
