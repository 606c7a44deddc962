// WinInetDownloader: the installer's one HTTP(S) client. It performs one
// transfer at a time over WinINet in asynchronous mode (a GET, or a POST
// when a body is given), hands the response body to a ResponseWriter,
// reports the transfer's events to a DownloadObserver and its byte progress
// to a listener, and runs a completion callback once at the end.
//
// URLs: a host of at most 255 and a path (with its query) of at most 4,095
// characters. Hosts: only hosts matching the allowed suffixes
// (IsHostAllowed), also for every redirect, which the downloader follows
// itself (at most 10 hops; 301, 302 and 303 turn into a GET, 307 and 308
// keep the verb and body; never from https to http).
//
// Size: the body may not grow beyond what the reply declared
// (Content-Length, or the total of a Content-Range), nor beyond the owner's
// maximum (set_max_size); either fails the transfer. Counts are 64-bit.
//
// Recovery: an interrupted body (a short stream, a lost connection) is
// resumed with "Range: bytes=<kept>-". Server errors (502 to 504),
// connectivity errors and resumes whose body brought less than
// kMinResumeProgress bytes since the last uncounted one are retried after a
// delay (6 s) and counted; past the maximum retry count (600 unless the
// owner lowers it) the transfer fails. So a server that sends a few bytes
// per connection cannot keep a transfer going for ever. Resumes are logged
// at most once a second, with how many went unlogged. An owner may have a
// server name that does not resolve fail at once instead
// (set_retry_unresolved_name). A response that does not continue where the kept
// bytes end (a 200 to a Range request, a 206 from another offset) makes the
// writer Rewind and the body start over. A proxy's 407 asks the
// UICallbackRunner for the credentials dialog.
//
// Threads: create, use and destroy the downloader on one thread that runs a
// message loop. WinINet's callback threads only post to that thread, so the
// writer, the observer and the completion run there too. Buffers that
// WinINet may still fill after a transfer was abandoned live until WinINet
// lets go of their handles, never in the downloader itself, so Stop and the
// destructor return at once.

#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_WININET_DOWNLOADER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_WININET_DOWNLOADER_H_

#include <stdint.h>

#include <memory>
#include <string>
#include <vector>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/sequenced_task_runner.h"
#include "base/strings/string_piece.h"
#include "base/time/time.h"
#include "desktop/windows/installer/common/ui_callback_runner.h"
#include "desktop/windows/installer/wininet/allowed_hosts.h"
#include "desktop/windows/installer/wininet/download_observer.h"
#include "desktop/windows/installer/wininet/download_progress_listener.h"
#include "desktop/windows/installer/wininet/wininet_response_writer.h"

namespace base {
namespace win {
struct HttpUrl;
}  // namespace win
}  // namespace base

namespace installer {

class WinInetTerminationThread;

class WinInetDownloader {
 public:
  enum State : int32_t {
    kIdle = 0,
    kRequestSent = 1,  // waiting for the response to a request
    kReceiving = 2,    // reading the body
    kStopped = 3,
    kFailed = 4,
    kCompleted = 5,
  };

  static constexpr int kDefaultMaxRetryCount = 600;
  // The body an interrupted request must have brought for its resume to go
  // uncounted (and at once).
  static constexpr uint64_t kMinResumeProgress = 64 * 1024;

  // |ui_runner| is required; |progress_listener| may be null. Both must
  // outlive the downloader.
  WinInetDownloader(UICallbackRunner* ui_runner,
                    DownloadProgressListener* progress_listener);
  WinInetDownloader(const WinInetDownloader&) = delete;
  WinInetDownloader& operator=(const WinInetDownloader&) = delete;
  // Abandons a running transfer (no completion runs) and returns at once.
  ~WinInetDownloader();

  // An empty list allows every host. Set before Start.
  void set_allowed_host_suffixes(std::vector<std::u16string> suffixes) {
    allowed_host_suffixes_ = std::move(suffixes);
  }
  // Whether |host| matches the allowed suffixes (IsHostAllowed).
  bool IsAllowedHost(base::StringPiece16 host) const {
    return IsHostAllowed(host, allowed_host_suffixes_);
  }
  void set_max_retry_count(int count) { max_retry_count_ = count; }
  // The largest body the owner accepts; 0 (the default) sets no limit
  // beyond what the reply declares. Set before Start.
  void set_max_size(uint64_t size) { max_size_ = size; }
  // Whether a server name that does not resolve is retried as a
  // connectivity error (the default) or fails the transfer at once: a
  // machine without name resolution rarely gets it within seconds, and an
  // optional request must not hold an offline installation up.
  void set_retry_unresolved_name(bool retry) { retry_unresolved_name_ = retry; }
  int max_retry_count() const { return max_retry_count_; }
  // The counted retries of the current (or last) transfer in a row.
  int retry_count() const { return retry_count_; }
  // In the completion: kCompleted, or anything else for a failure.
  State state() const { return state_; }

  // Starts a transfer of |url|: a POST of |body|, or a GET when it is
  // empty. True when the request was sent: |completion| then runs exactly
  // once, on this thread, unless Stop comes first. False, logged, when the
  // transfer cannot begin (bad URL, refused host, WinINet refuses, or a
  // transfer is already running); |completion| never runs then. Takes the
  // writer and the observer (both required) in either case.
  bool Start(const std::u16string& url, const std::string& body,
             base::Closure completion, std::unique_ptr<ResponseWriter> writer,
             std::unique_ptr<DownloadObserver> observer);

