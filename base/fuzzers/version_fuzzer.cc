// Parses the input as a version, and its two halves as two versions, and
// checks that valid versions read back from their own text, that comparison
// is antisymmetric, and that splitting at "." loses nothing.

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "base/logging.h"
#include "base/strings/string_piece.h"
#include "base/strings/string_split.h"
#include "base/strings/string_util.h"
#include "base/version.h"

namespace {

void CheckVersion(base::StringPiece text) {
  const base::Version version(text);
  const std::vector<std::string> parts = base::SplitString(
      text, ".", base::SplitWhitespace::kKeep, base::SplitFilter::kAll);
  CHECK(base::JoinString(parts, ".") == text.as_string());
  if (!version.IsValid()) return;
  CHECK(parts.size() == version.components().size());
  const base::Version again(version.GetString());
  CHECK(again.IsValid());
  CHECK(again.components() == version.components());
  CHECK(again.CompareTo(version) == 0 && version.CompareTo(again) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const base::StringPiece text(reinterpret_cast<const char*>(data), size);
  CheckVersion(text);
  const base::Version a(text.substr(0, size / 2));
  const base::Version b(text.substr(size / 2));
  CheckVersion(text.substr(0, size / 2));
  CheckVersion(text.substr(size / 2));
  if (a.IsValid() && b.IsValid()) {
    const int forward = a.CompareTo(b);
    CHECK(forward >= -1 && forward <= 1);
    CHECK(forward == -b.CompareTo(a));
  }
  return 0;
}
