#include "base/win/http_url_win.h"

#include <windows.h>
#include <wininet.h>

#include "base/strings/string_util_win.h"

namespace base {
namespace win {

namespace {

std::u16string Piece(const wchar_t* text, DWORD length) {
  return text ? std::u16string(as_u16cstr(text), length) : std::u16string();
}

}  // namespace

bool CrackHttpUrl(const std::u16string& url, HttpUrl* parts) {
  URL_COMPONENTSW components = {};
  components.dwStructSize = sizeof(components);
  // A length without a buffer asks for a pointer into |url|: no part is cut
  // to a buffer's size, and none is decoded.
  components.dwHostNameLength = 1;
  components.dwUrlPathLength = 1;
  components.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(as_wcstr(url), static_cast<DWORD>(url.size()), 0,
                           &components)) {
    return false;
  }
  if (components.nScheme != INTERNET_SCHEME_HTTP &&
      components.nScheme != INTERNET_SCHEME_HTTPS) {
    ::SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return false;
  }
  if (!components.lpszHostName || components.dwHostNameLength == 0) {
    ::SetLastError(ERROR_INTERNET_INVALID_URL);
    return false;
  }
  parts->host = Piece(components.lpszHostName, components.dwHostNameLength);
  parts->port = components.nPort;
  // The extra information is the query and the fragment.
  const std::u16string path_and_query =
      Piece(components.lpszUrlPath, components.dwUrlPathLength) +
      Piece(components.lpszExtraInfo, components.dwExtraInfoLength);
  parts->path_and_query = path_and_query.substr(0, path_and_query.find(u'#'));
  if (parts->path_and_query.empty()) parts->path_and_query = u"/";
  parts->secure = components.nScheme == INTERNET_SCHEME_HTTPS;
  return true;
}

}  // namespace win
}  // namespace base
