#include <windows.h>
#include <winsock2.h>

#include "desktop/windows/installer/wininet/wininet_downloader.h"
// The system header (angle brackets), not the downloader's own.
#include <limits.h>
#include <string.h>
#include <wininet.h>

#include <algorithm>
#include <string>
#include <utility>

#include "base/bind.h"
#include "base/location.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/synchronization/atomic_flag.h"
#include "base/synchronization/waitable_event.h"
#include "base/threading/simple_thread.h"
#include "base/threading/thread_task_runner_registration.h"
#include "base/win/http_url_win.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/wininet/content_range.h"

namespace installer {

namespace {

constexpr char16_t kUserAgentPrefix[] = u"Velna NetInstaller/";
// 1 KB reads reach about 15 MB/s over loopback under Wine, 256 KB reads
// about 700 MB/s.
constexpr DWORD kReadBufferSize = 256 * 1024;
// Reads per task before the loop lets other tasks of the thread run.
constexpr int kReadsPerTask = 32;
constexpr int kMaxRedirects = 10;
constexpr base::TimeDelta kDefaultRetryDelay =
    base::TimeDelta::FromMicroseconds(6 * 1000 * 1000);
constexpr base::TimeDelta kDefaultReceiveTimeout =
    base::TimeDelta::FromMicroseconds(60 * 1000 * 1000);
// How long a closed transfer's termination thread waits for WinINet's last
// callback before it closes the internet handle anyway. A read that WinINet
// still has pending on a silent connection produces no callback at all.
constexpr base::TimeDelta kTerminationWait =
    base::TimeDelta::FromMicroseconds(500 * 1000);
// The longest host and path (with its query) a transfer accepts.
constexpr base::win::HttpUrlLimits kUrlLimits = {255, 4095};
// At most one resume line a second: a server that breaks off at every
// few bytes would otherwise fill the log.
constexpr base::TimeDelta kResumeLogInterval =
    base::TimeDelta::FromMicroseconds(1000 * 1000);

// An offset for the observers, which count in 32 bits.
uint32_t ObserverOffset(uint64_t offset) {
  return static_cast<uint32_t>(std::min<uint64_t>(offset, UINT32_MAX));
}

// Wine completes a read whose receive time-out ran out with the socket's
// own error (WSAETIMEDOUT), and may pass other socket errors through too.
bool IsSocketConnectivityError(DWORD error) {
  return error == WSAETIMEDOUT || error == WSAECONNRESET ||
         error == WSAECONNABORTED;
}

bool IsConnectivityError(DWORD error) {
  if (IsSocketConnectivityError(error)) return true;
  switch (error) {
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CANNOT_CONNECT:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return true;
    default:
      return false;
  }
}

// A read's receive time-out arrives as 12002 on Windows and as 12030 or
// 10060 under Wine; each only interrupts the body.
bool IsReadConnectivityError(DWORD error) {
  if (IsSocketConnectivityError(error)) return true;
  switch (error) {
    case ERROR_INTERNET_TIMEOUT:
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
      return true;
    default:
      return false;
  }
}

bool IsRedirect(DWORD status) {
  return status == HTTP_STATUS_MOVED || status == HTTP_STATUS_REDIRECT ||
         status == HTTP_STATUS_REDIRECT_METHOD ||
         status == HTTP_STATUS_REDIRECT_KEEP_VERB || status == 308;
}

// The address text of INTERNET_STATUS_CONNECTED_TO_SERVER: a narrow string,
// read defensively as wide when it looks like one.
std::string AddressText(const void* info, DWORD length) {
  if (!info || length == 0) return std::string();
  const char* text = static_cast<const char*>(info);
  if (length >= 2 && text[0] != 0 && text[1] == 0) {
    const char16_t* wide = static_cast<const char16_t*>(info);
    size_t units = 0;
    while (units < length / 2 && wide[units]) ++units;
    return base::UTF16ToUTF8(base::StringPiece16(wide, units));
  }
  return std::string(text, strnlen(text, length));
}

// A response header's raw value; empty when absent. The query is repeated
// once with the size WinINet asks for when the first buffer is too small.
std::u16string QueryHeader(HINTERNET request, DWORD query,
                           const char16_t* custom_name) {
  std::u16string value(256, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (custom_name) {
      const size_t name_length =
          std::char_traits<char16_t>::length(custom_name);
      if (value.size() <= name_length) value.resize(name_length + 1);
      std::copy(custom_name, custom_name + name_length + 1, value.begin());
    }
    DWORD size = static_cast<DWORD>(value.size() * sizeof(char16_t));
    if (::HttpQueryInfoW(request, custom_name ? HTTP_QUERY_CUSTOM : query,
                         &value[0], &size, nullptr)) {
      value.resize(size / sizeof(char16_t));
      return value;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    value.assign(size / sizeof(char16_t) + 1, u'\0');
  }
  return std::u16string();
}

bool QueryNumber(HINTERNET request, DWORD query, DWORD* number) {
  DWORD size = sizeof(*number);
  return ::HttpQueryInfoW(request, query | HTTP_QUERY_FLAG_NUMBER, number,
                          &size, nullptr) != FALSE;
}

// Runs on the UI thread, through the UICallbackRunner.
int ShowProxyCredentialsDialog(HINTERNET request, HWND window) {
  return static_cast<int>(::InternetErrorDlg(
      window, request, ERROR_INTERNET_INCORRECT_PASSWORD,
      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
          FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
      nullptr));
}

}  // namespace

// What the status callbacks of one transfer share: where to post, and the
// cancel request with the event that tells the termination thread that
// WinINet has called back after the handles were closed.
class WinInetDownloader::Session : public base::RefCounted<Session> {
 public:
  Session(base::ScopedRefPtr<base::SequencedTaskRunner> owner_runner,
          base::WeakPtr<WinInetDownloader> downloader)
      : owner_runner(std::move(owner_runner)),
        downloader(std::move(downloader)) {}

