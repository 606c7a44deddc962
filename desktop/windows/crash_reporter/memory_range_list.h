// MemoryRangeList: the memory ranges that a crash log dumps, kept sorted by
// start and disjoint; a range that overlaps or touches others is merged with
// them. It counts the bytes that all ranges cover together.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_LIST_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_LIST_H_

#include <stdint.h>

#include <map>
#include <vector>

namespace crash_reporter {

class MemoryRangeList {
 public:
  struct Range {
    uint64_t start;
    uint64_t end;  // exclusive
    bool operator==(const Range& other) const {
      return start == other.start && end == other.end;
    }
  };

  MemoryRangeList();
  MemoryRangeList(const MemoryRangeList&) = delete;
  MemoryRangeList& operator=(const MemoryRangeList&) = delete;
  ~MemoryRangeList();

  // Adds [start, end) and returns the number of bytes that no range covered
  // before. An empty range adds nothing.
  uint64_t Add(uint64_t start, uint64_t end);
  void Clear();

  // The bytes covered by all ranges.
  uint64_t total() const { return total_; }
  // The ranges in address order.
  std::vector<Range> ranges() const;

 private:
  // Start to end.
  std::map<uint64_t, uint64_t> ranges_;
  uint64_t total_ = 0;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_MEMORY_RANGE_LIST_H_
