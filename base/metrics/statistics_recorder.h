// StatisticsRecorder: the process-wide registry that makes histograms
// unique by name and bucket layouts unique by content, and holds per-name
// sample callbacks.
//
// The recorder starts on the first histogram factory call and is never
// stopped: without it every factory call would build a new histogram that
// nothing frees. Registered histograms and layouts are never removed. Every
// operation also has a defined answer while the recorder is absent (before
// the first factory call, or hidden by a test): IsActive is false,
// registration hands its argument back unregistered, lookups find nothing.
//
// All tables sit behind one lock; thread-safe. Objects replaced by a
// registered duplicate are destroyed after the lock is released, and
// callbacks run outside it.

#ifndef BASE_METRICS_STATISTICS_RECORDER_H_
#define BASE_METRICS_STATISTICS_RECORDER_H_

#include <stddef.h>

#include <string>
#include <vector>

#include "base/callback.h"
#include "base/metrics/histogram_base.h"
#include "base/strings/string_piece.h"

namespace base {

class BucketRanges;

class StatisticsRecorder {
 public:
  using OnSampleCallback = Callback<void(HistogramBase::Sample)>;

  StatisticsRecorder() = delete;

  // Creates the lock and the tables unless they exist (or a test hides
  // them). The histogram factories call it.
  static void EnsureStarted();
  static bool IsActive();

  // The registered histogram named like |histogram|: |histogram| itself
  // when it is new (now registered), else the earlier one, and |histogram|
  // is deleted. Unregistered |histogram| while the recorder is absent.
  static HistogramBase* RegisterOrDeleteDuplicate(HistogramBase* histogram);
  // The same for bucket layouts, matched by content; takes ownership.
  static const BucketRanges* RegisterOrDeleteDuplicateRanges(
      const BucketRanges* ranges);

  // The histogram registered under |name|, or null.
  static HistogramBase* FindHistogram(StringPiece name);
  // Every registered histogram, in table order (shorter names first, then
  // byte order).
  static std::vector<HistogramBase*> GetHistograms();
  // Every registered layout.
  static std::vector<const BucketRanges*> GetBucketRanges();

  // Runs |callback| with each sample added to the histogram |name| (set
  // now or registered later); false when the recorder is absent or one is
  // set already.
  static bool SetCallback(const std::string& name,
                          const OnSampleCallback& callback);
  // Forgets the callback of |name|; its histogram stops calling.
  static void ClearCallback(const std::string& name);
  // A copy of the callback of |name|; null when there is none.
  static OnSampleCallback FindCallback(const std::string& name);

  // For tests: while alive, the recorder appears absent (its tables stay
  // intact and come back afterwards) and factories do not start it. Not
  // nestable; create and destroy on one thread with no other factory
  // user running.
  class ScopedHideForTesting {
   public:
    ScopedHideForTesting();
    ScopedHideForTesting(const ScopedHideForTesting&) = delete;
    ScopedHideForTesting& operator=(const ScopedHideForTesting&) = delete;
    ~ScopedHideForTesting();

   private:
    void* hidden_;
  };
};

}  // namespace base

#endif  // BASE_METRICS_STATISTICS_RECORDER_H_
