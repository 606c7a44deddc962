// Allocation on the process heap with a size limit: the Windows-heap table of
// the allocator shim stands on these.

#ifndef BASE_ALLOCATOR_WINHEAP_STUBS_WIN_H_
#define BASE_ALLOCATOR_WINHEAP_STUBS_WIN_H_

#include <stddef.h>

namespace base {
namespace allocator {

// Requests of this many bytes or more fail: the largest signed 32-bit value
// less one 4,096-byte page.
inline constexpr size_t kMaxWindowsAllocation = 0x7FFFEFFF;

// Null when |size| is at the limit or above, else HeapAlloc on the process
// heap (null when that fails).
void* WinHeapMalloc(size_t size);
// A null |address| allocates; size 0 frees and returns null; a size at the
// limit or above, or a failing heap, returns null and leaves the old block
// as it was.
void* WinHeapRealloc(void* address, size_t size);
void WinHeapFree(void* address);

}  // namespace allocator
}  // namespace base

#endif  // BASE_ALLOCATOR_WINHEAP_STUBS_WIN_H_
