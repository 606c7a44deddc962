// LzmaFileBackedAllocator: the LZMA SDK's main allocator for unpacking a
// package. The decoder keeps a whole solid block in one buffer; that buffer
// is placed in a memory-mapped temporary file in the unpack folder instead
// of the heap, so unpacking a large package needs little private memory.
//
// The temporary file (unique name, marked temporary, deleted on close) is
// made by the constructor; when it cannot be made, every allocation comes
// from the heap. One file-backed buffer lives at a time: an allocation
// asked for while it lives (the decoders' own working buffers) comes from
// the heap, and Free() tells the two apart by address. An allocation that
// cannot be file-backed (the file cannot be sized or mapped) falls back to
// the heap.
//
// Used by one thread at a time. The caller keeps the volume's free space in
// mind: sizing the file does not reserve disk space on every file system.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_FILE_BACKED_ALLOCATOR_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_FILE_BACKED_ALLOCATOR_WIN_H_

#include <stddef.h>

#include "7zTypes.h"
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

class LzmaFileBackedAllocator {
 public:
  explicit LzmaFileBackedAllocator(const base::FilePath& folder);
  LzmaFileBackedAllocator(const LzmaFileBackedAllocator&) = delete;
  LzmaFileBackedAllocator& operator=(const LzmaFileBackedAllocator&) = delete;
  // Unmaps a buffer still mapped and closes the file, which deletes it.
  // Heap buffers must have been freed.
  ~LzmaFileBackedAllocator();

  // The Alloc/Free pair for the SDK; valid while this object lives.
  const ISzAlloc* allocator() const { return &interface_.pair; }

  // The temporary file was made: allocations can be file-backed.
  bool is_file_backed() const { return file_.IsValid(); }
  const base::FilePath& temporary_file_path() const { return path_; }
  // The address of the live file-backed buffer, or null.
  const void* mapped_buffer() const { return view_; }

 private:
  struct Interface {
    ISzAlloc pair;
    LzmaFileBackedAllocator* owner;
  };

  static void* AllocThunk(ISzAllocPtr pair, size_t size);
  static void FreeThunk(ISzAllocPtr pair, void* address);
  void* Alloc(size_t size);
  void Free(void* address);
  void* MapFile(size_t size);

  Interface interface_;
  base::FilePath path_;
  base::win::ScopedHandle file_;
  base::win::ScopedHandle mapping_;
  void* view_ = nullptr;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_FILE_BACKED_ALLOCATOR_WIN_H_
