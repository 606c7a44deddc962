// ScopedPlainPathLimit: Windows refuses a plain path ("C:\...") of 260
// units or more (a new folder's of 248) unless it carries the "\\?\"
// prefix; Wine takes any length, so under Wine a call that forgot the long
// form would pass unnoticed. While the object lives, the file calls that
// this program imports fail on such paths with ERROR_FILENAME_EXCED_RANGE,
// as Windows' do. Only the calling program's own imports are redirected
// (not those of libraries it loads, nor other processes). Create it on one
// thread while no other thread makes file calls; one at a time.

#ifndef BASE_TEST_SCOPED_PLAIN_PATH_LIMIT_WIN_H_
#define BASE_TEST_SCOPED_PLAIN_PATH_LIMIT_WIN_H_

#include <stddef.h>

namespace base {

class ScopedPlainPathLimit {
 public:
  ScopedPlainPathLimit();
  ScopedPlainPathLimit(const ScopedPlainPathLimit&) = delete;
  ScopedPlainPathLimit& operator=(const ScopedPlainPathLimit&) = delete;
  ~ScopedPlainPathLimit();

  // Whether every call was redirected.
  bool ok() const { return ok_; }

  // Calls refused so far for an over-long plain path.
  static size_t refused();

 private:
  bool ok_ = false;
};

}  // namespace base

#endif  // BASE_TEST_SCOPED_PLAIN_PATH_LIMIT_WIN_H_
