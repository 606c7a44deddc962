#include "base/metrics/sparse_histogram.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "base/metrics/persistent_histogram_allocator.h"
#include "base/metrics/persistent_sample_map.h"
#include "base/metrics/sample_map.h"
#include "base/metrics/statistics_recorder.h"
#include "base/pickle.h"
#include "base/strings/stringprintf.h"

namespace base {

namespace {

constexpr int kLineLength = 72;

}  // namespace

// static
HistogramBase* SparseHistogram::FactoryGet(const std::string& name,
                                           int32_t flags) {
  StatisticsRecorder::EnsureStarted();
  PersistentHistogramAllocator* allocator =
      PersistentHistogramAllocator::GetGlobal();
  HistogramBase* histogram = nullptr;
  if (StatisticsRecorder::IsActive()) {
    if (allocator) allocator->ImportHistogramsToStatisticsRecorder();
    histogram = StatisticsRecorder::FindHistogram(name);
  }
  if (histogram) return histogram;

  PersistentHistogramAllocator::Reference histogram_ref = 0;
  std::unique_ptr<HistogramBase> tentative;
  if (allocator) {
    tentative = allocator->AllocateHistogram(SPARSE_HISTOGRAM, name, 0, 0,
                                             nullptr, flags, &histogram_ref);
  }
  if (!tentative) {
    flags &= ~HistogramBase::kPersistentFlag;
    tentative.reset(new SparseHistogram(name));
    tentative->SetFlags(flags);
  }
  const HistogramBase* tentative_raw = tentative.get();
  histogram =
      StatisticsRecorder::RegisterOrDeleteDuplicate(tentative.release());
  if (histogram_ref)
    allocator->FinalizeHistogram(histogram_ref, histogram == tentative_raw);
  return histogram;
}

// static
std::unique_ptr<HistogramBase> SparseHistogram::PersistentCreate(
    PersistentHistogramAllocator* allocator, const std::string& name,
    HistogramSamples::Metadata* meta, HistogramSamples::Metadata* logged_meta,
    bool read_only) {
  return std::unique_ptr<HistogramBase>(
      new SparseHistogram(allocator, name, meta, logged_meta, read_only));
}

SparseHistogram::SparseHistogram(const std::string& name)
    : HistogramBase(name, 0),
      unlogged_samples_(std::make_unique<SampleMap>(HashMetricName(name))),
      logged_samples_(
          std::make_unique<SampleMap>(unlogged_samples_->id() + 1)) {}

SparseHistogram::SparseHistogram(PersistentHistogramAllocator* allocator,
                                 const std::string& name,
                                 HistogramSamples::Metadata* meta,
                                 HistogramSamples::Metadata* logged_meta,
                                 bool read_only)
    : HistogramBase(name, 0),
      // The reported set's records carry the id plus 1, so that the two
      // sets of one histogram never share a record.
      unlogged_samples_(std::make_unique<PersistentSampleMap>(
          HashMetricName(name), allocator, meta, read_only)),
      logged_samples_(std::make_unique<PersistentSampleMap>(
          unlogged_samples_->id() + 1, allocator, logged_meta, read_only)) {}

SparseHistogram::~SparseHistogram() = default;

uint64_t SparseHistogram::name_hash() const { return unlogged_samples_->id(); }

HistogramType SparseHistogram::GetHistogramType() const {
  return SPARSE_HISTOGRAM;
}

bool SparseHistogram::HasConstructionArguments(Sample, Sample, uint32_t) const {
  return false;
}

void SparseHistogram::AddCount(Sample value, int count) {
  if (count <= 0) return;
  {
    AutoLock hold(lock_);
    unlogged_samples_->Accumulate(value, count);
  }
  FindAndRunCallback(value);
}

void SparseHistogram::AddSamples(const HistogramSamples& samples) {
  AutoLock hold(lock_);
  unlogged_samples_->Add(samples);
}

bool SparseHistogram::AddSamplesFromPickle(PickleIterator* iter) {
  AutoLock hold(lock_);
  return unlogged_samples_->AddFromPickle(iter);
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotSamples() const {
  auto snapshot = std::make_unique<SampleMap>(name_hash());
  AutoLock hold(lock_);
  snapshot->Add(*unlogged_samples_);
  return snapshot;
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotDelta() {
  auto snapshot = std::make_unique<SampleMap>(name_hash());
  AutoLock hold(lock_);
  snapshot->Add(*unlogged_samples_);
  snapshot->Subtract(*logged_samples_);
  logged_samples_->Add(*snapshot);
  return snapshot;
}

std::unique_ptr<HistogramSamples> SparseHistogram::SnapshotFinalDelta() const {
  auto snapshot = std::make_unique<SampleMap>(name_hash());
  AutoLock hold(lock_);
  final_delta_created_ = true;
  snapshot->Add(*unlogged_samples_);
  snapshot->Subtract(*logged_samples_);
  return snapshot;
}

bool SparseHistogram::SerializeInfo(Pickle* pickle) const {
  pickle->WriteString(histogram_name());
  pickle->WriteInt(flags());
  return true;
}

void SparseHistogram::GetParameters(DictionaryValue* params) const {}

void SparseHistogram::GetCountAndBucketData(Count* count, int64_t* sum,
                                            ListValue* buckets) const {}

void SparseHistogram::WriteAsciiImpl(const std::string& newline,
                                     std::string* output) const {
  std::unique_ptr<HistogramSamples> snapshot = SnapshotSamples();
  const char* format = (flags() & kHexRangesFlag) ? "%#x" : "%d";
  struct Line {
    std::string label;
    Count count;
  };
  std::vector<Line> lines;
  int64_t total = 0;
  Count largest = 0;
  size_t print_width = 1;
  Sample value;
  Count count;
  for (std::unique_ptr<SampleCountIterator> it = snapshot->Iterator();
       !it->Done(); it->Next()) {
    it->Get(&value, nullptr, &count);
    lines.push_back({StringPrintf(format, value), count});
    total += count;
    largest = std::max(largest, count);
    print_width = std::max(print_width, lines.back().label.size() + 1);
  }
  WriteAsciiHeader(total, 0, false, output);
  output->append(newline);
  for (const Line& line : lines) {
    const size_t line_start = output->size();
    output->append(line.label);
    while (output->size() - line_start < print_width + 1)
      output->push_back(' ');
    int x_count = 0;
    if (largest > 0 && line.count > 0) {
      x_count = static_cast<int>(
          static_cast<double>(line.count) / largest * kLineLength + 0.5);
    }
    x_count = std::clamp(x_count, 0, kLineLength);
    output->append(static_cast<size_t>(x_count), '-');
    output->append("O");
    output->append(static_cast<size_t>(kLineLength - x_count), ' ');
    StringAppendF(
        output, " (%d = %3.1f%%)", line.count,
        total ? 100.0 * line.count / static_cast<double>(total) : 0.0);
    output->append(newline);
  }
}

}  // namespace base
