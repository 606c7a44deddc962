// An http or https URL split into what a WinINet or WinHTTP request needs:
// the host and port to connect to, the object to ask for, and whether the
// connection is secure. The header leaves wininet.h out, so that WinHTTP
// code may use it too.

#ifndef BASE_WIN_HTTP_URL_WIN_H_
#define BASE_WIN_HTTP_URL_WIN_H_

#include <stdint.h>

#include <string>

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

// Splits |url| with InternetCrackUrlW; no part has a length limit. False,
// with the last error set, when |url| does not crack, when its scheme is
// neither http nor https (ERROR_INTERNET_UNRECOGNIZED_SCHEME) or when it has
// no host (ERROR_INTERNET_INVALID_URL); |*parts| is then unspecified.
bool CrackHttpUrl(const std::u16string& url, HttpUrl* parts);

}  // namespace win
}  // namespace base

#endif  // BASE_WIN_HTTP_URL_WIN_H_
