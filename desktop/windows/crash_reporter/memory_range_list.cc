#include "desktop/windows/crash_reporter/memory_range_list.h"

#include <algorithm>
#include <iterator>

namespace crash_reporter {

MemoryRangeList::MemoryRangeList() = default;

MemoryRangeList::~MemoryRangeList() = default;

uint64_t MemoryRangeList::Add(uint64_t start, uint64_t end) {
  if (start >= end) return 0;
  // The first range that overlaps or touches [start, end): the one before
  // the first range starting after |start|, when it reaches |start|.
  auto first = ranges_.upper_bound(start);
  if (first != ranges_.begin() && std::prev(first)->second >= start) --first;

  uint64_t merged_start = start;
  uint64_t merged_end = end;
  uint64_t covered_before = 0;
  auto last = first;
  for (; last != ranges_.end() && last->first <= end; ++last) {
    merged_start = std::min(merged_start, last->first);
    merged_end = std::max(merged_end, last->second);
    covered_before += last->second - last->first;
  }
  ranges_.erase(first, last);
  ranges_.emplace(merged_start, merged_end);
  const uint64_t added = (merged_end - merged_start) - covered_before;
  total_ += added;
  return added;
}

void MemoryRangeList::Clear() {
  ranges_.clear();
  total_ = 0;
}

std::vector<MemoryRangeList::Range> MemoryRangeList::ranges() const {
  std::vector<Range> result;
  result.reserve(ranges_.size());
  for (const auto& [start, end] : ranges_) result.push_back({start, end});
  return result;
}

}  // namespace crash_reporter
