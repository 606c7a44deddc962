#include "base/strings/string_piece.h"

#include <ostream>

#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

// A set of more than one byte becomes a table of flags, so that a set search
// stays linear in the length of the view.
struct ByteTable {
  explicit ByteTable(StringPiece set) {
    for (char c : set) flags[static_cast<unsigned char>(c)] = true;
  }
  bool Has(char c) const { return flags[static_cast<unsigned char>(c)]; }
  bool flags[256] = {};
};

template <typename CharT>
bool InSet(BasicStringPiece<CharT> set, CharT c) {
  for (CharT member : set) {
    if (member == c) return true;
  }
  return false;
}

}  // namespace

template <>
size_t StringPiece::find_first_of(StringPiece set, size_t pos) const {
  if (empty() || set.empty()) return npos;
  if (set.size() == 1) return find(set[0], pos);
  ByteTable table(set);
  for (size_t i = pos; i < size(); ++i) {
    if (table.Has(ptr_[i])) return i;
  }
  return npos;
}

template <>
size_t StringPiece::find_first_not_of(StringPiece set, size_t pos) const {
  if (empty()) return npos;
  if (set.empty()) return pos < size() ? pos : npos;
  if (set.size() == 1) {
    for (size_t i = pos; i < size(); ++i) {
      if (ptr_[i] != set[0]) return i;
    }
    return npos;
  }
  ByteTable table(set);
  for (size_t i = pos; i < size(); ++i) {
    if (!table.Has(ptr_[i])) return i;
  }
  return npos;
}

template <>
size_t StringPiece::find_last_of(StringPiece set) const {
  if (empty() || set.empty()) return npos;
  if (set.size() == 1) return rfind(set[0]);
  ByteTable table(set);
  for (size_t i = size(); i-- > 0;) {
    if (table.Has(ptr_[i])) return i;
  }
  return npos;
}

template <>
size_t StringPiece::find_last_not_of(StringPiece set) const {
  if (empty()) return npos;
  if (set.empty()) return size() - 1;
  if (set.size() == 1) {
    for (size_t i = size(); i-- > 0;) {
      if (ptr_[i] != set[0]) return i;
    }
    return npos;
  }
  ByteTable table(set);
  for (size_t i = size(); i-- > 0;) {
    if (!table.Has(ptr_[i])) return i;
  }
  return npos;
}

// Wide views compare each unit with every member of the set in turn.
template <>
size_t StringPiece16::find_first_of(StringPiece16 set, size_t pos) const {
  for (size_t i = pos; i < size(); ++i) {
    if (InSet(set, ptr_[i])) return i;
  }
  return npos;
}

template <>
size_t StringPiece16::find_first_not_of(StringPiece16 set, size_t pos) const {
  for (size_t i = pos; i < size(); ++i) {
    if (!InSet(set, ptr_[i])) return i;
  }
  return npos;
}

template <>
size_t StringPiece16::find_last_of(StringPiece16 set) const {
  for (size_t i = size(); i-- > 0;) {
    if (InSet(set, ptr_[i])) return i;
  }
  return npos;
}

template <>
size_t StringPiece16::find_last_not_of(StringPiece16 set) const {
  for (size_t i = size(); i-- > 0;) {
    if (!InSet(set, ptr_[i])) return i;
  }
  return npos;
}

std::ostream& operator<<(std::ostream& out, StringPiece piece) {
  return out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
}

std::ostream& operator<<(std::ostream& out, StringPiece16 piece) {
  return out << UTF16ToUTF8(piece);
}

}  // namespace base
