#include "desktop/windows/crash_reporter/util/net/http_transport_win.h"

#include <windows.h>
#include <winhttp.h>

#include <limits>
#include <string>

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/http_url_win.h"
#include "desktop/windows/crash_reporter/util/net/http_body.h"
#include "desktop/windows/crash_reporter/util/net/http_transport.h"

namespace crash_reporter {

namespace {

constexpr wchar_t kUserAgent[] = L"CrashUpload/0.8.0";
constexpr size_t kBodyPieceSize = 4096;

int SystemSetTimeouts(void* session, int resolve_ms, int connect_ms,
                      int send_ms, int receive_ms) {
  return ::WinHttpSetTimeouts(session, resolve_ms, connect_ms, send_ms,
                              receive_ms);
}

internal::SetTimeoutsFunction g_set_timeouts = &SystemSetTimeouts;

base::StringPiece16 Piece(const wchar_t* text, DWORD length) {
  return text ? base::StringPiece16(base::as_u16cstr(text), length)
              : base::StringPiece16();
}

// WinHTTP's own splitter: the transport needs nothing of WinINet.
bool CrackUrl(const std::u16string& url, base::win::HttpUrl* parts) {
  URL_COMPONENTS components = {};
  components.dwStructSize = sizeof(components);
  // A length without a buffer asks for a pointer into |url|.
  components.dwHostNameLength = 1;
  components.dwUrlPathLength = 1;
  components.dwExtraInfoLength = 1;
  if (!::WinHttpCrackUrl(base::as_wcstr(url), static_cast<DWORD>(url.size()), 0,
                         &components)) {
    return false;
  }
  base::win::HttpScheme scheme = base::win::HttpScheme::kOther;
  if (components.nScheme == INTERNET_SCHEME_HTTP)
    scheme = base::win::HttpScheme::kHttp;
  else if (components.nScheme == INTERNET_SCHEME_HTTPS)
    scheme = base::win::HttpScheme::kHttps;
  return base::win::MakeHttpUrl(
      scheme, Piece(components.lpszHostName, components.dwHostNameLength),
      components.nPort,
      Piece(components.lpszUrlPath, components.dwUrlPathLength),
      Piece(components.lpszExtraInfo, components.dwExtraInfoLength), {}, parts);
}

// Owns a WinHTTP handle; a failed close is only logged.
class ScopedHInternet {
 public:
  explicit ScopedHInternet(HINTERNET handle) : handle_(handle) {}
  ScopedHInternet(const ScopedHInternet&) = delete;
  ScopedHInternet& operator=(const ScopedHInternet&) = delete;
  ~ScopedHInternet() {
    if (handle_ && !::WinHttpCloseHandle(handle_))
      LogWinHttpError("WinHttpCloseHandle");
  }

  HINTERNET get() const { return handle_; }

 private:
  const HINTERNET handle_;
};

class HTTPTransportWin : public HTTPTransport {
 public:
  HTTPTransportWin() = default;
  ~HTTPTransportWin() override = default;

  bool ExecuteSynchronously(std::string* response_body) override;

