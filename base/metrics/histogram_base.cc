#include "base/metrics/histogram_base.h"

#include <utility>

#include "base/md5.h"
#include "base/metrics/statistics_recorder.h"
#include "base/strings/stringprintf.h"

namespace base {

const char* HistogramTypeToString(HistogramType type) {
  switch (type) {
    case HISTOGRAM:
      return "HISTOGRAM";
    case LINEAR_HISTOGRAM:
      return "LINEAR_HISTOGRAM";
    case BOOLEAN_HISTOGRAM:
      return "BOOLEAN_HISTOGRAM";
    case CUSTOM_HISTOGRAM:
      return "CUSTOM_HISTOGRAM";
    case SPARSE_HISTOGRAM:
      return "SPARSE_HISTOGRAM";
  }
  return "UNKNOWN";
}

uint64_t HashMetricName(const std::string& name) {
  MD5Context context;
  MD5Init(&context);
  MD5Update(&context, name);
  MD5Digest digest;
  MD5Final(&digest, &context);
  uint64_t hash = 0;
  for (int i = 0; i < 8; ++i) hash = (hash << 8) | digest.a[i];
  return hash;
}

HistogramBase::HistogramBase(std::string name, int32_t flags)
    : name_(std::move(name)), flags_(flags) {}

HistogramBase::~HistogramBase() = default;

void HistogramBase::SetFlags(int32_t flags) {
  flags_.fetch_or(flags, std::memory_order_relaxed);
}

void HistogramBase::ClearFlags(int32_t flags) {
  flags_.fetch_and(~flags, std::memory_order_relaxed);
}

void HistogramBase::Add(Sample value) { AddCount(value, 1); }

uint32_t HistogramBase::FindCorruption(const HistogramSamples& samples) const {
  return NO_INCONSISTENCIES;
}

void HistogramBase::FindAndRunCallback(Sample sample) const {
  if (!(flags() & kCallbackExistsFlag)) return;
  StatisticsRecorder::OnSampleCallback callback =
      StatisticsRecorder::FindCallback(histogram_name());
  if (!callback.is_null()) callback.Run(sample);
}

void HistogramBase::WriteHTMLGraph(std::string* output) const {
  output->append("<PRE>");
  WriteAsciiImpl("<br>", output);
  output->append("</PRE>");
}

void HistogramBase::WriteAscii(std::string* output) const {
  WriteAsciiImpl("\n", output);
}

void HistogramBase::WriteAsciiHeader(int64_t total_count, int64_t sum,
                                     bool with_average,
                                     std::string* output) const {
  StringAppendF(output, "Histogram: %s recorded %lld samples",
                histogram_name().c_str(), static_cast<long long>(total_count));
  if (with_average && total_count != 0) {
    StringAppendF(output, ", average = %.1f",
                  static_cast<double>(sum) / static_cast<double>(total_count));
  }
  if (int32_t shown = flags() & ~kHexRangesFlag)
    StringAppendF(output, " (flags = 0x%x)", static_cast<unsigned>(shown));
}

}  // namespace base
