#include "base/metrics/histogram.h"

#include <math.h>

#include <algorithm>
#include <atomic>
#include <utility>

#include "base/logging.h"
#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/sample_vector.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/strings/stringprintf.h"
#include "base/values.h"

namespace base {

namespace {

constexpr char kInconsistentCountHigh[] = "Histogram.InconsistentCountHigh";
constexpr char kInconsistentCountLow[] = "Histogram.InconsistentCountLow";
constexpr char kShutdownDelayTime[] = "SequencedWorkerPool.ShutdownDelayTime";
// Concurrent adds without a lock may leave the redundant count this far
// from the counters' total.
constexpr int64_t kCommonRaceBasedCountMismatch = 5;
// Width of the widest bar of a graph.
constexpr int kLineLength = 72;
// Buckets narrower than this are scaled by their width in the graph.
constexpr double kTransitionWidth = 5;

// The report histogram of a count mismatch, created once and kept.
HistogramBase* InconsistencyHistogram(bool high) {
  static HistogramBase* const high_histogram =
      Histogram::FactoryGetCounts(kInconsistentCountHigh, 1000000);
  static HistogramBase* const low_histogram =
      Histogram::FactoryGetCounts(kInconsistentCountLow, 1000000);
  return high ? high_histogram : low_histogram;
}

double Percent(int64_t part, int64_t total) {
  return total ? 100.0 * static_cast<double>(part) / static_cast<double>(total)
               : 0.0;
}

// "-----O" scaled against |max_size|, padded to the full width. Empty
// histograms and negative counts (from a segment or a pickle) draw no bar.
void WriteBar(double size, double max_size, std::string* output) {
  int x_count = 0;
  if (max_size > 0 && size > 0)
    x_count =
        static_cast<int>(lround(std::min(size / max_size, 1.0) * kLineLength));
  x_count = std::clamp(x_count, 0, kLineLength);
  output->append(static_cast<size_t>(x_count), '-');
  output->append("O");
  output->append(static_cast<size_t>(kLineLength - x_count), ' ');
}

void PadTo(size_t width, std::string* output, size_t line_start) {
  while (output->size() - line_start < width) output->push_back(' ');
}

}  // namespace

// --- Factory

Histogram::Factory::Factory(const std::string& name, HistogramType type,
                            Sample minimum, Sample maximum,
                            uint32_t bucket_count, int32_t flags)
    : name_(name),
      histogram_type_(type),
      minimum_(minimum),
      maximum_(maximum),
      bucket_count_(bucket_count),
      flags_(flags) {}

Histogram::Factory::~Factory() = default;

BucketRanges* Histogram::Factory::CreateRanges() {
  auto* ranges = new BucketRanges(bucket_count_ + 1);
  Histogram::InitializeBucketRanges(minimum_, maximum_, ranges);
  return ranges;
}

std::unique_ptr<HistogramBase> Histogram::Factory::HeapAlloc(
    const BucketRanges* ranges) {
  return std::unique_ptr<HistogramBase>(
      new Histogram(name_, minimum_, maximum_, ranges));
}

HistogramBase* Histogram::Factory::Build() {
  StatisticsRecorder::EnsureStarted();
  PersistentHistogramAllocator* allocator =
      PersistentHistogramAllocator::GetGlobal();
  HistogramBase* histogram = nullptr;
  if (StatisticsRecorder::IsActive()) {
    if (allocator) allocator->ImportHistogramsToStatisticsRecorder();
    histogram = StatisticsRecorder::FindHistogram(name_);
  }
  if (!histogram) {
    const BucketRanges* registered_ranges =
        StatisticsRecorder::RegisterOrDeleteDuplicateRanges(CreateRanges());
    if (bucket_count_ == 0) {
      bucket_count_ = static_cast<uint32_t>(registered_ranges->bucket_count());
      minimum_ = registered_ranges->range(1);
      maximum_ = registered_ranges->range(bucket_count_ - 1);
    }
    PersistentHistogramAllocator::Reference histogram_ref = 0;
    std::unique_ptr<HistogramBase> tentative;
    if (allocator) {
      tentative = allocator->AllocateHistogram(histogram_type_, name_, minimum_,
                                               maximum_, registered_ranges,
                                               flags_, &histogram_ref);
    }
    if (!tentative) {
      flags_ &= ~HistogramBase::kPersistentFlag;
      tentative = HeapAlloc(registered_ranges);
      tentative->SetFlags(flags_);
    }
    FillHistogram(tentative.get());
    const HistogramBase* tentative_raw = tentative.get();
    histogram =
        StatisticsRecorder::RegisterOrDeleteDuplicate(tentative.release());
    if (histogram_ref)
      allocator->FinalizeHistogram(histogram_ref, histogram == tentative_raw);
  }
  if (bucket_count_ != 0 &&
      !histogram->HasConstructionArguments(minimum_, maximum_, bucket_count_)) {
    return nullptr;
  }
  return histogram;
}

// --- Histogram

// static
void Histogram::ClampLayout(Sample* minimum, Sample* maximum,
                            uint32_t* bucket_count) {
  if (*minimum < 1) *minimum = 1;
  if (*maximum >= kSampleTypeMax) *maximum = kSampleTypeMax - 1;
  if (*bucket_count > kBucketCountMax) *bucket_count = kBucketCountMax;
}

// static
HistogramBase* Histogram::FactoryGet(const std::string& name, Sample minimum,
                                     Sample maximum, uint32_t bucket_count,
                                     int32_t flags) {
  ClampLayout(&minimum, &maximum, &bucket_count);
  return Factory(name, HISTOGRAM, minimum, maximum, bucket_count, flags)
      .Build();
}

// static
HistogramBase* Histogram::FactoryGetCounts(const std::string& name,
                                           Sample maximum) {
  return FactoryGet(name, 1, maximum, 50, kUmaTargetedFlag);
}

// static
std::unique_ptr<HistogramBase> Histogram::PersistentCreate(
    HistogramType type, const std::string& name, Sample minimum, Sample maximum,
    const BucketRanges* ranges, Count* counts, Count* logged_counts,
    HistogramSamples::Metadata* meta, HistogramSamples::Metadata* logged_meta,
    bool read_only) {
  Histogram* histogram = nullptr;
  switch (type) {
    case HISTOGRAM:
      histogram = new Histogram(name, minimum, maximum, ranges, counts,
                                logged_counts, meta, logged_meta, read_only);
      break;
    case LINEAR_HISTOGRAM:
      histogram =
          new LinearHistogram(name, minimum, maximum, ranges, counts,
                              logged_counts, meta, logged_meta, read_only);
      break;
    case BOOLEAN_HISTOGRAM:
      histogram =
          new BooleanHistogram(name, minimum, maximum, ranges, counts,
                               logged_counts, meta, logged_meta, read_only);
      break;
    case CUSTOM_HISTOGRAM:
      histogram =
          new CustomHistogram(name, minimum, maximum, ranges, counts,
                              logged_counts, meta, logged_meta, read_only);
      break;
    case SPARSE_HISTOGRAM:
      break;
  }
  return std::unique_ptr<HistogramBase>(histogram);
}

// static
void Histogram::InitializeBucketRanges(Sample minimum, Sample maximum,
                                       BucketRanges* ranges) {
  CHECK_GE(minimum, 0);
  const size_t bucket_count = ranges->bucket_count();
  CHECK_GE(bucket_count, 1u);
  double log_max = log(static_cast<double>(maximum));
  int64_t current = minimum;
  if (bucket_count >= 2) ranges->set_range(1, minimum);
  for (size_t i = 2; i < bucket_count; ++i) {
    double log_current = log(static_cast<double>(current));
    double log_next = log_current + (log_max - log_current) /
                                        static_cast<double>(bucket_count - i);
    int64_t next = static_cast<int64_t>(floor(exp(log_next) + 0.5));
    current = next > current ? next : current + 1;
    CHECK_LT(current, int64_t{kSampleTypeMax});
    ranges->set_range(i, static_cast<Sample>(current));
  }
  ranges->set_range(bucket_count, kSampleTypeMax);
  ranges->ResetChecksum();
}

Histogram::Histogram(const std::string& name, Sample minimum, Sample maximum,
                     const BucketRanges* ranges)
    : HistogramBase(name, 0),
      bucket_ranges_(ranges),
      declared_min_(minimum),
      declared_max_(maximum),
      unlogged_samples_(
          std::make_unique<SampleVector>(HashMetricName(name), ranges)) {}

Histogram::Histogram(const std::string& name, Sample minimum, Sample maximum,
                     const BucketRanges* ranges, Count* counts,
                     Count* logged_counts, HistogramSamples::Metadata* meta,
                     HistogramSamples::Metadata* logged_meta, bool read_only)
    : HistogramBase(name, 0),
      bucket_ranges_(ranges),
      declared_min_(minimum),
      declared_max_(maximum),
      unlogged_samples_(std::make_unique<SampleVector>(
          HashMetricName(name), counts, ranges, meta, read_only)),
      logged_samples_(std::make_unique<SampleVector>(unlogged_samples_->id(),
                                                     logged_counts, ranges,
                                                     logged_meta, read_only)) {}

Histogram::~Histogram() = default;

uint64_t Histogram::name_hash() const { return unlogged_samples_->id(); }

HistogramType Histogram::GetHistogramType() const { return HISTOGRAM; }

bool Histogram::HasConstructionArguments(Sample minimum, Sample maximum,
                                         uint32_t bucket_count) const {
  return minimum == declared_min_ && maximum == declared_max_ &&
         bucket_count == this->bucket_count();
}

void Histogram::AddCount(Sample value, int count) {
  if (value > kSampleTypeMax - 1) value = kSampleTypeMax - 1;
  if (value < 0) value = 0;
  if (count <= 0) return;
  unlogged_samples_->Accumulate(value, count);
  FindAndRunCallback(value);
}

void Histogram::AddSamples(const HistogramSamples& samples) {
  unlogged_samples_->Add(samples);
}

bool Histogram::AddSamplesFromPickle(PickleIterator* iter) {
  return unlogged_samples_->AddFromPickle(iter);
}

uint32_t Histogram::FindCorruption(const HistogramSamples& samples) const {
  uint32_t inconsistencies = NO_INCONSISTENCIES;
  int64_t previous_range = -1;
  for (size_t i = 0; i < bucket_ranges_->size(); ++i) {
    if (bucket_ranges_->range(i) <= previous_range)
      inconsistencies |= BUCKET_ORDER_ERROR;
    previous_range = bucket_ranges_->range(i);
  }
  if (!bucket_ranges_->HasValidChecksum())
    inconsistencies |= RANGE_CHECKSUM_ERROR;

  // Both counts may come from a segment or a pickle: compare in 64 bits.
  int64_t delta = int64_t{samples.redundant_count()} - samples.TotalCount();
  if (delta != 0) {
    bool high = delta > 0;
    int64_t magnitude = high ? delta : -delta;
    if (HistogramBase* report = InconsistencyHistogram(high)) {
      report->Add(static_cast<Sample>(
          std::min<int64_t>(magnitude, kSampleTypeMax - 1)));
    }
    if (magnitude > kCommonRaceBasedCountMismatch)
      inconsistencies |= high ? COUNT_HIGH_ERROR : COUNT_LOW_ERROR;
  }
  return inconsistencies;
}

std::unique_ptr<SampleVector> Histogram::SnapshotUnloggedSamples() const {
  auto samples =
      std::make_unique<SampleVector>(unlogged_samples_->id(), bucket_ranges_);
  samples->Add(*unlogged_samples_);
  return samples;
}

std::unique_ptr<SampleVector> Histogram::SnapshotAllSamples() const {
  return SnapshotUnloggedSamples();
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotSamples() const {
  return SnapshotAllSamples();
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotDelta() {
  std::unique_ptr<SampleVector> snapshot = SnapshotUnloggedSamples();
  if (!logged_samples_) {
    // The first delta is everything; it also becomes the reported set.
    logged_samples_ = std::move(snapshot);
    auto copy =
        std::make_unique<SampleVector>(logged_samples_->id(), bucket_ranges_);
    copy->Add(*logged_samples_);
    return copy;
  }
  snapshot->Subtract(*logged_samples_);
  logged_samples_->Add(*snapshot);
  return snapshot;
}

std::unique_ptr<HistogramSamples> Histogram::SnapshotFinalDelta() const {
  final_delta_created_ = true;
  std::unique_ptr<SampleVector> snapshot = SnapshotUnloggedSamples();
  if (logged_samples_) snapshot->Subtract(*logged_samples_);
  return snapshot;
}

bool Histogram::SerializeInfo(Pickle* pickle) const {
  pickle->WriteString(histogram_name());
  pickle->WriteInt(flags());
  pickle->WriteInt(declared_min_);
  pickle->WriteInt(declared_max_);
  pickle->WriteUInt32(bucket_count());
  pickle->WriteUInt32(bucket_ranges_->checksum());
  return true;
}

void Histogram::GetParameters(DictionaryValue* params) const {
  params->SetString("type", HistogramTypeToString(GetHistogramType()));
  params->SetInteger("min", declared_min_);
  params->SetInteger("max", declared_max_);
  params->SetInteger("bucket_count", static_cast<int>(bucket_count()));
}

void Histogram::GetCountAndBucketData(Count* count, int64_t* sum,
                                      ListValue* buckets) const {
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  *count = snapshot->TotalCount();
  *sum = snapshot->sum();
  const uint32_t bucket_total = bucket_count();
  for (uint32_t i = 0; i < bucket_total; ++i) {
    Count bucket_count_value = snapshot->GetCountAtIndex(i);
    if (bucket_count_value == 0) continue;
    auto bucket = std::make_unique<DictionaryValue>();
    bucket->SetInteger("low", ranges(i));
    if (i != bucket_total - 1) bucket->SetInteger("high", ranges(i + 1));
    bucket->SetInteger("count", bucket_count_value);
    buckets->Append(std::move(bucket));
  }
}

double Histogram::GetBucketSize(Count current, uint32_t i) const {
  double denominator =
      static_cast<double>(int64_t{ranges(i + 1)} - int64_t{ranges(i)});
  if (denominator > kTransitionWidth) denominator = kTransitionWidth;
  return current / denominator;
}

bool Histogram::PrintEmptyBucket(uint32_t index) const { return true; }

std::string Histogram::GetAsciiBucketRange(uint32_t i) const {
  return StringPrintf((flags() & kHexRangesFlag) ? "%#x" : "%d", ranges(i));
}

double Histogram::GetPeakBucketSize(const SampleVector& samples) const {
  double max_size = 0;
  for (uint32_t i = 0; i < bucket_count(); ++i)
    max_size = std::max(max_size, GetBucketSize(samples.GetCountAtIndex(i), i));
  return max_size;
}

void Histogram::WriteAsciiImpl(const std::string& newline,
                               std::string* output) const {
  std::unique_ptr<SampleVector> snapshot = SnapshotAllSamples();
  const uint32_t bucket_total = bucket_count();
  // Counts from a segment or a pickle may be anything: total in 64 bits.
  int64_t sample_count = 0;
  size_t print_width = 1;
  for (uint32_t i = 0; i < bucket_total; ++i) {
    Count count = snapshot->GetCountAtIndex(i);
    sample_count += count;
    if (count != 0)
      print_width = std::max(print_width, GetAsciiBucketRange(i).size() + 1);
  }
  WriteAsciiHeader(sample_count, snapshot->sum(), true, output);
  output->append(newline);

  const double max_size = GetPeakBucketSize(*snapshot);
  int64_t past = 0;
  for (uint32_t i = 0; i < bucket_total; ++i) {
    Count current = snapshot->GetCountAtIndex(i);
    if (current == 0 && !PrintEmptyBucket(i)) continue;
    const size_t line_start = output->size();
    output->append(GetAsciiBucketRange(i));
    PadTo(print_width + 1, output, line_start);
    // A run of empty buckets (not reaching the last one) becomes "...".
    if (current == 0 && i + 2 < bucket_total &&
        snapshot->GetCountAtIndex(i + 1) == 0) {
      while (i + 2 < bucket_total && snapshot->GetCountAtIndex(i + 1) == 0) ++i;
      output->append("... ");
      output->append(newline);
      continue;
    }
    WriteBar(GetBucketSize(current, i), max_size, output);
    StringAppendF(output, " (%d = %3.1f%%)", current,
                  Percent(current, sample_count));
    if (i > 0) StringAppendF(output, " {%3.1f%%}", Percent(past, sample_count));
    past += current;
    output->append(newline);
  }
}

// --- LinearHistogram

class LinearHistogram::Factory : public Histogram::Factory {
 public:
  Factory(const std::string& name, Sample minimum, Sample maximum,
          uint32_t bucket_count, int32_t flags,
          const DescriptionPair* descriptions,
          HistogramType type = LINEAR_HISTOGRAM)
      : Histogram::Factory(name, type, minimum, maximum, bucket_count, flags),
        descriptions_(descriptions) {}

 protected:
  BucketRanges* CreateRanges() override {
    auto* ranges = new BucketRanges(bucket_count_ + 1);
    LinearHistogram::InitializeBucketRanges(minimum_, maximum_, ranges);
    return ranges;
  }

  std::unique_ptr<HistogramBase> HeapAlloc(
      const BucketRanges* ranges) override {
    return std::unique_ptr<HistogramBase>(
        new LinearHistogram(name_, minimum_, maximum_, ranges));
  }

  void FillHistogram(HistogramBase* base_histogram) override {
    if (!descriptions_) return;
    auto* histogram = static_cast<LinearHistogram*>(base_histogram);
    for (int i = 0; descriptions_[i].description; ++i) {
      histogram->bucket_description_[descriptions_[i].sample] =
          descriptions_[i].description;
    }
  }

 private:
  const DescriptionPair* const descriptions_;
};

// static
HistogramBase* LinearHistogram::FactoryGet(const std::string& name,
                                           Sample minimum, Sample maximum,
                                           uint32_t bucket_count,
                                           int32_t flags) {
  return FactoryGetWithRangeDescription(name, minimum, maximum, bucket_count,
                                        flags, nullptr);
}

// static
HistogramBase* LinearHistogram::FactoryGetWithRangeDescription(
    const std::string& name, Sample minimum, Sample maximum,
    uint32_t bucket_count, int32_t flags,
    const DescriptionPair descriptions[]) {
  ClampLayout(&minimum, &maximum, &bucket_count);
  return Factory(name, minimum, maximum, bucket_count, flags, descriptions)
      .Build();
}

// static
void LinearHistogram::InitializeBucketRanges(Sample minimum, Sample maximum,
                                             BucketRanges* ranges) {
  const size_t bucket_count = ranges->bucket_count();
  CHECK_GE(bucket_count, 3u);
  const double min = minimum;
  const double max = maximum;
  for (size_t i = 1; i < bucket_count; ++i) {
    double linear_range = (min * static_cast<double>(bucket_count - i - 1) +
                           max * static_cast<double>(i - 1)) /
                          static_cast<double>(bucket_count - 2);
    int64_t range = static_cast<int64_t>(linear_range + 0.5);
    CHECK(range >= 0 && range < kSampleTypeMax);
    ranges->set_range(i, static_cast<Sample>(range));
  }
  ranges->set_range(bucket_count, kSampleTypeMax);
  ranges->ResetChecksum();
}

LinearHistogram::~LinearHistogram() = default;

HistogramType LinearHistogram::GetHistogramType() const {
  return LINEAR_HISTOGRAM;
}

double LinearHistogram::GetBucketSize(Count current, uint32_t i) const {
  return current /
         static_cast<double>(int64_t{ranges(i + 1)} - int64_t{ranges(i)});
}

bool LinearHistogram::PrintEmptyBucket(uint32_t index) const {
  return bucket_description_.find(ranges(index)) == bucket_description_.end();
}

std::string LinearHistogram::GetAsciiBucketRange(uint32_t i) const {
  auto found = bucket_description_.find(ranges(i));
  if (found != bucket_description_.end()) return found->second;
  return Histogram::GetAsciiBucketRange(i);
}

// --- BooleanHistogram

class BooleanHistogram::Factory : public LinearHistogram::Factory {
 public:
  Factory(const std::string& name, int32_t flags)
      : LinearHistogram::Factory(name, 1, 2, 3, flags, nullptr,
                                 BOOLEAN_HISTOGRAM) {}

 protected:
  std::unique_ptr<HistogramBase> HeapAlloc(
      const BucketRanges* ranges) override {
    return std::unique_ptr<HistogramBase>(
        new BooleanHistogram(name_, 1, 2, ranges));
  }
};

// static
HistogramBase* BooleanHistogram::FactoryGet(const std::string& name,
                                            int32_t flags) {
  return Factory(name, flags).Build();
}

HistogramType BooleanHistogram::GetHistogramType() const {
  return BOOLEAN_HISTOGRAM;
}

// --- CustomHistogram

class CustomHistogram::Factory : public Histogram::Factory {
 public:
  Factory(const std::string& name, const std::vector<Sample>* custom_ranges,
          int32_t flags)
      : Histogram::Factory(name, CUSTOM_HISTOGRAM, 0, 0, 0, flags),
        custom_ranges_(custom_ranges) {}

 protected:
  BucketRanges* CreateRanges() override {
    std::vector<Sample> values = *custom_ranges_;
    values.push_back(0);
    values.push_back(kSampleTypeMax);
    std::sort(values.begin(), values.end());
    values.erase(std::unique(values.begin(), values.end()), values.end());
    auto* ranges = new BucketRanges(values.size());
    for (size_t i = 0; i < values.size(); ++i) ranges->set_range(i, values[i]);
    ranges->ResetChecksum();
    return ranges;
  }

  std::unique_ptr<HistogramBase> HeapAlloc(
      const BucketRanges* ranges) override {
    return std::unique_ptr<HistogramBase>(
        new CustomHistogram(name_, ranges->range(1),
                            ranges->range(ranges->bucket_count() - 1), ranges));
  }

 private:
  const std::vector<Sample>* const custom_ranges_;
};

// static
HistogramBase* CustomHistogram::FactoryGet(
    const std::string& name, const std::vector<Sample>& custom_ranges,
    int32_t flags) {
  for (Sample value : custom_ranges) CHECK(value > 0 && value < kSampleTypeMax);
  CHECK(!custom_ranges.empty());
  return Factory(name, &custom_ranges, flags).Build();
}

HistogramType CustomHistogram::GetHistogramType() const {
  return CUSTOM_HISTOGRAM;
}

bool CustomHistogram::SerializeInfo(Pickle* pickle) const {
  Histogram::SerializeInfo(pickle);
  // Boundary 0 and the last one are the same for every layout.
  for (uint32_t i = 1; i < bucket_ranges()->size() - 1; ++i)
    pickle->WriteInt(ranges(i));
  return true;
}

double CustomHistogram::GetBucketSize(Count current, uint32_t i) const {
  return current;
}

HistogramBase* GetShutdownDelayTimeHistogram() {
  static HistogramBase* const histogram = Histogram::FactoryGet(
      kShutdownDelayTime, 1, 10000, 50, HistogramBase::kUmaTargetedFlag);
  return histogram;
}

}  // namespace base
