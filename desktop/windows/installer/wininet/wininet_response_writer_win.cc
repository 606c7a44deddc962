#include <windows.h>

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/wininet/wininet_response_writer.h"

namespace installer {

FileResponseWriter::FileResponseWriter() = default;

FileResponseWriter::~FileResponseWriter() = default;

bool FileResponseWriter::Open(const base::FilePath& path) {
  file_.Set(::CreateFileW(base::as_wcstr(path.value()), GENERIC_WRITE, 0,
                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                          nullptr));
  if (!file_.IsValid()) {
    PLOG(ERROR) << "Could not open download file for writing";
    return false;
  }
  return true;
}

bool FileResponseWriter::Write(const void* data, uint32_t size) {
  DWORD written = 0;
  if (!file_.IsValid() ||
      !::WriteFile(file_.Get(), data, size, &written, nullptr) ||
      written != size) {
    PLOG(ERROR) << "Failed writing response to downloading file";
    return false;
  }
  return true;
}

bool FileResponseWriter::Rewind() {
  LARGE_INTEGER start = {};
  if (!file_.IsValid() ||
      !::SetFilePointerEx(file_.Get(), start, nullptr, FILE_BEGIN) ||
      !::SetEndOfFile(file_.Get())) {
    PLOG(ERROR) << "Failed emptying the downloading file";
    return false;
  }
  return true;
}

void FileResponseWriter::Close() { file_.Close(); }

}  // namespace installer
