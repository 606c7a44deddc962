#include "base/metrics/sample_map.h"

namespace base {

SampleMap::SampleMap(uint64_t id) : HistogramSamples(id) {}

SampleMap::~SampleMap() = default;

void SampleMap::Accumulate(Sample value, Count count) {
  Count& stored = sample_counts_[value];
  stored = internal::WrappingAdd(stored, count);
  IncreaseSumAndCount(static_cast<int64_t>(value) * count, count);
}

SampleMap::Count SampleMap::GetCount(Sample value) const {
  auto found = sample_counts_.find(value);
  return found == sample_counts_.end() ? 0 : found->second;
}

SampleMap::Count SampleMap::TotalCount() const {
  Count total = 0;
  for (const auto& entry : sample_counts_)
    total = internal::WrappingAdd(total, entry.second);
  return total;
}

std::unique_ptr<SampleCountIterator> SampleMap::Iterator() const {
  return std::make_unique<SampleMapIterator<Count>>(sample_counts_);
}

bool SampleMap::AddSubtractImpl(SampleCountIterator* iter, Operator op) {
  Sample min;
  Sample max;
  Count count;
  for (; !iter->Done(); iter->Next()) {
    iter->Get(&min, &max, &count);
    if (internal::WrappingAdd(min, 1) != max) return false;
    Count& stored = sample_counts_[min];
    stored = internal::WrappingAdd(
        stored, op == ADD ? count : internal::WrappingNegate(count));
  }
  return true;
}

}  // namespace base
