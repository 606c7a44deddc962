// BucketRanges: the bucket boundaries of a histogram and their checksum.
// A layout of N buckets has N + 1 boundaries: boundary 0 is 0, boundary N
// is INT32_MAX, and bucket i holds the samples v with
// boundary(i) <= v < boundary(i + 1).
//
// Equal layouts are shared between histograms through the statistics
// recorder; a histogram never owns its ranges. Filled once, then read-only
// and safe to read from any thread.

#ifndef BASE_METRICS_BUCKET_RANGES_H_
#define BASE_METRICS_BUCKET_RANGES_H_

#include <stddef.h>
#include <stdint.h>

#include <vector>

namespace base {

class BucketRanges {
 public:
  using Value = int32_t;

  // |num_ranges| boundaries, all 0 until set.
  explicit BucketRanges(size_t num_ranges);
  BucketRanges(const BucketRanges&) = delete;
  BucketRanges& operator=(const BucketRanges&) = delete;
  ~BucketRanges();

  size_t size() const { return ranges_.size(); }
  Value range(size_t i) const { return ranges_[i]; }
  void set_range(size_t i, Value value) { ranges_[i] = value; }
  // Number of buckets: boundaries minus one.
  size_t bucket_count() const { return ranges_.empty() ? 0 : size() - 1; }

  uint32_t checksum() const { return checksum_; }
  void set_checksum(uint32_t checksum) { checksum_ = checksum; }
  // Computes the checksum of the current boundaries.
  uint32_t CalculateChecksum() const;
  void ResetChecksum() { checksum_ = CalculateChecksum(); }
  bool HasValidChecksum() const { return checksum_ == CalculateChecksum(); }

  // Same checksum, same number of boundaries, same boundaries.
  bool Equals(const BucketRanges* other) const;

 private:
  std::vector<Value> ranges_;
  uint32_t checksum_ = 0;
};

// The checksum of |count| boundaries: a CRC-32 over their little-endian
// bytes, seeded with the count and without the final inversion (0 for no
// boundaries).
uint32_t ChecksumOfRanges(const int32_t* ranges, size_t count);

}  // namespace base

#endif  // BASE_METRICS_BUCKET_RANGES_H_
