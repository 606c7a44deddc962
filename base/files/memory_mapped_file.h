// MemoryMappedFile: maps a whole file into memory for reading, or for
// reading and writing, and exposes the view's address and length.
//
// Empty files and files of 2 GiB or more are not mapped. Every failure leaves
// the object unmapped and ready for another Initialize; the system's last
// error tells why. Used by one thread at a time.

#ifndef BASE_FILES_MEMORY_MAPPED_FILE_H_
#define BASE_FILES_MEMORY_MAPPED_FILE_H_

#include <stddef.h>
#include <stdint.h>

#include "base/files/file.h"
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace base {

class MemoryMappedFile {
 public:
  enum Access {
    READ_ONLY = 0,
    READ_WRITE = 1,
  };

  MemoryMappedFile();
  MemoryMappedFile(const MemoryMappedFile&) = delete;
  MemoryMappedFile& operator=(const MemoryMappedFile&) = delete;
  // Unmaps the view and closes the mapping and the file.
  ~MemoryMappedFile();

  // Opens |path| (which must exist) and maps it whole. False when already
  // mapped (the mapping stays) or when opening or mapping fails.
  bool Initialize(const FilePath& path, Access access);

  // The view, null and 0 while nothing is mapped.
  const uint8_t* data() const { return data_; }
  uint8_t* data() { return data_; }
  size_t length() const { return length_; }
  bool IsValid() const { return data_ != nullptr; }

 private:
  bool MapFileRegionToMemory(Access access);
  void CloseHandles();

  File file_;
  uint8_t* data_ = nullptr;
  size_t length_ = 0;
  win::ScopedHandle file_mapping_;
};

}  // namespace base

#endif  // BASE_FILES_MEMORY_MAPPED_FILE_H_
