// A growable message of raw bytes: fields written one after the other and
// read back in the same order through a PickleIterator. The mailslot messages
// between the installer's processes are pickles.
//
// Layout (little-endian): a 4-byte header holding the payload size, then the
// payload. Every field starts at a multiple of 4 bytes from the payload start
// and is padded with zero bytes to the next multiple of 4. Strings are a
// signed 32-bit length (bytes, or UTF-16 units) followed by the characters
// without a terminator. Fields carry no tags: reader and writer agree on the
// order and the types.
//
// A Pickle is not thread-safe. A read-only pickle borrows bytes received from
// elsewhere; they must outlive it and every iterator over it.

#ifndef BASE_PICKLE_H_
#define BASE_PICKLE_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/strings/string_piece.h"

namespace base {

class Pickle;

// A read cursor over a pickle's payload. A read that would run past the end
// of the payload fails, leaves its out-parameter unchanged and moves the
// cursor to the end, so that every later read fails too. The pickle must
// outlive the iterator.
class PickleIterator {
 public:
  PickleIterator() = default;
  explicit PickleIterator(const Pickle& pickle);

  // Takes the first byte of a 4-byte slot: false only for a 0 byte.
  bool ReadBool(bool* result);
  bool ReadInt(int* result);
  bool ReadUInt32(uint32_t* result);
  bool ReadInt64(int64_t* result);
  bool ReadUInt64(uint64_t* result);
  bool ReadDouble(double* result);
  // A 32-bit length, then the bytes. Fails on a negative length or one that
  // runs past the end.
  bool ReadString(std::string* result);
  // A 32-bit count of UTF-16 units, then two bytes per unit. A count whose
  // byte size does not fit a signed 32-bit number fails without moving the
  // cursor further.
  bool ReadString16(std::u16string* result);
  // Points |*data| at the next |length| payload bytes (no copy) and skips
  // them with their padding. A negative length fails.
  bool ReadBytes(const char** data, int length);

  // True when no payload byte is left to read.
  bool ReachedEnd() const { return read_index_ == end_index_; }

 private:
  // Points |*data| at the next |num_bytes| and moves the cursor past them
  // and their padding; false (cursor at the end) when fewer bytes remain.
  bool GetReadPointerAndAdvance(size_t num_bytes, const char** data);
  template <typename T>
  bool ReadBuiltinType(T* result);

  const char* payload_ = nullptr;
  size_t read_index_ = 0;
  size_t end_index_ = 0;
};

// Something passed beside a pickle by a transport that supports it. No
// transport of this program does: attachments are always refused.
class PickleAttachment {
 public:
  virtual ~PickleAttachment();
};

class Pickle {
 public:
  // The fixed header of every pickle this program builds.
  struct Header {
    uint32_t payload_size;
  };

  // An empty writable pickle with room for 64 payload bytes.
  Pickle();
  // A read-only view over |data_len| bytes received from elsewhere; no copy
  // is made. A view whose header does not describe the bytes (the stored
  // payload size exceeds them, or leaves a header that is not a multiple of
  // 4) holds no data: every iterator over it is at its end at once.
  Pickle(const char* data, size_t data_len);
  // A writable copy of header and payload, also of a read-only view.
  Pickle(const Pickle& other);
  Pickle& operator=(const Pickle&) = delete;
  virtual ~Pickle();

  // Attachments are not supported: the attachment is released, false.
  virtual bool WriteAttachment(std::shared_ptr<PickleAttachment> attachment);
  virtual bool ReadAttachment(
      PickleIterator* iter,
      std::shared_ptr<PickleAttachment>* attachment) const;
  virtual bool HasAttachments() const;

  // Every write returns true; a buffer that cannot grow ends the process.
  bool WriteBool(bool value) { return WriteInt(value ? 1 : 0); }
  bool WriteInt(int value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteUInt32(uint32_t value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteInt64(int64_t value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteUInt64(uint64_t value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteDouble(double value) { return WriteBytes(&value, sizeof(value)); }
  bool WriteString(StringPiece value);
  bool WriteString16(StringPiece16 value);
  // Raw bytes, padded to 4.
  bool WriteBytes(const void* data, size_t length);

  // Reserves |num_bytes| at the end of the payload, zeroes the padding after
  // them, updates the header and returns where to write them. The pointer is
  // valid until the next write. Fatal on a read-only pickle.
  void* ClaimBytes(size_t num_bytes);

  // What a sender transmits: the header followed by the payload; null and
  // 0 for a view without data.
  const void* data() const { return buffer_; }
  size_t size() const { return buffer_ ? header_size_ + payload_size() : 0; }

  size_t header_size() const { return header_size_; }
  size_t payload_size() const;
  const char* payload() const {
    return buffer_ ? buffer_ + header_size_ : nullptr;
  }
  // Bytes of payload the buffer can hold before it grows; 0 for a view.
  size_t capacity_after_header() const {
    return IsReadOnly() ? 0 : capacity_after_header_;
  }

 private:
  static constexpr size_t kCapacityReadOnly = static_cast<size_t>(-1);
  static constexpr size_t kPayloadUnit = 64;

  bool IsReadOnly() const {
    return capacity_after_header_ == kCapacityReadOnly;
  }
  // Reallocates the buffer to hold |new_capacity| payload bytes.
  void Resize(size_t new_capacity);
  void SetPayloadSize(size_t payload_size);

  // Header then payload. Borrowed bytes may be unaligned, so the header is
  // only ever read and written with memcpy.
  char* buffer_ = nullptr;
  size_t header_size_ = 0;
  size_t capacity_after_header_ = 0;
  size_t write_offset_ = 0;
};

}  // namespace base

#endif  // BASE_PICKLE_H_
