#include "base/version.h"

#include <stddef.h>

#include <algorithm>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"

namespace base {

namespace {

bool ParseComponents(StringPiece text, std::vector<uint32_t>* components) {
  const std::vector<StringPiece> pieces =
      SplitStringPiece(text, '.', SplitWhitespace::kKeep, SplitFilter::kAll);
  if (pieces.empty()) return false;
  for (size_t i = 0; i < pieces.size(); ++i) {
    const StringPiece piece = pieces[i];
    // The number parser would skip a "+"; a version never has one.
    if (!piece.empty() && piece[0] == '+') return false;
    unsigned value = 0;
    if (!StringToUint(piece, &value)) return false;
    // Only the first component must read back as written: "01.1" is refused
    // while later components keep their leading zeros ("1.01" is 1.1).
    if (i == 0 && StringPiece(UintToString(value)) != piece) return false;
    components->push_back(value);
  }
  return true;
}

}  // namespace

Version::Version() = default;

Version::Version(StringPiece text) {
  std::vector<uint32_t> components;
  if (ParseComponents(text, &components)) components_.swap(components);
}

int Version::CompareTo(const Version& other) const {
  const std::vector<uint32_t>& mine = components_;
  const std::vector<uint32_t>& theirs = other.components_;
  const size_t shared = std::min(mine.size(), theirs.size());
  for (size_t i = 0; i < shared; ++i) {
    if (mine[i] != theirs[i]) return mine[i] > theirs[i] ? 1 : -1;
  }
  for (size_t i = shared; i < mine.size(); ++i) {
    if (mine[i] != 0) return 1;
  }
  for (size_t i = shared; i < theirs.size(); ++i) {
    if (theirs[i] != 0) return -1;
  }
  return 0;
}

std::string Version::GetString() const {
  std::string result;
  for (size_t i = 0; i < components_.size(); ++i) {
    if (i > 0) result.push_back('.');
    result += UintToString(components_[i]);
  }
  return result;
}

}  // namespace base
