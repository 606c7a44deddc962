// Upload jobs of the crash reporter: one file with its form fields. A task
// is made, run once on one thread and destroyed; destroying it deletes the
// file when asked, whether the upload ran, succeeded or failed.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_TASK_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_TASK_H_

#include <map>
#include <string>

#include "base/files/file_path.h"

namespace crash_reporter {

// Form-field name to value, ordered by UTF-16 code units.
using FormFields = std::map<std::u16string, std::u16string>;

class CrashUploadTask {
 public:
  CrashUploadTask(const CrashUploadTask&) = delete;
  CrashUploadTask& operator=(const CrashUploadTask&) = delete;
  // Deletes the file when the delete-file flag is set.
  virtual ~CrashUploadTask();

  // Uploads; true on success.
  virtual bool Run() = 0;

 protected:
  CrashUploadTask(const base::FilePath& file_path, bool delete_file,
                  const FormFields& fields, bool compress);

  const base::FilePath& file_path() const { return file_path_; }
  const FormFields& fields() const { return fields_; }
  bool compress() const { return compress_; }

 private:
  const base::FilePath file_path_;
  const bool delete_file_;
  const FormFields fields_;
  const bool compress_;
};

// The text log to the crash server, as the part "file"; with compress set,
// as a zip holding "crashlog.txt" (a new file beside the log under a random
// name, see CrashLogZipFile, deleted after the send). A log that cannot be
// zipped is not sent.
class CrashLogUploadTask : public CrashUploadTask {
 public:
  CrashLogUploadTask(const base::FilePath& file_path, bool delete_file,
                     const FormFields& fields, bool compress);
  ~CrashLogUploadTask() override;

  bool Run() override;
};

// The minidump to the collector, as the part "upload_file_minidump" under
// its base name; with compress set, the body is gzipped.
class MinidumpUploadTask : public CrashUploadTask {
 public:
  MinidumpUploadTask(const base::FilePath& file_path, bool delete_file,
                     const FormFields& fields, bool compress);
  ~MinidumpUploadTask() override;

  bool Run() override;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_UPLOAD_TASK_H_
