// Reads a received pickle with a sequence of field reads chosen by the
// input. Byte 0 holds how many of the following bytes are read operations;
// the rest is the message, placed in an exactly sized buffer so that the
// sanitizers catch any read past it.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

#include "base/pickle.h"

namespace {

constexpr int kMaxReads = 64;

// Runs one read; false when it failed. |consumed| is set when it asked for
// at least one byte, so a success proves that a byte was left.
bool RunRead(base::PickleIterator* iter, uint8_t op, size_t payload_size,
             bool* consumed) {
  *consumed = true;
  switch (op % 10) {
    case 0: {
      bool v;
      return iter->ReadBool(&v);
    }
    case 1: {
      int v;
      return iter->ReadInt(&v);
    }
    case 2: {
      uint32_t v;
      return iter->ReadUInt32(&v);
    }
    case 3: {
      int64_t v;
      return iter->ReadInt64(&v);
    }
    case 4: {
      uint64_t v;
      return iter->ReadUInt64(&v);
    }
    case 5: {
      double v;
      return iter->ReadDouble(&v);
    }
    case 6: {
      std::string v;
      const bool ok = iter->ReadString(&v);
      if (ok && v.size() > payload_size) abort();
      return ok;
    }
    case 7: {
      std::u16string v;
      const bool ok = iter->ReadString16(&v);
      if (ok && v.size() * 2 > payload_size) abort();
      return ok;
    }
    default: {
      const char* data = nullptr;
      const int length = op / 10 - 3;  // -3 to 22, including the negative
      *consumed = length != 0;
      const bool ok = iter->ReadBytes(&data, length);
      // Touch every byte handed out, so an overrun shows.
      volatile char sink = 0;
      for (int i = 0; ok && i < length; ++i) sink = sink + data[i];
      return ok;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t op_count = data[0] % 16;
  if (op_count > size - 1) op_count = size - 1;
  const uint8_t* ops = data + 1;
  const size_t message_size = size - 1 - op_count;
  std::unique_ptr<char[]> message(new char[message_size]);
  if (message_size) memcpy(message.get(), ops + op_count, message_size);

  base::Pickle view(message.get(), message_size);
  if (view.size() > message_size) abort();
  base::PickleIterator iter(view);
  for (int i = 0; op_count && i < kMaxReads; ++i) {
    const bool at_end = iter.ReachedEnd();
    bool consumed = false;
    const bool ok =
        RunRead(&iter, ops[i % op_count], view.payload_size(), &consumed);
    // Once the cursor is at the end, nothing more can be read.
    if (at_end && consumed && ok) abort();
  }

  // A writable copy holds the same bytes and keeps growing correctly.
  base::Pickle copy(view);
  if (view.data() && (copy.size() != view.size() ||
                      memcmp(copy.data(), view.data(), view.size()) != 0)) {
    abort();
  }
  copy.WriteString("tail");
  const size_t with_length = (view.payload_size() + 4 + 3) / 4 * 4;
  if (copy.payload_size() != with_length + 4) abort();
  return 0;
}
