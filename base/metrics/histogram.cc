#include "base/metrics/histogram.h"

#include <memory>
#include <utility>

namespace base {

Histogram::Histogram(std::string name, HistogramType type, Sample minimum,
                     Sample maximum, uint32_t bucket_count, int32_t flags)
    : HistogramBase(std::move(name), flags),
      type_(type),
      declared_min_(minimum),
      declared_max_(maximum),
      bucket_count_(bucket_count) {}

// static
HistogramBase* Histogram::FactoryGet(const std::string& name, Sample minimum,
                                     Sample maximum, uint32_t bucket_count,
                                     int32_t flags) {
  return FactoryGetOfType(HISTOGRAM, name, minimum, maximum, bucket_count,
                          flags);
}

// static
HistogramBase* Histogram::FactoryGetOfType(HistogramType type,
                                           const std::string& name,
                                           Sample minimum, Sample maximum,
                                           uint32_t bucket_count,
                                           int32_t flags) {
  if (minimum < 1) minimum = 1;
  if (maximum >= kSampleTypeMax) maximum = kSampleTypeMax - 1;
  if (bucket_count > kBucketCountMax) bucket_count = kBucketCountMax;

  HistogramBase* histogram = Find(name);
  if (!histogram) {
    std::unique_ptr<HistogramBase> created;
    if (type == LINEAR_HISTOGRAM) {
      created.reset(new LinearHistogram(name, type, minimum, maximum,
                                        bucket_count, flags));
    } else {
      created.reset(
          new Histogram(name, type, minimum, maximum, bucket_count, flags));
    }
    histogram = Register(std::move(created));
  }
  if (histogram->GetHistogramType() != type ||
      !histogram->HasConstructionArguments(minimum, maximum, bucket_count)) {
    return nullptr;
  }
  return histogram;
}

HistogramType Histogram::GetHistogramType() const { return type_; }

bool Histogram::HasConstructionArguments(Sample minimum, Sample maximum,
                                         uint32_t bucket_count) const {
  return minimum == declared_min_ && maximum == declared_max_ &&
         bucket_count == bucket_count_;
}

void Histogram::AddCount(Sample value, int count) {
  if (count < 1) return;
  if (value > kSampleTypeMax - 1) value = kSampleTypeMax - 1;
  if (value < 0) value = 0;
  // No sample store in this build: the clamped sample is dropped.
}

// static
HistogramBase* LinearHistogram::FactoryGet(const std::string& name,
                                           Sample minimum, Sample maximum,
                                           uint32_t bucket_count,
                                           int32_t flags) {
  return FactoryGetOfType(LINEAR_HISTOGRAM, name, minimum, maximum,
                          bucket_count, flags);
}

HistogramBase* GetShutdownDelayTimeHistogram() {
  static HistogramBase* const histogram =
      Histogram::FactoryGet("SequencedWorkerPool.ShutdownDelayTime", 1, 10000,
                            50, HistogramBase::kUmaTargetedFlag);
  return histogram;
}

}  // namespace base