  // Abandons the transfer: closes it, drops the completion (even one
  // already posted) and sets kStopped.
  void Stop();

  // The pause before a counted retry: 6 s unless the owner shortens it.
  void set_retry_delay(base::TimeDelta delay) { retry_delay_ = delay; }
  base::TimeDelta retry_delay() const { return retry_delay_; }

  // Seam for tests: the receive time-out of every request (60 s).
  void set_receive_timeout_for_testing(base::TimeDelta timeout) {
    receive_timeout_ = timeout;
  }
  // Seam for tests: https requests accept a certificate of an unknown
  // issuer, for another name, or whose revocation cannot be checked (a
  // local test server's self-signed one).
  void set_ignore_certificate_errors_for_testing(bool ignore) {
    ignore_certificate_errors_ = ignore;
  }

 private:
  friend class WinInetTerminationThread;
  class Session;
  struct HandleContext;
  enum class Pending { kNone, kSend, kRead };

  static void InternetStatusCallback(void* handle, uintptr_t context,
                                     unsigned long status, void* info,
                                     unsigned long info_length);

  // Closes the writer and drops the completion of a Start that failed.
  bool Refuse();
  bool IsActive() const {
    return state_ == kRequestSent || state_ == kReceiving;
  }
  void SetState(State state);

  bool Connect(const base::win::HttpUrl& parts);
  bool SendRequest(const base::win::HttpUrl& parts);
  void CloseRequest();
  void CloseConnection();
  void JoinTerminationThread();

  // Posted from WinINet's threads; |request_id| names the request the event
  // belongs to, and events of any other request are dropped.
  void OnServerAddress(uint64_t request_id, const std::string& address);
  void OnRequestComplete(uint64_t request_id, uint32_t error);

  void HandleInitialCompletion();
  void HandleFullResponse();
  void HandlePartialResponse();
  void FollowRedirect(uint32_t status);
  void AskForProxyCredentials();
  void OnProxyCredentials(uint64_t transfer_id, int result);

  // Reads the body; runs again as a posted task after a batch of reads.
  void HandleCompletionInProgress(uint64_t transfer_id);
  // Takes the bytes of the last read; false when reading ends here.
  bool ConsumeRead();
  // False, logged, when |more| bytes after those kept would exceed what the
  // reply declared or the owner's maximum.
  bool FitsSize(uint64_t more) const;
  // The body stopped early (short stream, lost connection).
  void OnInterrupted(uint32_t code);
  void CheckRetriesAndResume(uint32_t code);
  void Resume(uint64_t transfer_id);

  void CompleteDownload();
  void FailDownload();
  void RunCompletion(uint64_t transfer_id);

  // Progress goes to the listener as int: sizes beyond its range are
  // scaled down by |progress_shift_| bits.
  void SetProgressScale(uint64_t total);
  void PostProgress(bool total, uint64_t value);
  void NotifyProgress(bool total, int value);
  void NotifyStalled();

  UICallbackRunner* const ui_runner_;
  DownloadProgressListener* const progress_listener_;

  State state_ = kIdle;
  std::vector<std::u16string> allowed_host_suffixes_;
  int retry_count_ = 0;
  int max_retry_count_ = kDefaultMaxRetryCount;
  uint64_t max_size_ = 0;
  bool retry_unresolved_name_ = true;
  base::TimeDelta retry_delay_;
  base::TimeDelta receive_timeout_;
  bool ignore_certificate_errors_ = false;

  // The current transfer.
  std::u16string url_;
  std::string body_;
  base::Closure completion_;
  std::unique_ptr<ResponseWriter> writer_;
  std::unique_ptr<DownloadObserver> observer_;
  base::ScopedRefPtr<base::SequencedTaskRunner> owner_runner_;
  // Changes with every Start and Stop; posted work of an earlier transfer
  // carries an older number and is dropped.
  uint64_t transfer_id_ = 0;
  uint64_t last_request_id_ = 0;
  // Declared by the reply; 0 when it declared nothing.
  uint64_t expected_size_ = 0;
  uint64_t downloaded_ = 0;
  // The bytes kept at the last uncounted resume (or the start).
  uint64_t furthest_offset_ = 0;
  int progress_shift_ = 0;
  // Resumes of this transfer, and of them those not logged since the last
  // resume line, which was written at |last_resume_log_|.
  int resume_count_ = 0;
  int unlogged_resumes_ = 0;
  base::TimeTicks last_resume_log_;
  int redirect_count_ = 0;
  Pending pending_ = Pending::kNone;

  // WinINet handles (HINTERNET) of the current transfer, and the session
  // that their callbacks share.
  void* internet_ = nullptr;
  void* connection_ = nullptr;
  void* request_ = nullptr;
  // Deleted by the status callback when WinINet closes the request handle;
  // only valid while |request_| is open.
  HandleContext* request_context_ = nullptr;
  base::ScopedRefPtr<Session> session_;
  std::unique_ptr<WinInetTerminationThread> termination_thread_;

  base::WeakPtrFactory<WinInetDownloader> weak_factory_{this};
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_WININET_DOWNLOADER_H_
