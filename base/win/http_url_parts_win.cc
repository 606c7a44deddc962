// MakeHttpUrl: the part of splitting a URL that WinINet's and WinHTTP's
// splitters share. Kept apart from both libraries, so that neither user
// links the other.

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/win/http_url_win.h"

namespace base {
namespace win {

namespace {

// The same numbers in WinINet and WinHTTP.
constexpr DWORD kInvalidUrlError = 12005;
constexpr DWORD kUnrecognizedSchemeError = 12006;

}  // namespace

bool MakeHttpUrl(HttpScheme scheme, StringPiece16 host, uint16_t port,
                 StringPiece16 path, StringPiece16 extra,
                 const HttpUrlLimits& limits, HttpUrl* parts) {
  if (scheme == HttpScheme::kOther) {
    ::SetLastError(kUnrecognizedSchemeError);
    return false;
  }
  if (host.empty()) {
    ::SetLastError(kInvalidUrlError);
    return false;
  }
  // The extra information is the query and the fragment.
  std::u16string path_and_query(path);
  path_and_query.append(extra);
  path_and_query.erase(
      std::min(path_and_query.find(u'#'), path_and_query.size()));
  if (path_and_query.empty()) path_and_query = u"/";
  if ((limits.max_host && host.size() > limits.max_host) ||
      (limits.max_path && path_and_query.size() > limits.max_path)) {
    ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  parts->host = std::u16string(host);
  parts->port = port;
  parts->path_and_query = std::move(path_and_query);
  parts->secure = scheme == HttpScheme::kHttps;
  return true;
}

}  // namespace win
}  // namespace base
