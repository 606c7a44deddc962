#include "base/files/file_path.h"
#include "base/strings/string_util.h"

namespace base {

// Away from Windows only ASCII letters are folded; that is enough for the
// portable build, which never sees user paths.
// static
FilePath::CharType FilePath::UpperCaseUnit(CharType c) {
  return ToUpperASCII(c);
}

}  // namespace base
