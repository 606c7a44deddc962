#include "desktop/windows/crash_reporter/util/wininet_request_win.h"

#include "base/logging.h"
#include "base/strings/string_util_win.h"

namespace crash_reporter {

namespace {

constexpr char16_t kUserAgentBase[] = u"CrashReporter/1.0 (Windows)";

std::u16string Piece(const wchar_t* text, DWORD length) {
  return text ? std::u16string(base::as_u16cstr(text), length)
              : std::u16string();
}

}  // namespace

bool CrackHttpUrl(const std::u16string& url, HttpUrlParts* parts) {
  URL_COMPONENTSW components = {};
  components.dwStructSize = sizeof(components);
  // A length without a buffer asks for a pointer into |url|, so no part has
  // a size limit.
  components.dwHostNameLength = 1;
  components.dwUrlPathLength = 1;
  components.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(base::as_wcstr(url), static_cast<DWORD>(url.size()),
                           0, &components)) {
    return false;
  }
  if (components.nScheme != INTERNET_SCHEME_HTTP &&
      components.nScheme != INTERNET_SCHEME_HTTPS) {
    return false;
  }
  parts->host = Piece(components.lpszHostName, components.dwHostNameLength);
  parts->port = components.nPort;
  const std::u16string path_and_query =
      Piece(components.lpszUrlPath, components.dwUrlPathLength) +
      Piece(components.lpszExtraInfo, components.dwExtraInfoLength);
  parts->path_and_query = path_and_query.substr(0, path_and_query.find(u'#'));
  if (parts->path_and_query.empty()) parts->path_and_query = u"/";
  parts->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  return !parts->host.empty();
}

std::u16string CrashReporterUserAgent(const std::u16string& suffix) {
  return kUserAgentBase + suffix;
}

void ScopedInternetHandle::Reset(HINTERNET handle) {
  if (handle_) ::InternetCloseHandle(handle_);
  handle_ = handle;
}

bool WinInetRequest::Open(const HttpUrlParts& url,
                          const std::u16string& user_agent, const wchar_t* verb,
                          DWORD flags) {
  internet_.Reset(::InternetOpenW(base::as_wcstr(user_agent),
                                  INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                  nullptr, 0));
  if (!internet_.get()) return false;
  connection_.Reset(
      ::InternetConnectW(internet_.get(), base::as_wcstr(url.host), url.port,
                         nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection_.get()) return false;
  if (url.secure) flags |= INTERNET_FLAG_SECURE;
  request_.Reset(::HttpOpenRequestW(connection_.get(), verb,
                                    base::as_wcstr(url.path_and_query), nullptr,
                                    nullptr, nullptr, flags, 0));
  return request_.get() != nullptr;
}

bool QueryHeaderText(HINTERNET request, DWORD info_level,
                     std::u16string* value) {
  std::u16string buffer(64, u'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
    if (::HttpQueryInfoW(request, info_level, base::as_writable_wcstr(buffer),
                         &size, nullptr)) {
      buffer.resize(size / sizeof(char16_t));
      *value = buffer;
      return true;
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    // |size| now holds the bytes needed; one character more for safety.
    buffer.resize(size / sizeof(char16_t) + 1);
  }
}

DWORD QueryStatusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof(status);
  if (!::HttpQueryInfoW(request,
                        HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                        &status, &size, nullptr)) {
    return 0;
  }
  return status;
}

}  // namespace crash_reporter
