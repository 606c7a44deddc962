// What the parent and the children of the multi-process histogram test
// agree on: the histograms, their layouts, and the samples each side adds.

#ifndef BASE_METRICS_TEST_MULTIPROCESS_HISTOGRAMS_H_
#define BASE_METRICS_TEST_MULTIPROCESS_HISTOGRAMS_H_

#include <stddef.h>

#include <string>

namespace base {
namespace multiprocess_histograms {

inline constexpr size_t kSegmentSize = 1 << 20;
inline constexpr size_t kPageSize = 4096;
inline constexpr int kChildren = 4;
inline constexpr int kThreadsPerChild = 4;
inline constexpr int kAddsPerThread = 500;

inline constexpr char kExponential[] = "MultiProcess.Exponential";
inline constexpr int kExponentialMax = 1000;
inline constexpr int kExponentialBuckets = 30;
inline constexpr char kLinear[] = "MultiProcess.Linear";
inline constexpr int kLinearMax = 4;
inline constexpr int kLinearBuckets = 5;
inline constexpr char kSparse[] = "MultiProcess.Sparse";
// A sparse value whose record the parent makes before the children start.
inline constexpr int kSharedSparseValue = 7;

// Samples a child thread adds, by round.
inline int ExponentialSample(int round) { return round % 100; }
inline int LinearSample(int round) { return round % 4; }
// The sparse value only child |child| uses.
inline int OwnSparseValue(int child) { return 1000 + child; }
// The histogram a child thread makes of its own.
inline std::string OwnHistogramName(int child, int thread) {
  return "MultiProcess.Child" + std::to_string(child) + ".Thread" +
         std::to_string(thread);
}

}  // namespace multiprocess_histograms
}  // namespace base

#endif  // BASE_METRICS_TEST_MULTIPROCESS_HISTOGRAMS_H_
