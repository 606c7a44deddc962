// The crash upload: ask the crash server whether a crash is already known,
// then upload the text crash log (zipped, over WinINet, to the crash server)
// and the minidump (gzipped multipart, over WinHTTP, to the collector).
//
// Call InitCrashUploadUrls (crash_upload_urls.h) first. The duplicate check
// runs on the calling thread. The asynchronous uploads run on the system
// thread pool, each holding one unit of ReporterLifetime from before it is
// queued until its task has been destroyed; their order is not fixed. The
// synchronous ones run on the calling thread. Uploads are never retried.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_H_

#include <stdint.h>

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/crash_reporter/util/crash_upload_task.h"

namespace crash_reporter {

enum class DuplicateCheckResult : int {
  // The server answered 303 with a Location that carries an id.
  kKnownCrash = 0,
  // The server answered 503: do not upload the text log.
  kSkip = 1,
  // Any other answer, and every failure.
  kNoVerdict = 2,
};

// A GET of the crash server URL carrying "X-Velna-Crash-URL: |active_url|"
// and "X-Origin: |origin|" (each only when not empty). With |timeout_ms|
// above 0, connecting, sending and receiving each give up after it. |id| and
// |location| are written only for kKnownCrash.
DuplicateCheckResult CheckDuplicateCrash(const std::u16string& active_url,
                                         const std::u16string& origin,
                                         std::u16string* id,
                                         std::u16string* location,
                                         int32_t timeout_ms);

// Queue the upload of a text log (zipped) or a minidump (gzipped); with
// |delete_file| the file is deleted once its task ends, whatever happened.
// UploadCrashLogAsync returns false when the task could not be queued (the
// file is then already deleted when asked).
bool UploadCrashLogAsync(const base::FilePath& path, const FormFields& fields,
                         bool delete_file);
void UploadMinidumpAsync(const base::FilePath& path, const FormFields& fields,
                         bool delete_file);

// Upload now, on the calling thread, then delete the file. True when the
// upload succeeded.
bool UploadCrashLogNow(const base::FilePath& path, const FormFields& fields,
                       bool compress);
bool UploadMinidumpNow(const base::FilePath& path, const FormFields& fields,
                       bool compress);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_H_