  const base::ScopedRefPtr<base::SequencedTaskRunner> owner_runner;
  const base::WeakPtr<WinInetDownloader> downloader;
  base::AtomicFlag cancelled;
  base::WaitableEvent terminated{
      base::WaitableEvent::ResetPolicy::kManual,
      base::WaitableEvent::InitialState::kNotSignaled};

 private:
  friend class base::RefCounted<Session>;
  ~Session() = default;
};

// The context WinINet hands back with every callback of one handle. It is
// deleted by the handle's last callback (INTERNET_STATUS_HANDLE_CLOSING), so
// a read that WinINet completes after the transfer was abandoned still
// writes into live memory.
struct WinInetDownloader::HandleContext {
  HandleContext(base::ScopedRefPtr<Session> session, uint64_t request_id)
      : session(std::move(session)), request_id(request_id) {
    if (request_id) buffer = std::make_unique<char[]>(kReadBufferSize);
  }

  const base::ScopedRefPtr<Session> session;
  // 0 for a connection handle.
  const uint64_t request_id;
  std::unique_ptr<char[]> buffer;
  // The current read: its dwBufferLength is the buffer's size going in and
  // the count read once it completes, written by WinINet before the
  // completion callback. InternetReadFile will not do: when its read
  // pends, it writes 0 to the count after queuing the read, which a WinINet
  // thread may already have completed on a loaded machine (seen under
  // Wine), so that a whole buffer was lost and the body seemed to end.
  INTERNET_BUFFERSA read = {};
};

// Closes the internet handle of a finished transfer once WinINet has called
// back for its closed children, or after a short wait, so that neither the
// owner's thread nor a later Start waits long for WinINet.
class WinInetTerminationThread : public base::SimpleThread {
 public:
  WinInetTerminationThread(
      HINTERNET internet,
      base::ScopedRefPtr<WinInetDownloader::Session> session)
      : base::SimpleThread("Wininet Termination"),
        internet_(internet),
        session_(std::move(session)) {}

  void Run() override {
    VLOG(1) << "Waiting for WinINET to finish";
    if (!session_->terminated.TimedWait(kTerminationWait))
      VLOG(1) << "WinINET is still busy; closing the session anyway";
    ::InternetCloseHandle(internet_);
  }