 private:
  bool ReadBody(std::string* body);
  bool ReadReply(HINTERNET request, std::string* response_body);
};

bool HTTPTransportWin::ExecuteSynchronously(std::string* response_body) {
  ScopedHInternet session(
      ::WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                    WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session.get()) {
    LogWinHttpError("WinHttpOpen");
    return false;
  }
  const int timeout_ms = static_cast<int>(timeout() * 1000);
  if (!g_set_timeouts(session.get(), timeout_ms, timeout_ms, timeout_ms,
                      timeout_ms)) {
    LogWinHttpError("WinHttpSetTimeouts");
    return false;
  }

  base::win::HttpUrl cracked;
  if (!CrackUrl(base::UTF8ToUTF16(url()), &cracked)) {
    LogWinHttpError("WinHttpCrackUrl");
    return false;
  }
  ScopedHInternet connection(::WinHttpConnect(
      session.get(), base::as_wcstr(cracked.host), cracked.port, 0));
  if (!connection.get()) {
    LogWinHttpError("WinHttpConnect");
    return false;
  }
  const std::u16string wide_method = base::UTF8ToUTF16(method());
  ScopedHInternet request(::WinHttpOpenRequest(
      connection.get(), base::as_wcstr(wide_method),
      base::as_wcstr(cracked.path_and_query), nullptr, WINHTTP_NO_REFERER,
      WINHTTP_DEFAULT_ACCEPT_TYPES, cracked.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request.get()) {
    LogWinHttpError("WinHttpOpenRequest");
    return false;
  }

  for (const auto& [name, value] : headers()) {
    const std::u16string line = base::UTF8ToUTF16(name + ": " + value);
    CHECK(line.size() <= std::numeric_limits<DWORD>::max());
    if (!::WinHttpAddRequestHeaders(request.get(), base::as_wcstr(line),
                                    static_cast<DWORD>(line.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD)) {
      LogWinHttpError("WinHttpAddRequestHeaders");
      return false;
    }
  }

  std::string body;
  if (!ReadBody(&body)) return false;
  const DWORD body_size = static_cast<DWORD>(body.size());
  if (!::WinHttpSendRequest(
          request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
          body.empty() ? WINHTTP_NO_REQUEST_DATA : body.data(), body_size,
          body_size, 0)) {
    LogWinHttpError("WinHttpSendRequest");
    return false;
  }
  if (!::WinHttpReceiveResponse(request.get(), nullptr)) {
    LogWinHttpError("WinHttpReceiveResponse");
    return false;
  }
  DWORD status = 0;
  DWORD status_size = sizeof(status);
  if (!::WinHttpQueryHeaders(
          request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
          WINHTTP_HEADER_NAME_BY_INDEX, &status, &status_size,
          WINHTTP_NO_HEADER_INDEX)) {
    LogWinHttpError("WinHttpQueryHeaders");
    return false;
  }
  if (status != 200) {
    LOG(ERROR) << "HTTP status " << status;
    return false;
  }
  return !response_body || ReadReply(request.get(), response_body);
}

bool HTTPTransportWin::ReadBody(std::string* body) {
  body->clear();
  HTTPBodyStream* stream = body_stream();
  if (!stream) return true;
  uint8_t piece[kBodyPieceSize];
  for (;;) {
    const int64_t count = stream->GetBytesBuffer(piece, sizeof(piece));
    if (count < 0) {
      LOG(ERROR) << "GetBytesBuffer failed";
      return false;
    }
    if (count == 0) break;
    body->append(reinterpret_cast<const char*>(piece),
                 static_cast<size_t>(count));
    CHECK(body->size() <= std::numeric_limits<DWORD>::max());
  }
  return true;
}

bool HTTPTransportWin::ReadReply(HINTERNET request,
                                 std::string* response_body) {
  response_body->clear();
  char piece[kBodyPieceSize];
  for (;;) {
    DWORD read = 0;
    if (!::WinHttpReadData(request, piece, sizeof(piece), &read)) {
      LogWinHttpError("WinHttpReadData");
      return false;
    }
    if (read == 0) return true;
    response_body->append(piece, read);
  }
}

}  // namespace

void LogWinHttpError(const char* function) {
  const DWORD error = ::GetLastError();
  char text[256];
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE |
          FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
      ::GetModuleHandleW(L"winhttp.dll"), error, 0, text, sizeof(text),
      nullptr);
  if (length == 0) {
    LOG(ERROR) << "Error (0x" << std::hex << std::uppercase << ::GetLastError()
               << ") while retrieving error. (0x" << error << ")";
    return;
  }
  LOG(ERROR) << function << ": " << std::string(text, length) << " (0x"
             << std::hex << std::uppercase << error << ")";
}

// static
std::unique_ptr<HTTPTransport> HTTPTransport::Create() {
  return std::make_unique<HTTPTransportWin>();
}

namespace internal {

void SetWinHttpSetTimeoutsForTesting(SetTimeoutsFunction function) {
  g_set_timeouts = function ? function : &SystemSetTimeouts;
}

}  // namespace internal

}  // namespace crash_reporter
