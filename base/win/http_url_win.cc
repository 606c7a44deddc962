#include "base/win/http_url_win.h"

#include <windows.h>
#include <wininet.h>

#include "base/strings/string_util_win.h"

namespace base {
namespace win {

namespace {

StringPiece16 Piece(const wchar_t* text, DWORD length) {
  return text ? StringPiece16(as_u16cstr(text), length) : StringPiece16();
}

HttpScheme ToScheme(INTERNET_SCHEME scheme) {
  if (scheme == INTERNET_SCHEME_HTTP) return HttpScheme::kHttp;
  if (scheme == INTERNET_SCHEME_HTTPS) return HttpScheme::kHttps;
  return HttpScheme::kOther;
}

}  // namespace

bool CrackHttpUrl(const std::u16string& url, HttpUrl* parts,
                  const HttpUrlLimits& limits) {
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
  return MakeHttpUrl(
      ToScheme(components.nScheme),
      Piece(components.lpszHostName, components.dwHostNameLength),
      components.nPort,
      Piece(components.lpszUrlPath, components.dwUrlPathLength),
      Piece(components.lpszExtraInfo, components.dwExtraInfoLength), limits,
      parts);
}

}  // namespace win
}  // namespace base
