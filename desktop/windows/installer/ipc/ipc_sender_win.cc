#include <windows.h>

#include <deque>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/message_loop/message_pump_win.h"
#include "base/strings/string_util_win.h"
#include "base/time/time.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_sender.h"

namespace installer {

// Writes the queued messages one at a time, each with one overlapped
// WriteFile whose completion arrives through the IPC thread's completion
// port. Lives on the IPC thread; it outlives its pending write, so the one
// IO context it owns outlives the system's use of it.
class IpcSender::MailslotWriter : public base::IOHandler {
 public:
  explicit MailslotWriter(base::win::ScopedHandle handle)
      : handle_(std::move(handle)) {}
  ~MailslotWriter() override;

  // False when the IO loop refuses the handle.
  bool Register() {
    return base::MessageLoop::current()->RegisterIOHandler(handle_.Get(), this);
  }

  void Queue(const std::shared_ptr<base::Pickle>& message) {
    queue_.push_back(message);
    if (!write_pending_) WriteHead();
  }

  // base::IOHandler:
  void HandleIoCompletion(base::IOContext* context, DWORD bytes_transferred,
                          DWORD error) override;

 private:
  void WriteHead();

  base::win::ScopedHandle handle_;
  std::deque<std::shared_ptr<base::Pickle>> queue_;
  // In use by the system while a write is pending.
  base::IOContext context_ = {};
  bool write_pending_ = false;
};

IpcSender::MailslotWriter::~MailslotWriter() {
  VLOG(1) << "Closing mailslot.";
  // A full mailslot holds the last messages (the outcome among them) until
  // the reader drains it: give it that time before cancelling.
  const base::TimeTicks deadline =
      base::TimeTicks::Now() +
      base::TimeDelta::FromMilliseconds(kCloseDrainTimeoutMs);
  while (write_pending_) {
    const int64_t left = (deadline - base::TimeTicks::Now()).InMilliseconds();
    if (left <= 0) break;
    base::MessageLoop::current()->WaitForIOCompletion(
        static_cast<uint32_t>(left), this);
  }
  if (write_pending_) {
    VLOG(1) << "I/O still pending on mailslot.";
    CancelIo(handle_.Get());
  }
  handle_.Close();
  while (write_pending_)
    base::MessageLoop::current()->WaitForIOCompletion(INFINITE, this);
  VLOG(1) << "Messages unsent: " << queue_.size();
}

void IpcSender::MailslotWriter::WriteHead() {
  if (!handle_.IsValid() || queue_.empty()) return;
  const base::Pickle& message = *queue_.front();
  context_ = base::IOContext{};
  if (!WriteFile(handle_.Get(), message.data(),
                 static_cast<DWORD>(message.size()), nullptr,
                 &context_.overlapped) &&
      GetLastError() != ERROR_IO_PENDING) {
    PLOG(ERROR) << "Cannot write to mailslot";
    // The message stays at the head: the next one queued tries again.
    return;
  }
  // Done or not, the completion comes through the port.
  write_pending_ = true;
}

void IpcSender::MailslotWriter::HandleIoCompletion(base::IOContext* context,
                                                   DWORD bytes_transferred,
                                                   DWORD error) {
  CHECK_EQ(context, &context_);
  write_pending_ = false;
  if (error) VLOG(1) << "Mailslot write ended with error " << error;
  if (!queue_.empty()) queue_.pop_front();
  WriteHead();
}

IpcSender::IpcSender() : thread_(kInstallerIpcThreadName) {}

IpcSender::~IpcSender() {
  VLOG(1) << "Stopping RPC sender";
  if (thread_.task_runner()) {
    thread_.task_runner()->PostTask(
        base::Location("Close", __FILE__, __LINE__, nullptr),
        base::Bind(&IpcSender::CloseWriter, this));
  }
  // Runs every task already posted (the sends, then the close) first.
  thread_.Stop();
}

bool IpcSender::Connect(const std::u16string& name) {
  VLOG(1) << "Preparing to send IPC on " << name;
  base::Thread::Options options;
  options.message_loop_type = base::MessageLoop::TYPE_IO;
  if (!thread_.StartWithOptions(options)) {
    LOG(ERROR) << "Could not start IPC thread";
    return false;
  }
  thread_.task_runner()->PostTask(
      base::Location("Connect", __FILE__, __LINE__, nullptr),
      base::Bind(&IpcSender::OpenWriter, this, name));
  return true;
}

void IpcSender::Send(std::unique_ptr<base::Pickle> message) {
  if (message->size() > kMaxInstallerMessageSize) {
    LOG(ERROR) << "Dropping an installer message of " << message->size()
               << " bytes: the mailslot takes at most "
               << kMaxInstallerMessageSize;
    return;
  }
  if (!thread_.task_runner()) return;
  thread_.task_runner()->PostTask(
      base::Location("Send", __FILE__, __LINE__, nullptr),
      base::Bind(&IpcSender::QueueMessage, this,
                 std::shared_ptr<base::Pickle>(std::move(message))));
}

void IpcSender::OpenWriter(const std::u16string& name) {
  const std::u16string path = kMailslotPathPrefix + name;
  VLOG(1) << "Opening mailslot " << path;
  base::win::ScopedHandle handle(
      CreateFileW(base::as_wcstr(path), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.IsValid()) {
    PLOG(ERROR) << "Failed opening " << path;
    return;
  }
  auto writer = std::make_unique<MailslotWriter>(std::move(handle));
  if (!writer->Register()) {
    LOG(ERROR) << "Cannot watch the mailslot " << path;
    return;
  }
  writer_ = std::move(writer);
}

void IpcSender::QueueMessage(const std::shared_ptr<base::Pickle>& message) {
  if (writer_) writer_->Queue(message);
}

void IpcSender::CloseWriter() { writer_.reset(); }

}  // namespace installer
