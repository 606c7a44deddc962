#include <string.h>

#include <new>

#include "base/allocator/allocator_shim.h"
#include "base/allocator/winheap_stubs_win.h"

namespace base {
namespace allocator {

namespace {

void* WinHeapAllocFn(const AllocatorDispatch*, size_t size) {
  return WinHeapMalloc(size);
}

void* WinHeapAllocZeroInitializedFn(const AllocatorDispatch*, size_t count,
                                    size_t size) {
  const size_t total = count * size;
  if (size != 0 && total / size != count) return nullptr;
  void* block = WinHeapMalloc(total);
  if (block) memset(block, 0, total);
  return block;
}

// Nothing in the program asks for aligned blocks; one that does is a bug.
void* WinHeapAllocAlignedFn(const AllocatorDispatch*, size_t, size_t) {
  __builtin_trap();
}

void* WinHeapReallocFn(const AllocatorDispatch*, void* address, size_t size) {
  return WinHeapRealloc(address, size);
}

void WinHeapFreeFn(const AllocatorDispatch*, void* address) {
  WinHeapFree(address);
}

// Constant-initialised, so it is in force before any static constructor
// allocates.
constexpr AllocatorDispatch kWinHeapDispatch = {
    &WinHeapAllocFn,        &WinHeapAllocZeroInitializedFn,
    &WinHeapAllocAlignedFn, &WinHeapReallocFn,
    &WinHeapFreeFn,         nullptr,
};

const AllocatorDispatch* const g_chain_head = &kWinHeapDispatch;

// Ends the process through a trap that the crash client turns into a crash
// report. Nothing here may allocate: the heap has just failed. The size stays
// in a local that the dump shows.
[[noreturn]] __attribute__((noinline)) void OnNoMemory(size_t size) {
  volatile size_t failed_size = size;
  (void)failed_size;
  __builtin_trap();
}

void* NewOrDie(size_t size) {
  void* block = ShimMalloc(size);
  if (!block) OnNoMemory(size);
  return block;
}

}  // namespace

const AllocatorDispatch* GetAllocatorDispatchChainHead() {
  return g_chain_head;
}

void* ShimMalloc(size_t size) {
  return g_chain_head->alloc_function(g_chain_head, size);
}

void* ShimCalloc(size_t count, size_t size) {
  return g_chain_head->alloc_zero_initialized_function(g_chain_head, count,
                                                       size);
}

void* ShimRealloc(void* address, size_t size) {
  return g_chain_head->realloc_function(g_chain_head, address, size);
}

void ShimFree(void* address) {
  g_chain_head->free_function(g_chain_head, address);
}

int ShimGetNewMode() { return 0; }

}  // namespace allocator
}  // namespace base

// operator new and delete of the whole module. C++ forbids a null result
// from the throwing forms, so a failed allocation ends the process rather
// than returning null; the nothrow forms answer null as their callers
// expect. Aligned forms are left to the runtime.
using base::allocator::NewOrDie;
using base::allocator::ShimFree;
using base::allocator::ShimMalloc;

void* operator new(size_t size) { return NewOrDie(size); }
void* operator new[](size_t size) { return NewOrDie(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return ShimMalloc(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return ShimMalloc(size);
}
void operator delete(void* p) noexcept { ShimFree(p); }
void operator delete[](void* p) noexcept { ShimFree(p); }
void operator delete(void* p, size_t) noexcept { ShimFree(p); }
void operator delete[](void* p, size_t) noexcept { ShimFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { ShimFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { ShimFree(p); }
