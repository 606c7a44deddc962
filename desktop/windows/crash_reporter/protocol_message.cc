#include "desktop/windows/crash_reporter/protocol_message.h"

#include <string.h>

#include "desktop/windows/crash_reporter/crash_keys.h"

namespace crash_reporter {

namespace {

// Explicit little-endian fields, so that the codec means the same on any
// host that builds it.
class Writer {
 public:
  explicit Writer(uint8_t* out) : out_(out) {}
  void Put32(uint32_t value) { Put(value, 4); }
  void Put64(uint64_t value) { Put(value, 8); }

 private:
  void Put(uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
      *out_++ = static_cast<uint8_t>(value >> 8 * i);
  }
  uint8_t* out_;
};

class Reader {
 public:
  explicit Reader(const uint8_t* in) : in_(in) {}
  uint32_t Get32() { return static_cast<uint32_t>(Get(4)); }
  uint64_t Get64() { return Get(8); }

 private:
  uint64_t Get(int size) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) value |= uint64_t{*in_++} << 8 * i;
    return value;
  }
  const uint8_t* in_;
};

bool HasTag(const ProtocolMessage& message, MessageTag tag) {
  return message.tag == static_cast<uint32_t>(tag);
}

}  // namespace

ProtocolMessageBytes EncodeProtocolMessage(const ProtocolMessage& message) {
  ProtocolMessageBytes bytes;
  Writer writer(bytes.data());
  writer.Put32(message.tag);
  writer.Put32(message.id);
  writer.Put32(message.dump_type);
  writer.Put32(message.padding);
  writer.Put64(message.thread_id_address);
  writer.Put64(message.exception_pointers_address);
  writer.Put64(message.assertion_info_address);
  writer.Put64(message.custom_info_entries_address);
  writer.Put64(message.custom_info_count);
  writer.Put64(message.dump_request_handle);
  writer.Put64(message.dump_generated_handle);
  writer.Put64(message.server_alive_handle);
  return bytes;
}

bool DecodeProtocolMessage(const uint8_t* data, size_t size,
                           ProtocolMessage* message) {
  if (size != kProtocolMessageSize) return false;
  Reader reader(data);
  message->tag = reader.Get32();
  message->id = reader.Get32();
  message->dump_type = reader.Get32();
  message->padding = reader.Get32();
  message->thread_id_address = reader.Get64();
  message->exception_pointers_address = reader.Get64();
  message->assertion_info_address = reader.Get64();
  message->custom_info_entries_address = reader.Get64();
  message->custom_info_count = reader.Get64();
  message->dump_request_handle = reader.Get64();
  message->dump_generated_handle = reader.Get64();
  message->server_alive_handle = reader.Get64();
  return true;
}

RegistrationCheck CheckRegistrationRequest(const ProtocolMessage& message,
                                           uint32_t pipe_client_pid) {
  if (HasTag(message, MessageTag::kUploadRequest))
    return RegistrationCheck::kUploadRequest;
  if (!HasTag(message, MessageTag::kRegistrationRequest))
    return RegistrationCheck::kNotRegistration;
  if (message.id == 0 || message.thread_id_address == 0 ||
      message.exception_pointers_address == 0 ||
      message.assertion_info_address == 0) {
    return RegistrationCheck::kMissingField;
  }
  // Any process of the user can write to the pipe: only the process at the
  // other end may register, never one it names.
  if (message.id != pipe_client_pid) return RegistrationCheck::kForgedProcessId;
  return RegistrationCheck::kAccepted;
}

bool IsValidRegistrationResponse(const ProtocolMessage& message) {
  return HasTag(message, MessageTag::kRegistrationResponse) &&
         message.id != 0 && message.dump_request_handle != 0 &&
         message.dump_generated_handle != 0 && message.server_alive_handle != 0;
}

AssertionRecord MakeAssertionRecord(const char16_t* expression,
                                    const char16_t* function,
                                    const char16_t* file, uint32_t line,
                                    AssertionType type) {
  AssertionRecord record;
  memset(&record, 0, sizeof(record));
  const size_t max_length = kAssertionTextCapacity - 1;
  CopyTextPiece({expression, BoundedTextLength(expression, max_length)},
                record.expression, kAssertionTextCapacity);
  CopyTextPiece({function, BoundedTextLength(function, max_length)},
                record.function, kAssertionTextCapacity);
  CopyTextPiece({file, BoundedTextLength(file, max_length)}, record.file,
                kAssertionTextCapacity);
  record.line = line;
  record.type = static_cast<uint32_t>(type);
  return record;
}

}  // namespace crash_reporter
