// ScopedNativeLibrariesFirst: for tests of library planting under Wine.
// Wine loads its own build of a system library even when the search finds
// another file of that name first (in the program's folder, say), where
// Windows loads what it finds. While the object lives, programs named
// |program_name| load the named libraries as Windows would: what the search
// finds first, else Wine's own. Kept in the registry, so it reaches every
// process of that name, however it was started.

#ifndef BASE_TEST_SCOPED_NATIVE_LIBRARIES_FIRST_WIN_H_
#define BASE_TEST_SCOPED_NATIVE_LIBRARIES_FIRST_WIN_H_

#include <string>
#include <vector>

namespace base {

class ScopedNativeLibrariesFirst {
 public:
  // |libraries| are file names ("dbghelp.dll"); |program_name| the base
  // name of the program ("planted.exe"), which should be the test's own.
  ScopedNativeLibrariesFirst(const std::u16string& program_name,
                             const std::vector<std::u16string>& libraries);
  ScopedNativeLibrariesFirst(const ScopedNativeLibrariesFirst&) = delete;
  ScopedNativeLibrariesFirst& operator=(const ScopedNativeLibrariesFirst&) =
      delete;
  ~ScopedNativeLibrariesFirst();

  // Whether every setting was written.
  bool ok() const { return ok_; }

 private:
  const std::u16string program_name_;
  bool ok_ = false;
};

}  // namespace base

#endif  // BASE_TEST_SCOPED_NATIVE_LIBRARIES_FIRST_WIN_H_
