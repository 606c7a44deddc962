// The common face of every histogram: a named set of integer samples that the
// foundation and the runtime feed at a few fixed points (failures, sizes,
// timings). Callers get a histogram from a factory of the concrete kinds
// (histogram.h, sparse_histogram.h) and only ever add samples; nothing in the
// callers depends on what is recorded.
//
// Histograms are registered by name for the life of the process: a factory
// asked twice for one name returns the same object, and no caller ever owns
// or deletes one. Adding samples is safe from any thread.

#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>

namespace base {

// The kinds of histogram, by their type code.
enum HistogramType {
  HISTOGRAM = 0,
  LINEAR_HISTOGRAM = 1,
  BOOLEAN_HISTOGRAM = 2,
  CUSTOM_HISTOGRAM = 3,
  SPARSE_HISTOGRAM = 4,
};

class HistogramBase {
 public:
  using Sample = int32_t;
  using Count = int32_t;

  // The largest sample a bucketed histogram keeps is one below this.
  static constexpr Sample kSampleTypeMax = INT32_MAX;

  enum Flags : int32_t {
    kNoFlags = 0,
    // Meant for reporting.
    kUmaTargetedFlag = 0x1,
    // With kUmaTargetedFlag: a stability histogram.
    kUmaStabilityFlag = 0x3,
    kCallbackExistsFlag = 0x20,
    kPersistentFlag = 0x40,
    // Bucket boundaries print in hexadecimal.
    kHexRangesFlag = 0x8000,
  };

  HistogramBase(const HistogramBase&) = delete;
  HistogramBase& operator=(const HistogramBase&) = delete;
  virtual ~HistogramBase();

  const std::string& histogram_name() const { return name_; }
  int32_t flags() const { return flags_.load(std::memory_order_relaxed); }
  // Adds |flags| to the current ones.
  void SetFlags(int32_t flags);

  virtual HistogramType GetHistogramType() const = 0;
  // True when the histogram was built with this layout; a sparse histogram
  // has no layout and always answers false.
  virtual bool HasConstructionArguments(Sample minimum, Sample maximum,
                                        uint32_t bucket_count) const = 0;

  // Adds one sample of |value|.
  void Add(Sample value) { AddCount(value, 1); }
  // Adds |count| samples of |value|; a count below 1 changes nothing.
  virtual void AddCount(Sample value, int count) = 0;

 protected:
  HistogramBase(std::string name, int32_t flags);

  // The process-wide registry. Find returns the histogram registered under
  // |name| or null. Register adopts |histogram| unless one of that name is
  // registered already, in which case |histogram| is deleted; either way the
  // registered one is returned. Both are safe from any thread.
  static HistogramBase* Find(const std::string& name);
  static HistogramBase* Register(std::unique_ptr<HistogramBase> histogram);

 private:
  const std::string name_;
  std::atomic<int32_t> flags_;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_
