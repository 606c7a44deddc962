#include "base/metrics/histogram_samples.h"

#include "base/pickle.h"

namespace base {

namespace {

// Reads (min, max, count) triples until a field is missing.
class SampleCountPickleIterator : public SampleCountIterator {
 public:
  explicit SampleCountPickleIterator(PickleIterator* iter) : iter_(iter) {
    Next();
  }

  bool Done() const override { return done_; }

  void Next() override {
    done_ = !iter_->ReadInt(&min_) || !iter_->ReadInt(&max_) ||
            !iter_->ReadInt(&count_);
  }

  void Get(Sample* min, Sample* max, Count* count) const override {
    if (min) *min = min_;
    if (max) *max = max_;
    if (count) *count = count_;
  }

 private:
  PickleIterator* const iter_;
  bool done_ = false;
  Sample min_ = 0;
  Sample max_ = 0;
  Count count_ = 0;
};

}  // namespace

HistogramSamples::HistogramSamples(uint64_t id) : meta_(&local_meta_) {
  local_meta_.id = id;
}

HistogramSamples::HistogramSamples(uint64_t id, Metadata* meta, bool read_only)
    : meta_(meta), read_only_(read_only) {
  if (!read_only_ && __atomic_load_n(&meta_->id, __ATOMIC_RELAXED) == 0)
    __atomic_store_n(&meta_->id, id, __ATOMIC_RELAXED);
}

HistogramSamples::~HistogramSamples() = default;

uint64_t HistogramSamples::id() const {
  return __atomic_load_n(&meta_->id, __ATOMIC_RELAXED);
}

int64_t HistogramSamples::sum() const {
  return __atomic_load_n(&meta_->sum, __ATOMIC_RELAXED);
}

HistogramSamples::Count HistogramSamples::redundant_count() const {
  return internal::LoadCount(&meta_->redundant_count);
}

void HistogramSamples::IncreaseSumAndCount(int64_t sum, Count count) {
  if (read_only_) return;
  __atomic_fetch_add(&meta_->sum, sum, __ATOMIC_RELAXED);
  internal::AddToCount(&meta_->redundant_count, count);
}

void HistogramSamples::Add(const HistogramSamples& other) {
  IncreaseSumAndCount(other.sum(), other.redundant_count());
  std::unique_ptr<SampleCountIterator> it = other.Iterator();
  AddSubtractImpl(it.get(), ADD);
}

bool HistogramSamples::AddFromPickle(PickleIterator* iter) {
  int64_t sum;
  Count redundant_count;
  if (!iter->ReadInt64(&sum) || !iter->ReadInt(&redundant_count)) return false;
  IncreaseSumAndCount(sum, redundant_count);
  SampleCountPickleIterator pickle_iter(iter);
  return AddSubtractImpl(&pickle_iter, ADD);
}

void HistogramSamples::Subtract(const HistogramSamples& other) {
  // Negated by wrapping: the smallest values have no positive twin.
  IncreaseSumAndCount(
      static_cast<int64_t>(0ull - static_cast<uint64_t>(other.sum())),
      internal::WrappingNegate(other.redundant_count()));
  std::unique_ptr<SampleCountIterator> it = other.Iterator();
  AddSubtractImpl(it.get(), SUBTRACT);
}

bool HistogramSamples::Serialize(Pickle* pickle) const {
  pickle->WriteInt64(sum());
  pickle->WriteInt(redundant_count());
  Sample min;
  Sample max;
  Count count;
  for (std::unique_ptr<SampleCountIterator> it = Iterator(); !it->Done();
       it->Next()) {
    it->Get(&min, &max, &count);
    pickle->WriteInt(min);
    pickle->WriteInt(max);
    pickle->WriteInt(count);
  }
  return true;
}

SampleCountIterator::~SampleCountIterator() = default;

bool SampleCountIterator::GetBucketIndex(size_t* index) const { return false; }

}  // namespace base
