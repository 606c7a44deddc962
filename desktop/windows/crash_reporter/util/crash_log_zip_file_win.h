// The zip of a text crash log while it is uploaded. The crash folder may be
// one that other accounts write (the system's temporary folder, for a
// reporter running as the system), so the zip is made as the dumps are: a
// new file under a name nobody can know beforehand, reached through no
// link, written through its own handle. A file or link planted at any name
// is never written, so nobody else reads the log through it or changes
// what is sent.
//
// The object keeps the handle until it goes, letting others read the file
// but neither write, rename nor delete it: the upload reads it by its name
// meanwhile (sharing deletion, which the handle holds the right to). Then
// it deletes the file through that handle. One thread at a time.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_LOG_ZIP_FILE_WIN_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_LOG_ZIP_FILE_WIN_H_

#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace crash_reporter {

class CrashLogZipFile {
 public:
  CrashLogZipFile();
  CrashLogZipFile(const CrashLogZipFile&) = delete;
  CrashLogZipFile& operator=(const CrashLogZipFile&) = delete;
  // Deletes the file, if one was made.
  ~CrashLogZipFile();

  // Beside |log_path|: its name with the extension ".zip", and "-" and 16
  // random hexadecimal digits before it, new at each call. Empty for a log
  // path without a base name.
  static base::FilePath NewPathFor(const base::FilePath& log_path);

  // Zips the log into a new file at NewPathFor(|log_path|).
  bool Create(const base::FilePath& log_path);
  // Zips the log into a new file at |zip_path|. False, leaving no file and
  // whatever was at |zip_path| as it was, when the log cannot be zipped or
  // |zip_path| exists (a file, a link) or cannot be created. Once only.
  bool CreateAt(const base::FilePath& log_path, const base::FilePath& zip_path);

  // The file's path; empty until made.
  const base::FilePath& path() const { return path_; }

 private:
  void Delete();

  base::win::ScopedHandle file_;
  base::FilePath path_;
};

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_CRASH_LOG_ZIP_FILE_WIN_H_