 private:
  const HINTERNET internet_;
  const base::ScopedRefPtr<WinInetDownloader::Session> session_;
};

WinInetDownloader::WinInetDownloader(
    UICallbackRunner* ui_runner, DownloadProgressListener* progress_listener)
    : ui_runner_(ui_runner),
      progress_listener_(progress_listener),
      retry_delay_(kDefaultRetryDelay),
      receive_timeout_(kDefaultReceiveTimeout) {
  CHECK(ui_runner_);
}

WinInetDownloader::~WinInetDownloader() {
  CloseConnection();
  JoinTerminationThread();
}

void WinInetDownloader::SetState(State state) {
  state_ = state;
  VLOG(1) << "Downloader state: " << state_;
}

bool WinInetDownloader::Start(const std::u16string& url,
                              const std::string& body, base::Closure completion,
                              std::unique_ptr<ResponseWriter> writer,
                              std::unique_ptr<DownloadObserver> observer) {
  CHECK(writer && observer);
  LOG(INFO) << "Starting download from " << base::UTF16ToUTF8(url);
  if (IsActive()) {
    LOG(ERROR) << "A download is already running";
    writer->Close();
    return false;
  }
  writer_ = std::move(writer);
  observer_ = std::move(observer);
  completion_ = std::move(completion);
  owner_runner_ = base::ThreadTaskRunnerRegistration::Get();
  CHECK(owner_runner_) << "The downloader needs a message loop";
  url_ = url;
  ++transfer_id_;

  base::win::HttpUrl parts;
  if (!base::win::CrackHttpUrl(url_, &parts, kUrlLimits)) {
    PLOG(ERROR) << "Could not parse URL";
    return Refuse();
  }
  if (!IsAllowedHost(parts.host)) {
    LOG(ERROR) << "Attempting to download from a disallowed domain";
    return Refuse();
  }
  if (termination_thread_) {
    VLOG(1) << "Waiting for previous WinINET invocation to terminate.";
    JoinTerminationThread();
  }
  expected_size_ = 0;
  downloaded_ = 0;
  furthest_offset_ = 0;
  progress_shift_ = 0;
  resume_count_ = 0;
  unlogged_resumes_ = 0;
  last_resume_log_ = base::TimeTicks();
  redirect_count_ = 0;
  retry_count_ = 0;
  pending_ = Pending::kNone;

  const std::u16string user_agent =
      kUserAgentPrefix + base::UTF8ToUTF16(VersionInfo::GetProductVersion());
  internet_ =
      ::InternetOpenW(base::as_wcstr(user_agent), INTERNET_OPEN_TYPE_PRECONFIG,
                      nullptr, nullptr, INTERNET_FLAG_ASYNC);
  if (!internet_) {
    PLOG(ERROR) << "Could not open internet";
    return Refuse();
  }
  ::InternetSetStatusCallbackW(
      internet_,
      reinterpret_cast<INTERNET_STATUS_CALLBACK>(&InternetStatusCallback));
  session_ =
      base::MakeRefCounted<Session>(owner_runner_, weak_factory_.GetWeakPtr());

  body_ = body;
  if (!Connect(parts)) {
    PLOG(ERROR) << "Could not start session";
    CloseConnection();
    return Refuse();
  }
  observer_->OnChunkStart(ObserverOffset(downloaded_));
  if (!SendRequest(parts)) {
    LOG(ERROR) << "Could not send Request";
    CloseConnection();
    return Refuse();
  }
  SetState(kRequestSent);
  return true;
}

bool WinInetDownloader::Refuse() {
  // The owner may remove what the writer opened.
  writer_->Close();
  completion_ = base::Closure();
  return false;
}

void WinInetDownloader::Stop() {
  LOG(INFO) << "Stopping the download";
  CloseConnection();
  // Drops the posted completion, a delayed resume and a proxy reply.
  ++transfer_id_;
  completion_ = base::Closure();
  pending_ = Pending::kNone;
  SetState(kStopped);
}

bool WinInetDownloader::Connect(const base::win::HttpUrl& parts) {
  auto context = std::make_unique<HandleContext>(session_, 0);
  connection_ = ::InternetConnectW(
      internet_, base::as_wcstr(parts.host), parts.port, nullptr, nullptr,
      INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(context.get()));
  if (!connection_) return false;
  // From now on the handle's closing callback deletes it.
  context.release();
  return true;
}

bool WinInetDownloader::SendRequest(const base::win::HttpUrl& parts) {
  VLOG(1) << "Opening internet request";
  const bool post = !body_.empty();
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_AUTO_REDIRECT;
  if (parts.secure) flags |= INTERNET_FLAG_SECURE;
  auto context = std::make_unique<HandleContext>(session_, ++last_request_id_);
  request_ = ::HttpOpenRequestW(connection_, post ? L"POST" : L"GET",
                                base::as_wcstr(parts.path_and_query),
                                L"HTTP/1.1", nullptr, nullptr, flags,
                                reinterpret_cast<DWORD_PTR>(context.get()));
  if (!request_) {
    PLOG(ERROR) << "Could not open Request";
    return false;
  }
  request_context_ = context.release();

  // Only the request handle honours the receive time-out.
  DWORD timeout_ms = static_cast<DWORD>(receive_timeout_.InMilliseconds());
  ::InternetSetOptionW(request_, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout_ms,
                       sizeof(timeout_ms));
  if (ignore_certificate_errors_ && parts.secure) {
    DWORD security = 0;
    DWORD size = sizeof(security);
    ::InternetQueryOptionW(request_, INTERNET_OPTION_SECURITY_FLAGS, &security,
                           &size);
    security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                SECURITY_FLAG_IGNORE_REVOCATION;
    ::InternetSetOptionW(request_, INTERNET_OPTION_SECURITY_FLAGS, &security,
                         sizeof(security));
  }

  // Nothing kept yet: a plain request, so that a server's bad partial reply
  // is followed by an ordinary one.
  std::u16string headers;
  if (downloaded_ > 0)
    headers = u"Range: bytes=" + base::Uint64ToString16(downloaded_) + u"-";
  VLOG(1) << (post ? "Sending POST request" : "Sending GET request");
  pending_ = Pending::kSend;
  const BOOL sent = ::HttpSendRequestW(
      request_, headers.empty() ? nullptr : base::as_wcstr(headers),
      static_cast<DWORD>(headers.size()),
      post ? const_cast<char*>(body_.data()) : nullptr,
      post ? static_cast<DWORD>(body_.size()) : 0);
  if (!sent && ::GetLastError() != ERROR_IO_PENDING) {
    pending_ = Pending::kNone;
    return false;
  }
  if (sent) {
    // Finished at once: no completion callback follows, so post one.
    owner_runner_->PostTask(
        CURRENT_LOCATION,
        base::Bind(&WinInetDownloader::OnRequestComplete,
                   weak_factory_.GetWeakPtr(), request_context_->request_id,
                   uint32_t{0}));
  }
  return true;
}

void WinInetDownloader::CloseRequest() {
  if (!request_) return;
  // The closing callback may run inside InternetCloseHandle and delete the
  // context.
  HINTERNET request = std::exchange(request_, nullptr);
  request_context_ = nullptr;
  pending_ = Pending::kNone;
  ::InternetCloseHandle(request);
}

void WinInetDownloader::CloseConnection() {
  VLOG(1) << "Closing download session";
  if (!session_) return;
  if (observer_) observer_->OnChunkEnd(ObserverOffset(downloaded_));
  session_->cancelled.Set();
  if (writer_) writer_->Close();
  CloseRequest();
  const bool had_connection = connection_ != nullptr;
  if (HINTERNET connection = std::exchange(connection_, nullptr))
    ::InternetCloseHandle(connection);
  HINTERNET internet = std::exchange(internet_, nullptr);
  base::ScopedRefPtr<Session> session = std::move(session_);
  if (!had_connection) {
    ::InternetCloseHandle(internet);
    return;
  }
  JoinTerminationThread();
  termination_thread_ =
      std::make_unique<WinInetTerminationThread>(internet, std::move(session));
  if (!termination_thread_->Start()) {
    termination_thread_.reset();
    ::InternetCloseHandle(internet);
  }
}

void WinInetDownloader::JoinTerminationThread() {
  if (!termination_thread_) return;
  termination_thread_->Join();
  termination_thread_.reset();
}

// static
void WinInetDownloader::InternetStatusCallback(void* handle, uintptr_t context,
                                               unsigned long status, void* info,
                                               unsigned long info_length) {
  HandleContext* handle_context = reinterpret_cast<HandleContext*>(context);
  if (!handle_context) return;
  VLOG(2) << "InternatStatusCallback called with code " << status;
  Session* session = handle_context->session.get();
  if (status == INTERNET_STATUS_HANDLE_CLOSING) {
    // The handle's last callback.
    if (session->cancelled.IsSet()) session->terminated.Signal();
    delete handle_context;
    return;
  }
  if (session->cancelled.IsSet()) {
    VLOG(1) << "Wininet request cancelled.";
    session->terminated.Signal();
    return;
  }
  const uint64_t request_id = handle_context->request_id;
  switch (status) {
    case INTERNET_STATUS_CONNECTED_TO_SERVER:
      session->owner_runner->PostTask(
          CURRENT_LOCATION,
          base::Bind(&WinInetDownloader::OnServerAddress, session->downloader,
                     request_id, AddressText(info, info_length)));
      break;
    case INTERNET_STATUS_REQUEST_COMPLETE: {
      const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
      const uint32_t error =
          result ? result->dwError : ERROR_INTERNET_INTERNAL_ERROR;
      session->owner_runner->PostTask(
          CURRENT_LOCATION, base::Bind(&WinInetDownloader::OnRequestComplete,
                                       session->downloader, request_id, error));
      break;
    }
    case INTERNET_STATUS_REDIRECT:
      // Requests are sent without automatic redirects; a redirect WinINet
      // follows on its own would bypass the host check.
      LOG(ERROR) << "Unexpected automatic redirect";
      break;
    default:
      break;
  }
}

void WinInetDownloader::OnServerAddress(uint64_t request_id,
                                        const std::string& address) {
  if (!request_context_ || request_context_->request_id != request_id) return;
  observer_->OnServerAddress(address);
}

void WinInetDownloader::OnRequestComplete(uint64_t request_id, uint32_t error) {
  if (!request_context_ || request_context_->request_id != request_id ||
      pending_ == Pending::kNone)
    return;
  const Pending completed = std::exchange(pending_, Pending::kNone);
  observer_->OnWinInetError(error);
  if (error == ERROR_SUCCESS) {
    VLOG(1) << "Handling request completion";
    if (completed == Pending::kSend) {
      HandleInitialCompletion();
    } else if (ConsumeRead()) {
      HandleCompletionInProgress(transfer_id_);
    }
    return;
  }
  if (error == ERROR_INTERNET_NAME_NOT_RESOLVED && !retry_unresolved_name_) {
    LOG(WARNING) << "The server's name does not resolve: not retried";
    FailDownload();
    return;
  }
  if (IsConnectivityError(error)) {
    LOG(WARNING) << "Request completed with an error "
                 << "indicating connectivity issues: " << error;
    OnInterrupted(error);
    return;
  }
  LOG(ERROR) << "Request completed with an unexpected error: " << error;
  FailDownload();
}

void WinInetDownloader::HandleInitialCompletion() {
  // Resumes have their own (rate-limited) line.
  if (resume_count_ == 0)
    LOG(INFO) << "Initial request completion";
  else
    VLOG(1) << "Initial request completion";
  DWORD status = 0;
  if (!QueryNumber(request_, HTTP_QUERY_STATUS_CODE, &status)) {
    PLOG(ERROR) << "Could not obtain HTTP response code";
    FailDownload();
    return;
  }
  observer_->OnHttpStatus(status);
  for (const char16_t* name : {u"Date", u"Server", u"X-Served-By"})
    observer_->OnHeader(name, QueryHeader(request_, 0, name));

  if (status == HTTP_STATUS_OK) {
    HandleFullResponse();
  } else if (status == HTTP_STATUS_PARTIAL_CONTENT) {
    HandlePartialResponse();
  } else if (IsRedirect(status)) {
    FollowRedirect(status);
  } else if (status == HTTP_STATUS_PROXY_AUTH_REQ) {
    AskForProxyCredentials();
  } else if (status == HTTP_STATUS_BAD_GATEWAY ||
             status == HTTP_STATUS_SERVICE_UNAVAIL ||
             status == HTTP_STATUS_GATEWAY_TIMEOUT) {
    LOG(WARNING) << "Download failed with " << status << " error";
    CheckRetriesAndResume(status);
  } else {
    LOG(ERROR) << "Request completed with an unexpected HTTP status";
    FailDownload();
  }
}

void WinInetDownloader::HandleFullResponse() {
  if (downloaded_ > 0) {
    // The server ignored the Range: the body starts over. Appending it to
    // what was kept would corrupt the result.
    LOG(WARNING) << "The server sent the whole body again; starting over";
    if (!writer_->Rewind()) {
      FailDownload();
      return;
    }
    downloaded_ = 0;
  }
  // As text: a length of 4 GiB or more does not fit the numeric query.
  uint64_t length = 0;
  if (base::StringToUint64DigitsOnly(
          base::UTF16ToUTF8(
              QueryHeader(request_, HTTP_QUERY_CONTENT_LENGTH, nullptr)),
          &length)) {
    expected_size_ = length;
    VLOG(1) << "Expected total size: " << expected_size_;
  } else {
    PLOG(INFO) << "Could not get Content-Length from response";
    expected_size_ = 0;
  }
  if (max_size_ && expected_size_ > max_size_) {
    LOG(ERROR) << "The response of " << expected_size_
               << " bytes is larger than the " << max_size_ << " allowed";
    FailDownload();
    return;
  }
  SetProgressScale(expected_size_);
  PostProgress(true, expected_size_);
  SetState(kReceiving);
  HandleCompletionInProgress(transfer_id_);
}

void WinInetDownloader::HandlePartialResponse() {
  ContentRange range;
  if (!ParseContentRange(QueryHeader(request_, 0, u"Content-Range"), &range) ||
      range.first != downloaded_ ||
      (expected_size_ && range.total && range.total != expected_size_)) {
    // Not the continuation of what was kept: start over, without a Range.
    LOG(WARNING) << "Partial response does not continue the download; "
                    "starting over";
    if (!writer_->Rewind()) {
      FailDownload();
      return;
    }
    downloaded_ = 0;
    CheckRetriesAndResume(HTTP_STATUS_PARTIAL_CONTENT);
    return;
  }
  if (range.total > 0) {
    if (max_size_ && range.total > max_size_) {
      LOG(ERROR) << "The response of " << range.total
                 << " bytes is larger than the " << max_size_ << " allowed";
      FailDownload();
      return;
    }
    expected_size_ = range.total;
  }
  SetState(kReceiving);
  HandleCompletionInProgress(transfer_id_);
}

void WinInetDownloader::FollowRedirect(uint32_t status) {
  if (++redirect_count_ > kMaxRedirects) {
    LOG(ERROR) << "Too many redirects";
    FailDownload();
    return;
  }
  const std::u16string location =
      QueryHeader(request_, HTTP_QUERY_LOCATION, nullptr);
  wchar_t combined[INTERNET_MAX_URL_LENGTH + 1] = {};
  DWORD combined_length = ARRAYSIZE(combined);
  base::win::HttpUrl parts;
  if (location.empty() ||
      !::InternetCombineUrlW(base::as_wcstr(url_), base::as_wcstr(location),
                             combined, &combined_length, ICU_NO_ENCODE) ||
      !base::win::CrackHttpUrl(base::as_u16cstr(combined), &parts,
                               kUrlLimits)) {
    PLOG(ERROR) << "Failed to parse redirect URL";
    FailDownload();
    return;
  }
  base::win::HttpUrl current;
  if (base::win::CrackHttpUrl(url_, &current) && current.secure &&
      !parts.secure) {
    LOG(ERROR) << "Refusing a redirect from https to http";
    FailDownload();
    return;
  }
  if (!IsAllowedHost(parts.host)) {
    LOG(ERROR) << "Attempting to redirect to a disallowed domain: "
               << base::UTF16ToUTF8(parts.host);
    FailDownload();
    return;
  }
  VLOG(1) << "Redirect occured";
  url_ = base::as_u16cstr(combined);
  observer_->OnRedirect(url_);
  if (status != HTTP_STATUS_REDIRECT_KEEP_VERB && status != 308) body_.clear();
  CloseRequest();
  if (HINTERNET connection = std::exchange(connection_, nullptr))
    ::InternetCloseHandle(connection);
  if (!Connect(parts) || !SendRequest(parts)) {
    LOG(ERROR) << "Could not follow the redirect";
    FailDownload();
  }
}

void WinInetDownloader::AskForProxyCredentials() {
  LOG(WARNING) << "Request completed with a "
               << "proxy authentication request";
  ui_runner_->RunUICallbackAndPostReply(
      base::Bind(&ShowProxyCredentialsDialog, request_), owner_runner_,
      base::Bind(&WinInetDownloader::OnProxyCredentials,
                 weak_factory_.GetWeakPtr(), transfer_id_));
}

void WinInetDownloader::OnProxyCredentials(uint64_t transfer_id, int result) {
  if (transfer_id != transfer_id_ || !IsActive()) return;
  if (result == ERROR_INTERNET_FORCE_RETRY) {
    LOG(INFO) << "Logged in to proxy - resuming download";
    Resume(transfer_id);
  } else if (result == 0 || result == ERROR_CANCELLED) {
    LOG(ERROR) << "The user cancelled the prompt for proxy credentials";
    FailDownload();
  } else {
    LOG(ERROR) << "Failed to obtain credentials for proxy";
    FailDownload();
  }
}

void WinInetDownloader::HandleCompletionInProgress(uint64_t transfer_id) {
  if (transfer_id != transfer_id_ || state_ != kReceiving || !request_) return;
  VLOG(2) << "Additional data downloaded";
  for (int reads = 0; reads < kReadsPerTask; ++reads) {
    HandleContext* context = request_context_;
    context->read = INTERNET_BUFFERSA{};
    context->read.dwStructSize = sizeof(context->read);
    context->read.lpvBuffer = context->buffer.get();
    context->read.dwBufferLength = kReadBufferSize;
    pending_ = Pending::kRead;
    // The context argument is unused: callbacks carry the handle's own.
    if (!::InternetReadFileExA(request_, &context->read, IRF_ASYNC, 0)) {
      const DWORD error = ::GetLastError();
      if (error == ERROR_IO_PENDING) {
        VLOG(2) << "More data pending";
        return;
      }
      pending_ = Pending::kNone;
      if (IsReadConnectivityError(error)) {
        LOG(ERROR) << "Download interrupted by loss of connectivity: " << error;
        OnInterrupted(error);
      } else {
        LOG(ERROR) << "Download interrupted for unknown reason: " << error;
        FailDownload();
      }
      return;
    }
    pending_ = Pending::kNone;
    if (!ConsumeRead()) return;
  }
  owner_runner_->PostTask(
      CURRENT_LOCATION,
      base::Bind(&WinInetDownloader::HandleCompletionInProgress,
                 weak_factory_.GetWeakPtr(), transfer_id));
}

bool WinInetDownloader::ConsumeRead() {
  const DWORD read = request_context_->read.dwBufferLength;
  if (read == 0) {
    VLOG(1) << "Done reading from Internet";
    if (downloaded_ < expected_size_) {
      LOG(WARNING) << "Download completed, but we are below response size";
      OnInterrupted(ERROR_SUCCESS);
    } else {
      CompleteDownload();
    }
    return false;
  }
  if (!FitsSize(read)) {
    FailDownload();
    return false;
  }
  if (!writer_->Write(request_context_->buffer.get(), read)) {
    FailDownload();
    return false;
  }
  downloaded_ += read;
  VLOG(2) << "Downloaded size: " << downloaded_;
  PostProgress(false, downloaded_);
  return true;
}

bool WinInetDownloader::FitsSize(uint64_t more) const {
  const uint64_t total = downloaded_ + more;
  if (expected_size_ && total > expected_size_) {
    LOG(ERROR) << "The server sent more than the " << expected_size_
               << " bytes it declared";
    return false;
  }
  if (max_size_ && total > max_size_) {
    LOG(ERROR) << "The response is larger than the " << max_size_
               << " bytes allowed";
    return false;
  }
  return true;
}

void WinInetDownloader::OnInterrupted(uint32_t code) {
  if (downloaded_ >= furthest_offset_ + kMinResumeProgress) {
    // Real progress since the last uncounted resume: resume at once.
    furthest_offset_ = downloaded_;
    retry_count_ = 0;
    owner_runner_->PostTask(
        CURRENT_LOCATION, base::Bind(&WinInetDownloader::Resume,
                                     weak_factory_.GetWeakPtr(), transfer_id_));
    return;
  }
  // A server that always breaks off at the same point, or after a few bytes,
  // would otherwise be asked again at full speed for ever.
  CheckRetriesAndResume(code);
}

void WinInetDownloader::CheckRetriesAndResume(uint32_t code) {
  if (retry_count_ > 1)
    owner_runner_->PostTask(CURRENT_LOCATION,
                            base::Bind(&WinInetDownloader::NotifyStalled,
                                       weak_factory_.GetWeakPtr()));
  if (retry_count_ > max_retry_count_) {
    VLOG(1) << "Exceded maximum amount of retries";
    FailDownload();
    return;
  }
  LOG(INFO) << "Retrying " << retry_count_ << " of " << max_retry_count_
            << " after " << code;
  ++retry_count_;
  owner_runner_->PostDelayedTask(
      CURRENT_LOCATION,
      base::Bind(&WinInetDownloader::Resume, weak_factory_.GetWeakPtr(),
                 transfer_id_),
      retry_delay_);
}

void WinInetDownloader::Resume(uint64_t transfer_id) {
  if (transfer_id != transfer_id_ || !IsActive()) return;
  observer_->OnChunkEnd(ObserverOffset(downloaded_));
  CloseRequest();
  ++resume_count_;
  const base::TimeTicks now = base::TimeTicks::Now();
  if (last_resume_log_.is_null() ||
      now - last_resume_log_ >= kResumeLogInterval) {
    LOG(INFO) << "Attempting download resume at byte " << downloaded_
              << " (resume " << resume_count_ << ", " << unlogged_resumes_
              << " not logged)";
    last_resume_log_ = now;
    unlogged_resumes_ = 0;
  } else {
    ++unlogged_resumes_;
  }
  base::win::HttpUrl parts;
  if (!base::win::CrackHttpUrl(url_, &parts, kUrlLimits)) {
    PLOG(ERROR) << "Could not parse URL";
    FailDownload();
    return;
  }
  // Every attempt is a chunk record of its own.
  observer_->OnChunkStart(ObserverOffset(downloaded_));
  observer_->OnRetry(retry_count_);
  if (!SendRequest(parts)) {
    LOG(ERROR) << "Could not resume downloading";
    FailDownload();
    return;
  }
  SetState(kRequestSent);
}

void WinInetDownloader::CompleteDownload() {
  if (!IsActive()) return;
  retry_count_ = 0;
  CloseConnection();
  LOG(INFO) << "Download completed";
  SetState(kCompleted);
  owner_runner_->PostTask(CURRENT_LOCATION,
                          base::Bind(&WinInetDownloader::RunCompletion,
                                     weak_factory_.GetWeakPtr(), transfer_id_));
}

void WinInetDownloader::FailDownload() {
  if (!IsActive()) return;
  LOG(ERROR) << "Download failed";
  CloseConnection();
  SetState(kFailed);
  owner_runner_->PostTask(CURRENT_LOCATION,
                          base::Bind(&WinInetDownloader::RunCompletion,
                                     weak_factory_.GetWeakPtr(), transfer_id_));
}

void WinInetDownloader::RunCompletion(uint64_t transfer_id) {
  if (transfer_id != transfer_id_ || completion_.is_null()) return;
  // The owner may destroy the downloader from inside its completion.
  base::Closure completion = std::move(completion_);
  completion_ = base::Closure();
  completion.Run();
}

void WinInetDownloader::SetProgressScale(uint64_t total) {
  progress_shift_ = 0;
  while ((total >> progress_shift_) > static_cast<uint64_t>(INT_MAX))
    ++progress_shift_;
}

void WinInetDownloader::PostProgress(bool total, uint64_t value) {
  if (!progress_listener_) return;
  const int scaled =
      static_cast<int>(std::min<uint64_t>(value >> progress_shift_, INT_MAX));
  owner_runner_->PostTask(
      CURRENT_LOCATION, base::Bind(&WinInetDownloader::NotifyProgress,
                                   weak_factory_.GetWeakPtr(), total, scaled));
}

void WinInetDownloader::NotifyProgress(bool total, int value) {
  if (total)
    progress_listener_->SetTotalProgress(value);
  else
    progress_listener_->SetCurrentProgress(value);
}

void WinInetDownloader::NotifyStalled() {
  if (progress_listener_) progress_listener_->NotifyStalled();
}

}  // namespace installer
