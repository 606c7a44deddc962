// A dotted version number such as 52.0.2743.116: unsigned 32-bit components,
// most significant first, compared numerically component by component.

#ifndef BASE_VERSION_H_
#define BASE_VERSION_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

// A plain value type. A version without components is invalid.
class Version {
 public:
  // The invalid version.
  Version();
  // Parses |text|: pieces between "." must each be decimal digits of at most
  // 4294967295 (no sign, no white space, no empty piece), and the first piece
  // may not have leading zeros ("1.01" is 1.1, "01.1" is invalid). Any
  // failure leaves the version invalid; there is no partial result.
  explicit Version(StringPiece text);

  bool IsValid() const { return !components_.empty(); }

  // -1, 0 or 1 as this version is lower, equal or greater. A missing
  // trailing component counts as 0, so 1.0 equals 1.0.0. An invalid version
  // compares like a version of zeros.
  int CompareTo(const Version& other) const;

  const std::vector<uint32_t>& components() const { return components_; }

  // The components in decimal joined by "."; empty when invalid.
  std::string GetString() const;

 private:
  std::vector<uint32_t> components_;
};

}  // namespace base

#endif  // BASE_VERSION_H_
