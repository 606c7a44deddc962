// IpcReceiver: the front end's end of the installer mailslot. It creates the
// mailslot on its own "Installer IPC thread", reads every message there and
// hands each well-framed one (installer_message.h) to its delegate on the
// owner thread, in arrival order. Parsing the message is the delegate's.
//
// Reading: through the IPC thread's completion port where the system
// accepts the mailslot handle. Where it does not (Wine's mailslot handle is
// synchronous, and a blocking read there could never be released), the
// reader polls instead: a read time-out of 0 and, every kPollIntervalMs,
// every waiting message is read. A message longer than the mailslot's limit
// or badly framed is read whole and dropped; a failed read is logged and
// tried again. Only Close() ends reading.
//
// Owner thread: construction, Connect(), Close() and destruction; the
// delegate is called there too and is not owned. Messages not delivered
// before Close() are dropped.

#ifndef DESKTOP_WINDOWS_INSTALLER_IPC_IPC_RECEIVER_H_
#define DESKTOP_WINDOWS_INSTALLER_IPC_IPC_RECEIVER_H_

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/memory/weak_ptr.h"
#include "base/pickle.h"
#include "base/sequenced_task_runner.h"
#include "base/threading/thread.h"

namespace installer {

class IpcReceiver {
 public:
  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void OnMessageReceived(const base::Pickle& message) = 0;
  };

  static constexpr unsigned kPollIntervalMs = 10;

  explicit IpcReceiver(Delegate* delegate);
  IpcReceiver(const IpcReceiver&) = delete;
  IpcReceiver& operator=(const IpcReceiver&) = delete;
  ~IpcReceiver();

  // Starts the IPC thread and, there, creates "\\.\mailslot\" + |name|
  // (failure is logged there and leaves the channel silent). False only
  // when the thread cannot start.
  bool Connect(const std::u16string& name);

  // Reads every message waiting in the mailslot now (not at the next poll)
  // and hands it on, then runs |done| on the owner thread after those
  // messages: for a front end that must see everything a backend wrote
  // before it ended. |done| does not run once the receiver is closed.
  void Flush(const base::Closure& done);

  // Closes the mailslot, stops the IPC thread and drops every message not
  // yet delivered. Connect() may be called again afterwards.
  void Close();

 private:
  class MailslotReader;

  // IPC thread.
  // |receiver| was made on the owner thread, and is only tested there.
  void CreateReader(const std::u16string& name,
                    const base::WeakPtr<IpcReceiver>& receiver);
  void CloseReader();
  void FlushReader(const base::Closure& done,
                   const base::WeakPtr<IpcReceiver>& receiver);

  // Owner thread.
  void DeliverMessage(const std::shared_ptr<base::Pickle>& message);
  void RunFlushed(const base::Closure& done);

  base::Thread thread_;
  base::ScopedRefPtr<base::SequencedTaskRunner> owner_runner_;
  // Created and destroyed on the IPC thread.
  std::unique_ptr<MailslotReader> reader_;
  Delegate* const delegate_;
  base::WeakPtrFactory<IpcReceiver> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_IPC_IPC_RECEIVER_H_
