#include "desktop/windows/crash_reporter/test/minidump_test_util_win.h"

#include <windows.h>
// Needs windows.h first.
#include <dbghelp.h>

#include "base/files/file_util.h"
#include "desktop/windows/crash_reporter/minidump_writer_win.h"

namespace crash_reporter {
namespace test {

MinidumpContents ReadMinidumpFile(const base::FilePath& path) {
  MinidumpContents contents;
  std::string bytes;
  if (!base::FileUtil::ReadFileToString(path, &bytes) || bytes.empty())
    return contents;
  MINIDUMP_DIRECTORY* directory = nullptr;
  void* stream = nullptr;
  ULONG size = 0;
  if (MiniDumpReadDumpStream(bytes.data(), ExceptionStream, &directory, &stream,
                             &size) &&
      size >= sizeof(MINIDUMP_EXCEPTION_STREAM)) {
    const auto* exception = static_cast<MINIDUMP_EXCEPTION_STREAM*>(stream);
    contents.has_exception = true;
    contents.thread_id = exception->ThreadId;
    contents.code = exception->ExceptionRecord.ExceptionCode;
  }
  if (MiniDumpReadDumpStream(bytes.data(), kVersionStreamType, &directory,
                             &stream, &size)) {
    contents.version.assign(static_cast<const char*>(stream), size);
  }
  if (MiniDumpReadDumpStream(bytes.data(), kAssertionStreamType, &directory,
                             &stream, &size)) {
    contents.assertion.assign(static_cast<const char*>(stream), size);
  }
  return contents;
}

}  // namespace test
}  // namespace crash_reporter
