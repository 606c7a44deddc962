#include "desktop/windows/installer/package_fetcher/test/memory_in_stream.h"

#include <string.h>

#include <algorithm>

namespace installer {
namespace test {

MemoryInStream::MemoryInStream(const uint8_t* data, size_t size)
    : data_(data), size_(size) {
  interface_.stream = {Read, Seek};
  interface_.owner = this;
}

// static
SRes MemoryInStream::Read(ISeekInStreamPtr stream, void* buffer, size_t* size) {
  MemoryInStream* self = reinterpret_cast<const Interface*>(stream)->owner;
  const size_t left =
      self->position_ < self->size_ ? self->size_ - self->position_ : 0;
  *size = std::min(*size, left);
  if (*size) memcpy(buffer, self->data_ + self->position_, *size);
  self->position_ += *size;
  return SZ_OK;
}

// static
SRes MemoryInStream::Seek(ISeekInStreamPtr stream, Int64* position,
                          ESzSeek origin) {
  MemoryInStream* self = reinterpret_cast<const Interface*>(stream)->owner;
  Int64 base;
  switch (origin) {
    case SZ_SEEK_SET:
      base = 0;
      break;
    case SZ_SEEK_CUR:
      base = static_cast<Int64>(self->position_);
      break;
    case SZ_SEEK_END:
      base = static_cast<Int64>(self->size_);
      break;
    default:
      return SZ_ERROR_PARAM;
  }
  // Positions beyond the end are allowed (reads there give nothing); before
  // the start they are not.
  if (*position < -base || *position > INT64_MAX - base) return SZ_ERROR_PARAM;
  self->position_ = static_cast<size_t>(base + *position);
  *position = static_cast<Int64>(self->position_);
  return SZ_OK;
}

}  // namespace test
}  // namespace installer
