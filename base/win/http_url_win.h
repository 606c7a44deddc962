// An http or https URL split into what a WinINet or WinHTTP request needs:
// the host and port to connect to, the object to ask for, and whether the
// connection is secure. Each library splits with its own call (WinINet's
// CrackHttpUrl below; WinHTTP code calls WinHttpCrackUrl) and both build
// the result with MakeHttpUrl. The header leaves wininet.h out, so that
// WinHTTP code may use it too.

#ifndef BASE_WIN_HTTP_URL_WIN_H_
#define BASE_WIN_HTTP_URL_WIN_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"

namespace base {
namespace win {

struct HttpUrl {
  std::u16string host;
  // The URL's port, else the scheme's (80 or 443).
  uint16_t port = 0;
  // The path with its query, as written (nothing is decoded); "/" when the
  // URL has neither. Never the fragment, which stays with the client.
  std::u16string path_and_query;
  // https.
  bool secure = false;
};

// The longest host and path (with its query) a caller accepts; 0 accepts
// any length.
struct HttpUrlLimits {
  size_t max_host = 0;
  size_t max_path = 0;
};

enum class HttpScheme { kOther, kHttp, kHttps };

// |parts| from the pieces a splitter found: |extra| is the query with the
// fragment. False, with the last error set, for a scheme other than http
// and https (12006, "unrecognized scheme" in both libraries), an empty host
// (12005, "invalid URL"), or a host or path beyond |limits|
// (ERROR_INSUFFICIENT_BUFFER, as a splitter with buffers of that size
// answers); |*parts| is then unspecified.
bool MakeHttpUrl(HttpScheme scheme, StringPiece16 host, uint16_t port,
                 StringPiece16 path, StringPiece16 extra,
                 const HttpUrlLimits& limits, HttpUrl* parts);

// Splits |url| with WinINet's InternetCrackUrlW; see MakeHttpUrl for the
// failures (and whatever InternetCrackUrlW refuses).
bool CrackHttpUrl(const std::u16string& url, HttpUrl* parts,
                  const HttpUrlLimits& limits = {});

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_HTTP_URL_WIN_H_
