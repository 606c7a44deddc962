// IpcSender: the backend's end of the installer mailslot. It opens the
// mailslot the front end created and writes installer messages to it, in
// the order they were sent, from its own "Installer IPC thread", so that the
// backend's main thread never blocks on the mailslot.
//
// Owner thread: construction, Connect(), Send() and destruction. The writer
// and its queue live on the IPC thread. Messages sent before the mailslot is
// open are written once it is; when it cannot be opened every message is
// dropped. Destruction writes what is still queued (waiting at most
// kCloseDrainTimeoutMs for a full mailslot to make room), then closes.

#ifndef DESKTOP_WINDOWS_INSTALLER_IPC_IPC_SENDER_H_
#define DESKTOP_WINDOWS_INSTALLER_IPC_IPC_SENDER_H_

#include <memory>
#include <string>

#include "base/pickle.h"
#include "base/threading/thread.h"

namespace installer {

class IpcSender {
 public:
  // How long closing waits for pending writes before it cancels them.
  static constexpr unsigned kCloseDrainTimeoutMs = 5000;

  IpcSender();
  IpcSender(const IpcSender&) = delete;
  IpcSender& operator=(const IpcSender&) = delete;
  ~IpcSender();

  // Starts the IPC thread and, there, opens "\\.\mailslot\" + |name| for
  // writing. False only when the thread cannot start; the mailslot is
  // opened afterwards, and a failure there is logged on the IPC thread.
  bool Connect(const std::u16string& name);

  // Queues |message| for writing (dropped when not connected). A message
  // larger than the mailslot's limit is dropped with an error line: it
  // could never be written, and it would hold up every message after it.
  void Send(std::unique_ptr<base::Pickle> message);

 private:
  class MailslotWriter;

  // IPC thread.
  void OpenWriter(const std::u16string& name);
  void QueueMessage(const std::shared_ptr<base::Pickle>& message);
  void CloseWriter();

  base::Thread thread_;
  // Created and destroyed on the IPC thread.
  std::unique_ptr<MailslotWriter> writer_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_IPC_IPC_SENDER_H_
