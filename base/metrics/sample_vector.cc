#include "base/metrics/sample_vector.h"

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"

namespace base {

SampleVector::SampleVector(uint64_t id, const BucketRanges* ranges)
    : HistogramSamples(id),
      local_counts_(new Count[ranges->bucket_count()]()),
      counts_(local_counts_.get()),
      counts_size_(ranges->bucket_count()),
      bucket_ranges_(ranges) {
  CHECK_GE(counts_size_, 1u);
}

SampleVector::SampleVector(uint64_t id, Count* counts,
                           const BucketRanges* ranges, Metadata* meta,
                           bool read_only)
    : HistogramSamples(id, meta, read_only),
      counts_(counts),
      counts_size_(ranges->bucket_count()),
      bucket_ranges_(ranges) {
  CHECK_GE(counts_size_, 1u);
}

SampleVector::~SampleVector() = default;

void SampleVector::Accumulate(Sample value, Count count) {
  if (read_only()) return;
  size_t index = GetBucketIndex(value);
  internal::AddToCount(&counts_[index], count);
  IncreaseSumAndCount(static_cast<int64_t>(value) * count, count);
}

SampleVector::Count SampleVector::GetCount(Sample value) const {
  return GetCountAtIndex(GetBucketIndex(value));
}

SampleVector::Count SampleVector::TotalCount() const {
  Count total = 0;
  for (size_t i = 0; i < counts_size_; ++i)
    total = internal::WrappingAdd(total, internal::LoadCount(&counts_[i]));
  return total;
}

SampleVector::Count SampleVector::GetCountAtIndex(size_t index) const {
  CHECK_LT(index, counts_size_);
  return internal::LoadCount(&counts_[index]);
}

std::unique_ptr<SampleCountIterator> SampleVector::Iterator() const {
  return std::make_unique<SampleVectorIterator>(counts_, counts_size_,
                                                bucket_ranges_);
}

size_t SampleVector::GetBucketIndex(Sample value) const {
  size_t bucket_count = bucket_ranges_->bucket_count();
  CHECK_GE(value, bucket_ranges_->range(0));
  CHECK_LT(value, bucket_ranges_->range(bucket_count));
  size_t low = 0;
  size_t high = bucket_count;
  size_t mid;
  for (;;) {
    mid = low + (high - low) / 2;
    if (mid == low) break;
    if (bucket_ranges_->range(mid) <= value)
      low = mid;
    else
      high = mid;
  }
  CHECK_GT(bucket_ranges_->range(mid + 1), value);
  return mid;
}

bool SampleVector::AddSubtractImpl(SampleCountIterator* iter, Operator op) {
  Sample min;
  Sample max;
  Count count;
  size_t index = 0;
  while (index < counts_size_ && !iter->Done()) {
    iter->Get(&min, &max, &count);
    if (min == bucket_ranges_->range(index) &&
        max == bucket_ranges_->range(index + 1)) {
      if (!read_only()) {
        internal::AddToCount(
            &counts_[index],
            op == ADD ? count : internal::WrappingNegate(count));
      }
      iter->Next();
    } else if (min > bucket_ranges_->range(index)) {
      ++index;
    } else {
      return false;
    }
  }
  return iter->Done();
}

SampleVectorIterator::SampleVectorIterator(const Count* counts,
                                           size_t counts_size,
                                           const BucketRanges* bucket_ranges)
    : counts_(counts),
      counts_size_(counts_size),
      bucket_ranges_(bucket_ranges) {
  SkipEmptyBuckets();
}

SampleVectorIterator::~SampleVectorIterator() = default;

bool SampleVectorIterator::Done() const { return index_ >= counts_size_; }

void SampleVectorIterator::Next() {
  CHECK(!Done());
  ++index_;
  SkipEmptyBuckets();
}

void SampleVectorIterator::Get(Sample* min, Sample* max, Count* count) const {
  CHECK(!Done());
  if (min) *min = bucket_ranges_->range(index_);
  if (max) *max = bucket_ranges_->range(index_ + 1);
  if (count) *count = internal::LoadCount(&counts_[index_]);
}

bool SampleVectorIterator::GetBucketIndex(size_t* index) const {
  CHECK(!Done());
  if (index) *index = index_;
  return true;
}

void SampleVectorIterator::SkipEmptyBuckets() {
  while (index_ < counts_size_ && internal::LoadCount(&counts_[index_]) == 0)
    ++index_;
}

}  // namespace base
