#include "base/pickle.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include <limits>

#include "base/logging.h"

namespace base {

namespace {

constexpr size_t kFieldAlignment = 4;
// Above this, the capacity doubles to whole pages minus a little, so that the
// allocator's own bookkeeping still fits in the last page.
constexpr size_t kPageSize = 4096;
constexpr size_t kPageSlack = 64;

constexpr size_t RoundUp(size_t value, size_t unit) {
  return (value + unit - 1) / unit * unit;
}

}  // namespace

// --- PickleIterator

PickleIterator::PickleIterator(const Pickle& pickle)
    : payload_(pickle.payload()), end_index_(pickle.payload_size()) {}

bool PickleIterator::GetReadPointerAndAdvance(size_t num_bytes,
                                              const char** data) {
  const size_t remaining = end_index_ - read_index_;
  if (num_bytes > remaining || !payload_) {
    read_index_ = end_index_;
    return false;
  }
  *data = payload_ + read_index_;
  const size_t step = RoundUp(num_bytes, kFieldAlignment);
  read_index_ = step > remaining ? end_index_ : read_index_ + step;
  return true;
}

template <typename T>
bool PickleIterator::ReadBuiltinType(T* result) {
  const char* data;
  if (!GetReadPointerAndAdvance(sizeof(T), &data)) return false;
  memcpy(result, data, sizeof(T));
  return true;
}

bool PickleIterator::ReadBool(bool* result) {
  const char* data;
  if (!GetReadPointerAndAdvance(1, &data)) return false;
  // The byte is stored as a bool, not reinterpreted: any non-zero is true.
  *result = *data != 0;
  return true;
}

bool PickleIterator::ReadInt(int* result) { return ReadBuiltinType(result); }

bool PickleIterator::ReadUInt32(uint32_t* result) {
  return ReadBuiltinType(result);
}

bool PickleIterator::ReadInt64(int64_t* result) {
  return ReadBuiltinType(result);
}

bool PickleIterator::ReadUInt64(uint64_t* result) {
  return ReadBuiltinType(result);
}

bool PickleIterator::ReadDouble(double* result) {
  return ReadBuiltinType(result);
}

bool PickleIterator::ReadString(std::string* result) {
  int length;
  if (!ReadInt(&length)) return false;
  const char* data;
  if (!ReadBytes(&data, length)) return false;
  result->assign(data, static_cast<size_t>(length));
  return true;
}

bool PickleIterator::ReadString16(std::u16string* result) {
  int length;
  if (!ReadInt(&length)) return false;
  const int64_t byte_count = static_cast<int64_t>(length) * 2;
  if (byte_count > std::numeric_limits<int32_t>::max() ||
      byte_count < std::numeric_limits<int32_t>::min()) {
    return false;
  }
  const char* data;
  if (!ReadBytes(&data, static_cast<int>(byte_count))) return false;
  std::u16string text(static_cast<size_t>(length), u'\0');
  // The units may sit at any address in borrowed bytes: copy, never cast.
  memcpy(text.data(), data, static_cast<size_t>(byte_count));
  result->swap(text);
  return true;
}

bool PickleIterator::ReadBytes(const char** data, int length) {
  if (length < 0) {
    read_index_ = end_index_;
    return false;
  }
  return GetReadPointerAndAdvance(static_cast<size_t>(length), data);
}

// --- Pickle

PickleAttachment::~PickleAttachment() = default;

Pickle::Pickle() : header_size_(sizeof(Header)) {
  Resize(kPayloadUnit);
  SetPayloadSize(0);
}

Pickle::Pickle(const char* data, size_t data_len)
    : buffer_(const_cast<char*>(data)),
      capacity_after_header_(kCapacityReadOnly) {
  if (data && data_len >= sizeof(Header)) {
    uint32_t stored_size;
    memcpy(&stored_size, data, sizeof(stored_size));
    // A stored size beyond the bytes received leaves no room for a header.
    header_size_ = stored_size <= data_len ? data_len - stored_size : 0;
  }
  if (header_size_ % kFieldAlignment != 0) header_size_ = 0;
  if (header_size_ == 0) buffer_ = nullptr;
}

Pickle::Pickle(const Pickle& other)
    : header_size_(other.buffer_ ? other.header_size_ : sizeof(Header)) {
  const size_t payload_size = other.payload_size();
  Resize(RoundUp(payload_size, kPayloadUnit));
  if (other.buffer_) {
    memcpy(buffer_, other.buffer_, header_size_ + payload_size);
  } else {
    SetPayloadSize(0);
  }
  write_offset_ = payload_size;
}

Pickle::~Pickle() {
  if (!IsReadOnly()) free(buffer_);
}

bool Pickle::WriteAttachment(std::shared_ptr<PickleAttachment> attachment) {
  return false;
}

bool Pickle::ReadAttachment(
    PickleIterator* iter, std::shared_ptr<PickleAttachment>* attachment) const {
  return false;
}

bool Pickle::HasAttachments() const { return false; }

size_t Pickle::payload_size() const {
  if (!buffer_) return 0;
  uint32_t stored_size;
  memcpy(&stored_size, buffer_, sizeof(stored_size));
  return stored_size;
}

void Pickle::SetPayloadSize(size_t payload_size) {
  const uint32_t stored_size = static_cast<uint32_t>(payload_size);
  memcpy(buffer_, &stored_size, sizeof(stored_size));
}

bool Pickle::WriteString(StringPiece value) {
  CHECK_LE(value.size(), static_cast<size_t>(INT_MAX));
  return WriteInt(static_cast<int>(value.size())) &&
         WriteBytes(value.data(), value.size());
}

bool Pickle::WriteString16(StringPiece16 value) {
  CHECK_LE(value.size(), static_cast<size_t>(INT_MAX / 2));
  return WriteInt(static_cast<int>(value.size())) &&
         WriteBytes(value.data(), value.size() * sizeof(char16_t));
}

bool Pickle::WriteBytes(const void* data, size_t length) {
  void* dest = ClaimBytes(length);
  if (length) memcpy(dest, data, length);
  return true;
}

void* Pickle::ClaimBytes(size_t num_bytes) {
  CHECK(!IsReadOnly());
  // The header stores the payload size in 32 bits.
  CHECK_LE(num_bytes, std::numeric_limits<uint32_t>::max() - write_offset_ -
                          kFieldAlignment);
  const size_t new_size = RoundUp(write_offset_ + num_bytes, kFieldAlignment);
  if (new_size > capacity_after_header_) {
    size_t new_capacity = 2 * capacity_after_header_;
    if (new_capacity > kPageSize)
      new_capacity = RoundUp(new_capacity, kPageSize) - kPageSlack;
    if (new_capacity < new_size) new_capacity = new_size;
    Resize(RoundUp(new_capacity, kPayloadUnit));
  }
  char* dest = buffer_ + header_size_ + write_offset_;
  memset(dest + num_bytes, 0, new_size - write_offset_ - num_bytes);
  SetPayloadSize(new_size);
  write_offset_ = new_size;
  return dest;
}

void Pickle::Resize(size_t new_capacity) {
  CHECK(!IsReadOnly());
  void* grown = realloc(buffer_, header_size_ + new_capacity);
  CHECK(grown) << "out of memory growing a pickle to " << new_capacity;
  buffer_ = static_cast<char*>(grown);
  capacity_after_header_ = new_capacity;
}

}  // namespace base
