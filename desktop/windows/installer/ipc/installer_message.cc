#include "desktop/windows/installer/ipc/installer_message.h"

#include <string.h>

#include "base/logging.h"

namespace installer {

namespace {

constexpr const char* kTypeNames[kInstallerMessageTypeCount] = {
    "IPC_MESSAGE_STARTING_NEW_MAIN_PROCESS",
    "IPC_MESSAGE_RETURNED_TO_PREVIOUS_MAIN_PROCESS",
    "IPC_MESSAGE_STARTED",
    "IPC_MESSAGE_TOTAL_STEPS",
    "IPC_MESSAGE_STEP",
    "IPC_MESSAGE_ERROR",
    "IPC_MESSAGE_SUCCESS",
};

// Header, signature length, signature with its padding, type.
constexpr size_t kFixedSize = 4 + 4 + 20 + 4;
// An ERROR adds the string id and the two string lengths.
constexpr size_t kErrorFixedSize = kFixedSize + 4 + 4 + 4;

size_t PaddedSize(size_t bytes) { return (bytes + 3) / 4 * 4; }

std::unique_ptr<base::Pickle> StartMessage(InstallerMessageType type) {
  auto message = std::make_unique<base::Pickle>();
  message->WriteString(kInstallerMessageSignature);
  message->WriteUInt32(type);
  return message;
}

// The longest prefix of |text| of at most |max_bytes| bytes that does not
// end inside a UTF-8 sequence.
size_t Utf8PrefixLength(const std::string& text, size_t max_bytes) {
  if (text.size() <= max_bytes) return text.size();
  size_t length = max_bytes;
  // A continuation byte at the cut belongs to the character before it.
  while (length > 0 &&
         (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
    --length;
  return length;
}

// The same for UTF-16: never keep a lead surrogate without its trail.
size_t Utf16PrefixLength(const std::u16string& text, size_t max_units) {
  if (text.size() <= max_units) return text.size();
  size_t length = max_units;
  if (length > 0 && text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF)
    --length;
  return length;
}

bool ReadError(base::PickleIterator* iter, InstallerMessage* out) {
  return iter->ReadUInt32(&out->string_id) && iter->ReadString16(&out->text) &&
         iter->ReadString(&out->detail);
}

// Reads the payload of |type|; true when it read completely.
bool ReadPayload(base::PickleIterator* iter, InstallerMessage* out) {
  switch (out->type) {
    case kMessageStartingNewMainProcess:
      return iter->ReadBool(&out->new_main_process_flag);
    case kMessageTotalSteps:
      return iter->ReadUInt32(&out->total_steps);
    case kMessageError:
      return ReadError(iter, out);
    case kMessageReturnedToPreviousMainProcess:
    case kMessageStarted:
    case kMessageStep:
    case kMessageSuccess:
      return true;
  }
  return false;
}

}  // namespace

const char* InstallerMessageTypeName(uint32_t type) {
  return type < kInstallerMessageTypeCount ? kTypeNames[type]
                                           : "IPC_MESSAGE_INVALID";
}

std::unique_ptr<base::Pickle> BuildInstallerMessage(InstallerMessageType type) {
  return StartMessage(type);
}

std::unique_ptr<base::Pickle> BuildStartingNewMainProcessMessage(bool value) {
  std::unique_ptr<base::Pickle> message =
      StartMessage(kMessageStartingNewMainProcess);
  message->WriteUInt32(value ? 1 : 0);
  return message;
}

std::unique_ptr<base::Pickle> BuildTotalStepsMessage(uint32_t count) {
  std::unique_ptr<base::Pickle> message = StartMessage(kMessageTotalSteps);
  message->WriteUInt32(count);
  return message;
}

std::unique_ptr<base::Pickle> BuildErrorMessage(uint32_t string_id,
                                                const std::u16string& text,
                                                const std::string& detail) {
  // Both string sizes are padded to 4, and so is the room left for them.
  constexpr size_t kRoom = kMaxInstallerMessageSize - kErrorFixedSize;
  size_t text_units = text.size();
  size_t detail_bytes = detail.size();
  if (PaddedSize(text_units * 2) + PaddedSize(detail_bytes) > kRoom) {
    const size_t text_size = PaddedSize(text_units * 2);
    if (text_size <= kRoom) {
      detail_bytes = Utf8PrefixLength(detail, kRoom - text_size);
    } else {
      detail_bytes = 0;
      text_units = Utf16PrefixLength(text, kRoom / 2);
    }
    LOG(WARNING) << "Shortening an error message of " << text.size()
                 << " text units and " << detail.size()
                 << " detail bytes to fit the mailslot";
  }
  std::unique_ptr<base::Pickle> message = StartMessage(kMessageError);
  message->WriteUInt32(string_id);
  message->WriteString16(base::StringPiece16(text.data(), text_units));
  message->WriteString(base::StringPiece(detail.data(), detail_bytes));
  return message;
}

bool CheckInstallerMessageFraming(const char* data, size_t size) {
  base::Pickle::Header header = {};
  if (size >= sizeof(header)) memcpy(&header, data, sizeof(header));
  // Every field is padded to 4 bytes, so a payload is too.
  if (size < sizeof(header) || size > kMaxInstallerMessageSize ||
      header.payload_size != size - sizeof(header) ||
      header.payload_size % 4 != 0) {
    LOG(WARNING) << "Received a message without installer signature";
    return false;
  }
  return true;
}

bool ParseInstallerMessage(const base::Pickle& message, InstallerMessage* out) {
  base::PickleIterator iter(message);
  std::string signature;
  if (!iter.ReadString(&signature) || signature != kInstallerMessageSignature) {
    LOG(WARNING) << "Received a message without installer signature";
    return false;
  }
  uint32_t type = 0;
  if (!iter.ReadUInt32(&type)) return false;
  if (type >= kInstallerMessageTypeCount) {
    LOG(WARNING) << "Received installer message with invalid type";
    return false;
  }
  InstallerMessage parsed;
  parsed.type = static_cast<InstallerMessageType>(type);
  if (!ReadPayload(&iter, &parsed) || !iter.ReachedEnd()) {
    LOG(ERROR) << "Received invalid " << InstallerMessageTypeName(type)
               << " message";
    return false;
  }
  *out = std::move(parsed);
  return true;
}

void NotifyInstallerMessage(const InstallerMessage& message,
                            base::ObserverList<InstallerObserver>* observers) {
  const char* name = InstallerMessageTypeName(message.type);
  switch (message.type) {
    case kMessageStartingNewMainProcess:
      VLOG(1) << name << "(" << message.new_main_process_flag << ") received";
      observers->Notify(&InstallerObserver::OnStartingNewMainProcess,
                        message.new_main_process_flag);
      return;
    case kMessageReturnedToPreviousMainProcess:
      VLOG(1) << name << " received";
      observers->Notify(&InstallerObserver::OnReturnedToPreviousMainProcess);
      return;
    case kMessageStarted:
      observers->Notify(&InstallerObserver::OnStarted);
      return;
    case kMessageTotalSteps:
      VLOG(1) << name << "(" << message.total_steps << ") received";
      observers->Notify(&InstallerObserver::OnTotalSteps, message.total_steps);
      return;
    case kMessageStep:
      VLOG(1) << name << " received";
      observers->Notify(&InstallerObserver::OnStep);
      return;
    case kMessageError:
      VLOG(1) << name << "(" << message.string_id << "," << message.text << ","
              << message.detail << ") received";
      observers->Notify(&InstallerObserver::OnError, message.string_id,
                        message.text, message.detail);
      return;
    case kMessageSuccess:
      VLOG(1) << name << " received";
      observers->Notify(&InstallerObserver::OnSuccess);
      return;
  }
}

}  // namespace installer
