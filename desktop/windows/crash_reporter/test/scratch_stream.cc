#include "desktop/windows/crash_reporter/test/scratch_stream.h"

#include "base/files/file_util.h"

namespace crash_reporter {
namespace test {

ScratchStream::ScratchStream() {
  if (dir_.CreateUniqueTempDir())
    stream_ = base::OpenFile(dir_.GetPath().AppendASCII("stream"), "w+b");
}

ScratchStream::~ScratchStream() {
  if (stream_) fclose(stream_);
}

std::string ScratchStream::ReadAll() {
  std::string text;
  if (!stream_) return text;
  fflush(stream_);
  rewind(stream_);
  char buffer[4096];
  size_t read;
  while ((read = fread(buffer, 1, sizeof(buffer), stream_)) > 0)
    text.append(buffer, read);
  return text;
}

}  // namespace test
}  // namespace crash_reporter
