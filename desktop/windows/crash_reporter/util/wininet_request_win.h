// What the crash reporter's two WinINet requests (the duplicate check and
// the text-log upload) share: the user agent, the handle chain of one request,
// and header queries of any length.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_WININET_REQUEST_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_WININET_REQUEST_WIN_H_

#include <windows.h>
#include <wininet.h>

#include <string>

#include "base/win/http_url_win.h"

namespace crash_reporter {

// "CrashReporter/1.0 (Windows)" followed by |suffix|.
std::u16string CrashReporterUserAgent(const std::u16string& suffix);

// Owns one WinINet handle.
class ScopedInternetHandle {
 public:
  ScopedInternetHandle() = default;
  ScopedInternetHandle(const ScopedInternetHandle&) = delete;
  ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;
  ~ScopedInternetHandle() { Reset(nullptr); }

  void Reset(HINTERNET handle);
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_ = nullptr;
};

// The internet, connection and request handles of one synchronous request;
// destroyed, they close in that reverse order.
class WinInetRequest {
 public:
  WinInetRequest() = default;
  WinInetRequest(const WinInetRequest&) = delete;
  WinInetRequest& operator=(const WinInetRequest&) = delete;
  ~WinInetRequest() = default;

  // Opens the chain for |verb| on |url|'s path and query, with |flags| plus
  // INTERNET_FLAG_SECURE for https. Nothing goes over the network yet.
  bool Open(const base::win::HttpUrl& url, const std::u16string& user_agent,
            const wchar_t* verb, DWORD flags);

  HINTERNET request() const { return request_.get(); }

 private:
  // Declared in opening order, so that they close in the reverse one.
  ScopedInternetHandle internet_;
  ScopedInternetHandle connection_;
  ScopedInternetHandle request_;
};

// The text of a reply header (an HTTP_QUERY_* level), however long. False
// when it is absent or cannot be read.
bool QueryHeaderText(HINTERNET request, DWORD info_level,
                     std::u16string* value);

// The reply's status code; 0 when it cannot be read.
DWORD QueryStatusCode(HINTERNET request);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_WININET_REQUEST_WIN_H_
