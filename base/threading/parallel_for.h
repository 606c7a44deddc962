// ParallelFor: runs one piece of work for each index of a range on a few
// threads, for file work whose cost is mostly waiting on the system per
// file (opening, creating, deleting), which another thread can overlap.
//
// The calling thread works too, and the call returns once every thread has
// stopped. Indices are handed out in increasing order, each exactly once;
// after a piece of work returns false no new index is handed out, so at
// most one piece per other thread still finishes. Pieces run concurrently:
// whatever they share must be safe for that.
//
// Any thread.

#ifndef BASE_THREADING_PARALLEL_FOR_H_
#define BASE_THREADING_PARALLEL_FOR_H_

#include <stddef.h>

#include <functional>

namespace base {

// Calls |work| for the indices 0 to |count| - 1 on up to |max_threads|
// threads, this one included (fewer when the system cannot start more, or
// there is less work). True when every index was worked and returned true.
bool ParallelFor(size_t count, size_t max_threads,
                 const std::function<bool(size_t)>& work);

}  // namespace base

#endif  // BASE_THREADING_PARALLEL_FOR_H_
