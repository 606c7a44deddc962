// The common face of every histogram: a named set of integer samples that the
// foundation and the runtime feed at a few fixed points (failures, sizes,
// timings). Callers get a histogram from a factory of the concrete kinds
// (histogram.h, sparse_histogram.h) and mostly just add samples; the rest of
// the interface reads the counts back: snapshots, the difference since the
// last report, a corruption check, text and value-tree descriptions, and the
// construction parameters as a pickle.
//
// Factories register histograms by name with the statistics recorder for
// the life of the process: a factory asked twice for one name returns the
// same object, and no caller ever owns or deletes one. Adding samples is
// safe from any thread.

#ifndef BASE_METRICS_HISTOGRAM_BASE_H_
#define BASE_METRICS_HISTOGRAM_BASE_H_

#include <stdint.h>

#include <atomic>
#include <memory>
#include <string>

namespace base {

class DictionaryValue;
class HistogramSamples;
class ListValue;
class Pickle;
class PickleIterator;

// The kinds of histogram, by their type code.
enum HistogramType : int32_t {
  HISTOGRAM = 0,
  LINEAR_HISTOGRAM = 1,
  BOOLEAN_HISTOGRAM = 2,
  CUSTOM_HISTOGRAM = 3,
  SPARSE_HISTOGRAM = 4,
};

// "HISTOGRAM", "LINEAR_HISTOGRAM", ...; "UNKNOWN" for any other code.
const char* HistogramTypeToString(HistogramType type);

// The histogram's id: the first 8 bytes of the MD5 digest of |name|, read
// as a big-endian number.
uint64_t HashMetricName(const std::string& name);

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
    // The statistics recorder holds a sample callback for the name.
    kCallbackExistsFlag = 0x20,
    // The counts live in a persistent segment.
    kPersistentFlag = 0x40,
    // Bucket boundaries print in hexadecimal.
    kHexRangesFlag = 0x8000,
  };

  // Bits of FindCorruption.
  enum Inconsistency : uint32_t {
    NO_INCONSISTENCIES = 0x0,
    RANGE_CHECKSUM_ERROR = 0x1,
    BUCKET_ORDER_ERROR = 0x2,
    COUNT_HIGH_ERROR = 0x4,
    COUNT_LOW_ERROR = 0x8,
  };

  HistogramBase(const HistogramBase&) = delete;
  HistogramBase& operator=(const HistogramBase&) = delete;
  virtual ~HistogramBase();

  const std::string& histogram_name() const { return name_; }
  int32_t flags() const { return flags_.load(std::memory_order_relaxed); }
  // Adds |flags| to the current ones; ClearFlags takes them away.
  void SetFlags(int32_t flags);
  void ClearFlags(int32_t flags);

  // The id of the histogram's sample sets.
  virtual uint64_t name_hash() const = 0;
  virtual HistogramType GetHistogramType() const = 0;
  // True when the histogram was built with this layout; a sparse histogram
  // has no layout and always answers false.
  virtual bool HasConstructionArguments(Sample minimum, Sample maximum,
                                        uint32_t bucket_count) const = 0;

  // Adds one sample of |value|.
  virtual void Add(Sample value);
  // Adds |count| samples of |value|; a count below 1 changes nothing.
  virtual void AddCount(Sample value, int count) = 0;
  // Adds the counts of |samples| (of the same layout).
  virtual void AddSamples(const HistogramSamples& samples) = 0;
  // Adds the counts of a serialised sample set; false when it does not fit.
  virtual bool AddSamplesFromPickle(PickleIterator* iter) = 0;

  // Inconsistency bits of |samples| taken from this histogram.
  virtual uint32_t FindCorruption(const HistogramSamples& samples) const;

  // A copy of the samples not yet reported.
  virtual std::unique_ptr<HistogramSamples> SnapshotSamples() const = 0;
  // The samples added since the last delta; the next delta starts here.
  virtual std::unique_ptr<HistogramSamples> SnapshotDelta() = 0;
  // The samples added since the last delta, without moving the mark; for
  // the last report before the process ends.
  virtual std::unique_ptr<HistogramSamples> SnapshotFinalDelta() const = 0;

  // The graph of the counts between <PRE> and </PRE>, lines ended by <br>.
  void WriteHTMLGraph(std::string* output) const;
  // The graph with "\n" line ends.
  void WriteAscii(std::string* output) const;

  // The construction parameters: name, flags and the layout. Always true.
  virtual bool SerializeInfo(Pickle* pickle) const = 0;

  // "type", "min", "max", "bucket_count"; nothing for a sparse histogram.
  virtual void GetParameters(DictionaryValue* params) const = 0;
  // Total count, sum, and one {"low", "high", "count"} per non-empty
  // bucket; nothing for a sparse histogram.
  virtual void GetCountAndBucketData(Count* count, int64_t* sum,
                                     ListValue* buckets) const = 0;

 protected:
  HistogramBase(std::string name, int32_t flags);

  // Runs the recorder's callback for the name when the flag says one
  // exists.
  void FindAndRunCallback(Sample sample) const;
  // The header line of a graph: name, count and, for bucketed kinds, the
  // average.
  void WriteAsciiHeader(int64_t total_count, int64_t sum, bool with_average,
                        std::string* output) const;
  // The graph with |newline| ending each line.
  virtual void WriteAsciiImpl(const std::string& newline,
                              std::string* output) const = 0;

 private:
  const std::string name_;
  std::atomic<int32_t> flags_;
};

}  // namespace base

#endif  // BASE_METRICS_HISTOGRAM_BASE_H_
