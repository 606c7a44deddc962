#include "base/metrics/statistics_recorder.h"

#include <atomic>
#include <list>
#include <map>
#include <memory>

#include "base/logging.h"
#include "base/metrics/bucket_ranges.h"
#include "base/synchronization/lock.h"

namespace base {

namespace {

// Shorter names first: most comparisons cost one length test.
struct NameOrder {
  bool operator()(StringPiece a, StringPiece b) const {
    if (a.size() != b.size()) return a.size() < b.size();
    return a.compare(b) < 0;
  }
};

struct Recorder {
  Lock lock;
  // Keys view the registered histograms' own names.
  std::map<StringPiece, HistogramBase*, NameOrder> histograms;
  std::map<uint32_t, std::list<const BucketRanges*>> ranges;
  std::map<std::string, StatisticsRecorder::OnSampleCallback> callbacks;
};

// Null while absent. Never freed once made: histograms live to the end.
std::atomic<Recorder*> g_recorder{nullptr};
std::atomic<bool> g_hidden{false};

Recorder* Get() { return g_recorder.load(std::memory_order_acquire); }

}  // namespace

// static
void StatisticsRecorder::EnsureStarted() {
  if (Get() || g_hidden.load(std::memory_order_acquire)) return;
  auto* created = new Recorder;
  Recorder* expected = nullptr;
  if (!g_recorder.compare_exchange_strong(expected, created,
                                          std::memory_order_acq_rel)) {
    delete created;
  }
}

// static
bool StatisticsRecorder::IsActive() { return Get() != nullptr; }

// static
HistogramBase* StatisticsRecorder::RegisterOrDeleteDuplicate(
    HistogramBase* histogram) {
  Recorder* recorder = Get();
  if (!recorder) return histogram;
  std::unique_ptr<HistogramBase> duplicate;
  HistogramBase* result;
  {
    AutoLock hold(recorder->lock);
    auto found = recorder->histograms.find(histogram->histogram_name());
    if (found != recorder->histograms.end()) {
      result = found->second;
      if (result != histogram) duplicate.reset(histogram);
    } else {
      recorder->histograms.emplace(StringPiece(histogram->histogram_name()),
                                   histogram);
      auto callback = recorder->callbacks.find(histogram->histogram_name());
      if (callback != recorder->callbacks.end()) {
        if (!callback->second.is_null())
          histogram->SetFlags(HistogramBase::kCallbackExistsFlag);
        else
          histogram->ClearFlags(HistogramBase::kCallbackExistsFlag);
      }
      result = histogram;
    }
  }
  return result;
}

// static
const BucketRanges* StatisticsRecorder::RegisterOrDeleteDuplicateRanges(
    const BucketRanges* ranges) {
  Recorder* recorder = Get();
  if (!recorder) return ranges;
  std::unique_ptr<const BucketRanges> duplicate;
  const BucketRanges* result = ranges;
  {
    AutoLock hold(recorder->lock);
    std::list<const BucketRanges*>& list = recorder->ranges[ranges->checksum()];
    bool found = false;
    for (const BucketRanges* registered : list) {
      if (registered->Equals(ranges)) {
        result = registered;
        found = true;
        break;
      }
    }
    if (!found)
      list.push_back(ranges);
    else if (result != ranges)
      duplicate.reset(ranges);
  }
  return result;
}

// static
HistogramBase* StatisticsRecorder::FindHistogram(StringPiece name) {
  Recorder* recorder = Get();
  if (!recorder) return nullptr;
  AutoLock hold(recorder->lock);
  auto found = recorder->histograms.find(name);
  return found == recorder->histograms.end() ? nullptr : found->second;
}

// static
std::vector<HistogramBase*> StatisticsRecorder::GetHistograms() {
  std::vector<HistogramBase*> result;
  Recorder* recorder = Get();
  if (!recorder) return result;
  AutoLock hold(recorder->lock);
  for (const auto& entry : recorder->histograms) result.push_back(entry.second);
  return result;
}

// static
std::vector<const BucketRanges*> StatisticsRecorder::GetBucketRanges() {
  std::vector<const BucketRanges*> result;
  Recorder* recorder = Get();
  if (!recorder) return result;
  AutoLock hold(recorder->lock);
  for (const auto& entry : recorder->ranges)
    result.insert(result.end(), entry.second.begin(), entry.second.end());
  return result;
}

// static
bool StatisticsRecorder::SetCallback(const std::string& name,
                                     const OnSampleCallback& callback) {
  Recorder* recorder = Get();
  if (!recorder) return false;
  AutoLock hold(recorder->lock);
  auto found = recorder->callbacks.find(name);
  if (found != recorder->callbacks.end() && !found->second.is_null())
    return false;
  recorder->callbacks[name] = callback;
  auto histogram = recorder->histograms.find(name);
  if (histogram != recorder->histograms.end())
    histogram->second->SetFlags(HistogramBase::kCallbackExistsFlag);
  return true;
}

// static
void StatisticsRecorder::ClearCallback(const std::string& name) {
  Recorder* recorder = Get();
  if (!recorder) return;
  OnSampleCallback released;
  AutoLock hold(recorder->lock);
  auto found = recorder->callbacks.find(name);
  if (found != recorder->callbacks.end()) {
    released = found->second;
    found->second = OnSampleCallback();
  }
  auto histogram = recorder->histograms.find(name);
  if (histogram != recorder->histograms.end())
    histogram->second->ClearFlags(HistogramBase::kCallbackExistsFlag);
}

// static
StatisticsRecorder::OnSampleCallback StatisticsRecorder::FindCallback(
    const std::string& name) {
  Recorder* recorder = Get();
  if (!recorder) return OnSampleCallback();
  AutoLock hold(recorder->lock);
  auto found = recorder->callbacks.find(name);
  return found == recorder->callbacks.end() ? OnSampleCallback()
                                            : found->second;
}

StatisticsRecorder::ScopedHideForTesting::ScopedHideForTesting() {
  CHECK(!g_hidden.exchange(true, std::memory_order_acq_rel));
  hidden_ = g_recorder.exchange(nullptr, std::memory_order_acq_rel);
}

StatisticsRecorder::ScopedHideForTesting::~ScopedHideForTesting() {
  g_recorder.store(static_cast<Recorder*>(hidden_), std::memory_order_release);
  g_hidden.store(false, std::memory_order_release);
}

}  // namespace base
