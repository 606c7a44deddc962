#include "base/metrics/bucket_ranges.h"

#include <array>

namespace base {

namespace {

// The standard table of the reflected CRC-32 polynomial 0xEDB88320.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit)
      value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
    table[i] = value;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t ChecksumOfRanges(const int32_t* ranges, size_t count) {
  if (count == 0) return 0;
  uint32_t checksum = static_cast<uint32_t>(count);
  for (size_t i = 0; i < count; ++i) {
    uint32_t value = static_cast<uint32_t>(ranges[i]);
    for (int byte = 0; byte < 4; ++byte) {
      checksum =
          kCrcTable[(checksum ^ (value & 0xFF)) & 0xFF] ^ (checksum >> 8);
      value >>= 8;
    }
  }
  return checksum;
}

BucketRanges::BucketRanges(size_t num_ranges) : ranges_(num_ranges, 0) {}

BucketRanges::~BucketRanges() = default;

uint32_t BucketRanges::CalculateChecksum() const {
  return ChecksumOfRanges(ranges_.data(), ranges_.size());
}

bool BucketRanges::Equals(const BucketRanges* other) const {
  return checksum_ == other->checksum_ && ranges_ == other->ranges_;
}

}  // namespace base
