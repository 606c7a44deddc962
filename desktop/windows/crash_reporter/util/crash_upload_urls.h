// Where crash uploads go: the crash server (duplicate check and text log),
// the minidump collector, and the user-agent suffix of every upload; plus
// the pieces of URL text the uploads build and read.
//
// InitCrashUploadUrls fills the process-wide endpoints once, before the
// first upload; afterwards any thread reads them.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_URLS_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_URLS_H_

#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"

namespace crash_reporter {

inline constexpr char16_t kCrashServerUrlVariable[] = u"VELNA_CRASH_SERVER_URL";
inline constexpr char16_t kAlternativeCrashServerUrlVariable[] =
    u"VELNA_ALTERNATIVE_CRASH_SERVER_URL";
// Used when kAlternativeCrashServerUrlVariable is unset or empty.
inline constexpr char16_t kBuiltInCollectorUrl[] =
    u"https://collector.velna.com/collector/submit";

struct CrashUploadUrls {
  std::u16string crash_server_url;
  std::u16string collector_url;
  std::u16string user_agent_suffix;  // " (Edition <stream>)"
};

// Crash server: kCrashServerUrlVariable, else the branding's "crash" URL;
// with the e-mail variable (GetCrashEmailVariableName) set, its value is
// added as the query parameter "email". Collector:
// kAlternativeCrashServerUrlVariable, else kBuiltInCollectorUrl.
void InitCrashUploadUrls();
// Empty strings before InitCrashUploadUrls.
const CrashUploadUrls& GetCrashUploadUrls();

// The branding product name with its ASCII letters upper-cased, followed by
// "_CRASH_EMAIL".
std::u16string GetCrashEmailVariableName();

// |url| with "email=" and the percent-encoded |email| added to its query
// ("?" or, when |url| already has a query, "&"); |url| itself when |email|
// is empty.
std::u16string AppendEmailToUrl(const std::u16string& url,
                                const std::u16string& email);

// |utf8| with every byte but the unreserved characters (letters, digits,
// "-._~") written as "%" and two upper-case hexadecimal digits.
std::string PercentEncodeQueryValue(base::StringPiece utf8);

// The id of a duplicate-check reply's Location: the text between "?id=" and
// the first "&" after it. False, with |id| untouched, when either is missing.
bool ParseDuplicateCheckLocation(base::StringPiece16 location,
                                 std::u16string* id);

// The value of an environment variable; empty when it is unset or empty. A
// value that grows between the size query and the read is still read whole.
std::u16string ReadEnvironmentString(const char16_t* name);

// The decimal text of |value| as a wide string, without sign or leading
// zeros; the reporter's record of its own crashes is written with them.
std::u16string UintToWString(uint32_t value);
std::u16string Uint64ToWString(uint64_t value);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_URLS_H_
