// Installer messages: the reports a backend sends its front end over the
// mailslot, one pickle each (base/pickle.h):
//
//   offset 0   payload size (the pickle header)
//   offset 4   19, then ":Installer message:" and one zero byte
//   offset 28  the type, 32-bit unsigned, 0 to 6
//   offset 32  the type's payload:
//     STARTING_NEW_MAIN_PROCESS  a Boolean as a 32-bit 0 or 1
//     TOTAL_STEPS                the 32-bit step count
//     ERROR                      32-bit string id, UTF-16 text, UTF-8 detail
//     others                     nothing
//
// One unit builds and parses them, for both ends. Everything a mailslot
// delivers is untrusted (any process can open it by name): a message is
// accepted only when its byte count is the header's, its signature and
// type are right and its payload reads completely with nothing left over.
// No message is longer than kMaxInstallerMessageSize, the mailslot's limit.
//
// Portable, no state; any thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_IPC_INSTALLER_MESSAGE_H_
#define DESKTOP_WINDOWS_INSTALLER_IPC_INSTALLER_MESSAGE_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "base/observer_list.h"
#include "base/pickle.h"
#include "desktop/windows/installer/common/installer_observer.h"

namespace installer {

inline constexpr char kInstallerMessageSignature[] = ":Installer message:";
// The thread on which each end reads or writes the mailslot.
inline constexpr char kInstallerIpcThreadName[] = "Installer IPC thread";
// The mailslot's largest message, and the reader's buffer.
inline constexpr size_t kMaxInstallerMessageSize = 2048;
// The mailslot of an install folder is this prefix and the folder, as the
// folder's Status holds it; both ends open it as kMailslotPathPrefix + name.
inline constexpr char16_t kInstallerMailslotNamePrefix[] = u"velna_installer\\";
inline constexpr char16_t kMailslotPathPrefix[] = u"\\\\.\\mailslot\\";

enum InstallerMessageType : uint32_t {
  kMessageStartingNewMainProcess = 0,
  kMessageReturnedToPreviousMainProcess = 1,
  kMessageStarted = 2,
  kMessageTotalSteps = 3,
  kMessageStep = 4,
  kMessageError = 5,
  kMessageSuccess = 6,
};
inline constexpr uint32_t kInstallerMessageTypeCount = 7;

// A parsed message: the type and the fields its payload carries.
struct InstallerMessage {
  InstallerMessageType type = kMessageStep;
  bool new_main_process_flag = false;  // STARTING_NEW_MAIN_PROCESS
  uint32_t total_steps = 0;            // TOTAL_STEPS
  uint32_t string_id = 0;              // ERROR
  std::u16string text;                 // ERROR
  std::string detail;                  // ERROR

  bool operator==(const InstallerMessage& other) const = default;
};

// "IPC_MESSAGE_STEP" and so on, as the logs write them; "IPC_MESSAGE_INVALID"
// outside 0 to 6.
const char* InstallerMessageTypeName(uint32_t type);

// A message without payload (types 1, 2, 4 and 6).
std::unique_ptr<base::Pickle> BuildInstallerMessage(InstallerMessageType type);
std::unique_ptr<base::Pickle> BuildStartingNewMainProcessMessage(bool value);
std::unique_ptr<base::Pickle> BuildTotalStepsMessage(uint32_t count);
// Fits kMaxInstallerMessageSize: a detail too long for it is shortened at a
// UTF-8 character boundary, and when even an empty detail is too much, the
// text at a UTF-16 character boundary.
std::unique_ptr<base::Pickle> BuildErrorMessage(uint32_t string_id,
                                                const std::u16string& text,
                                                const std::string& detail);

// Whether |size| bytes received from the mailslot frame one message: at
// least the header, at most kMaxInstallerMessageSize, and exactly the header
// plus the payload size it states, a multiple of 4. Logs the front end's
// warning "Received a message without installer signature" when not.
bool CheckInstallerMessageFraming(const char* data, size_t size);

// Reads |message| into |*out|. False, with the front end's log line, when
// it is to be dropped: no signature (warning), no type (nothing logged), a
// type outside 0 to 6 (warning), or a payload that does not read completely
// or leaves bytes over (error "Received invalid IPC_MESSAGE_... message").
bool ParseInstallerMessage(const base::Pickle& message, InstallerMessage* out);

// Logs "IPC_MESSAGE_... received" (verbose 1; nothing for STARTED) and
// makes the matching call on every observer, in list order.
void NotifyInstallerMessage(const InstallerMessage& message,
                            base::ObserverList<InstallerObserver>* observers);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_IPC_INSTALLER_MESSAGE_H_
