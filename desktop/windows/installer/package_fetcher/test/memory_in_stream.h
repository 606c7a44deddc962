// MemoryInStream: the LZMA SDK's seekable input stream over bytes in memory
// (not owned), for the fuzz target, the reader's tests and the benchmark.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_MEMORY_IN_STREAM_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_MEMORY_IN_STREAM_H_

#include <stddef.h>
#include <stdint.h>

#include "7zTypes.h"

namespace installer {
namespace test {

class MemoryInStream {
 public:
  MemoryInStream(const uint8_t* data, size_t size);
  MemoryInStream(const MemoryInStream&) = delete;
  MemoryInStream& operator=(const MemoryInStream&) = delete;

  const ISeekInStream* stream() const { return &interface_.stream; }

 private:
  struct Interface {
    ISeekInStream stream;
    MemoryInStream* owner;
  };
  static SRes Read(ISeekInStreamPtr stream, void* buffer, size_t* size);
  static SRes Seek(ISeekInStreamPtr stream, Int64* position, ESzSeek origin);

  Interface interface_;
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_MEMORY_IN_STREAM_H_
