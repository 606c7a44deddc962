#include "desktop/windows/crash_reporter/util/wininet_request_win.h"

#include "base/logging.h"
#include "base/strings/string_util_win.h"

namespace crash_reporter {

namespace {

constexpr char16_t kUserAgentBase[] = u"CrashReporter/1.0 (Windows)";

}  // namespace

std::u16string CrashReporterUserAgent(const std::u16string& suffix) {
  return kUserAgentBase + suffix;
}

void ScopedInternetHandle::Reset(HINTERNET handle) {
  if (handle_) ::InternetCloseHandle(handle_);
  handle_ = handle;
}

bool WinInetRequest::Open(const base::win::HttpUrl& url,
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
