// The allocator shim: every heap allocation of operator new and delete, and
// every caller of the Shim* functions, goes through one dispatch table, the
// head of a chain of tables. The table in force is the Windows-heap one
// (winheap_stubs_win.h); the chain exists so that another table could be
// placed in front of it, but the program installs none.
//
// The C runtime's malloc family is imported from the system's C runtime and
// is not replaced; code that wants the shim's rules calls the Shim* functions.

#ifndef BASE_ALLOCATOR_ALLOCATOR_SHIM_H_
#define BASE_ALLOCATOR_ALLOCATOR_SHIM_H_

#include <stddef.h>

namespace base {
namespace allocator {

// One table of allocation operations. Each takes the table it belongs to, so
// that a table can forward to |next|.
struct AllocatorDispatch {
  void* (*alloc_function)(const AllocatorDispatch* self, size_t size);
  void* (*alloc_zero_initialized_function)(const AllocatorDispatch* self,
                                           size_t count, size_t size);
  void* (*alloc_aligned_function)(const AllocatorDispatch* self,
                                  size_t alignment, size_t size);
  void* (*realloc_function)(const AllocatorDispatch* self, void* address,
                            size_t size);
  void (*free_function)(const AllocatorDispatch* self, void* address);
  // The following table in the chain; null at the end.
  const AllocatorDispatch* next;
};

// The head of the chain; fixed from start-up on, so no lock is needed.
const AllocatorDispatch* GetAllocatorDispatchChainHead();

// The C allocation functions of the shim: null on failure, never a retry and
// never the new handler.
void* ShimMalloc(size_t size);
void* ShimCalloc(size_t count, size_t size);
void* ShimRealloc(void* address, size_t size);
void ShimFree(void* address);
// The answer to the runtime's new-mode query: 0, malloc failures do not call
// the new handler.
int ShimGetNewMode();

}  // namespace allocator
}  // namespace base

#endif  // BASE_ALLOCATOR_ALLOCATOR_SHIM_H_
