#include "base/allocator/winheap_stubs_win.h"

#include <windows.h>

namespace base {
namespace allocator {

void* WinHeapMalloc(size_t size) {
  if (size >= kMaxWindowsAllocation) return nullptr;
  return HeapAlloc(GetProcessHeap(), 0, size);
}

void* WinHeapRealloc(void* address, size_t size) {
  if (!address) return WinHeapMalloc(size);
  if (size == 0) {
    WinHeapFree(address);
    return nullptr;
  }
  if (size >= kMaxWindowsAllocation) return nullptr;
  return HeapReAlloc(GetProcessHeap(), 0, address, size);
}

void WinHeapFree(void* address) {
  // operator delete passes null; keep that away from the heap.
  if (address) HeapFree(GetProcessHeap(), 0, address);
}

}  // namespace allocator
}  // namespace base
