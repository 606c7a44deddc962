// A stdio stream over a file in a folder of its own, for tests of writers
// that take a FILE*. The C runtime's tmpfile() names its files in the
// drive's root on Windows, where parallel test processes collide.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCRATCH_STREAM_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCRATCH_STREAM_H_

#include <stdio.h>

#include <string>

#include "base/test/scoped_temp_dir.h"

namespace crash_reporter {
namespace test {

class ScratchStream {
 public:
  ScratchStream();
  ScratchStream(const ScratchStream&) = delete;
  ScratchStream& operator=(const ScratchStream&) = delete;
  ~ScratchStream();

  // Null when the file could not be made.
  FILE* get() const { return stream_; }
  // Everything written so far.
  std::string ReadAll();

 private:
  base::ScopedTempDir dir_;
  FILE* stream_ = nullptr;
};

}  // namespace test
}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_TEST_SCRATCH_STREAM_H_
