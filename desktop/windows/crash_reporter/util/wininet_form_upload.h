// WinInetFormUpload: one multipart/form-data POST over WinINet, the way the
// text crash log reaches the crash server. The body is built whole in memory
// (UTF-8) before anything is sent.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_WININET_FORM_UPLOAD_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_WININET_FORM_UPLOAD_H_

#include <stdint.h>

#include <map>
#include <optional>
#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {

class WinInetFormUpload {
 public:
  // Field name to value, and field name to file; sent in this order (by
  // UTF-16 code units), fields first.
  using Fields = std::map<std::u16string, std::u16string>;
  using Files = std::map<std::u16string, base::FilePath>;

  WinInetFormUpload() = delete;

  // Posts |fields| and |files| to |url| (http or https; its query is kept)
  // with the agent "CrashReporter/1.0 (Windows)" + |user_agent_suffix|. Each
  // file part is sent under its base name as file name. With |timeout_ms|
  // the request's send and receive time-outs are set to it.
  //
  // True only when the server answered 200 and the whole reply arrived.
  // |status| (when given) receives the reply's status, 0 when there was
  // none; |reply| (when given) the reply as UTF-8 text; a reply that is not
  // wanted is only counted. Nothing is sent when a field name is empty, holds
  // a character outside 32-127 or a '"', or when a file cannot be read.
  static bool Send(const std::u16string& user_agent_suffix,
                   const std::u16string& url, const Fields& fields,
                   const Files& files, std::optional<int32_t> timeout_ms,
                   std::u16string* reply, int32_t* status);
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_WININET_FORM_UPLOAD_H_
