// A named file mapping in the paging file, mapped into this process: the
// memory that the multi-process histogram tests share between a parent and
// its children. Test-only: the program itself never creates a persistent
// segment.

#ifndef BASE_METRICS_TEST_SHARED_SEGMENT_WIN_H_
#define BASE_METRICS_TEST_SHARED_SEGMENT_WIN_H_

#include <stddef.h>

#include <memory>
#include <string>

#include "base/win/scoped_handle.h"

namespace base {

class SharedSegment {
 public:
  // A new zero-filled mapping of |size| bytes named |name|, mapped
  // writable; null (logged) when it cannot be made or already exists.
  static std::unique_ptr<SharedSegment> Create(const std::u16string& name,
                                               size_t size);
  // The existing mapping |name|, mapped writable or read-only; null
  // (logged) on failure.
  static std::unique_ptr<SharedSegment> Open(const std::u16string& name,
                                             size_t size, bool read_only);

  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;
  ~SharedSegment();

  void* memory() const { return view_; }
  size_t size() const { return size_; }

 private:
  SharedSegment(win::ScopedHandle mapping, void* view, size_t size);
  static std::unique_ptr<SharedSegment> Map(win::ScopedHandle mapping,
                                            size_t size, bool read_only);

  win::ScopedHandle mapping_;
  void* const view_;
  const size_t size_;
};

}  // namespace base

#endif  // BASE_METRICS_TEST_SHARED_SEGMENT_WIN_H_
