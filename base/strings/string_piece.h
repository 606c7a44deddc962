// Non-owning views of narrow (bytes) and wide (UTF-16 units) text.
//
// A view is a pointer and a length, passed by value; it never owns or frees
// what it points to, so the text must outlive the view. A view may hold NUL
// characters when made from a pointer and an explicit length.

#ifndef BASE_STRINGS_STRING_PIECE_H_
#define BASE_STRINGS_STRING_PIECE_H_

#include <stddef.h>

#include <iosfwd>
#include <string>
#include <string_view>

namespace base {

template <typename CharT>
class BasicStringPiece {
 public:
  using value_type = CharT;
  using size_type = size_t;
  using const_iterator = const CharT*;
  using string_type = std::basic_string<CharT>;
  static constexpr size_t npos = static_cast<size_t>(-1);

  constexpr BasicStringPiece() : ptr_(nullptr), length_(0) {}
  // A null pointer gives an empty view (the pointer is kept as passed).
  constexpr BasicStringPiece(const CharT* str)  // NOLINT: implicit
      : ptr_(str), length_(str ? std::char_traits<CharT>::length(str) : 0) {}
  BasicStringPiece(const string_type& str)  // NOLINT
      : ptr_(str.data()), length_(str.size()) {}
  constexpr BasicStringPiece(const CharT* data, size_t length)
      : ptr_(data), length_(length) {}
  constexpr BasicStringPiece(std::basic_string_view<CharT> view)  // NOLINT
      : ptr_(view.data()), length_(view.size()) {}

  constexpr const CharT* data() const { return ptr_; }
  constexpr size_t size() const { return length_; }
  constexpr size_t length() const { return length_; }
  constexpr bool empty() const { return length_ == 0; }
  constexpr CharT operator[](size_t i) const { return ptr_[i]; }
  constexpr const CharT* begin() const { return ptr_; }
  constexpr const CharT* end() const { return ptr_ + length_; }
  CharT front() const { return ptr_[0]; }
  CharT back() const { return ptr_[length_ - 1]; }

  void clear() {
    ptr_ = nullptr;
    length_ = 0;
  }
  void set(const CharT* data, size_t length) {
    ptr_ = data;
    length_ = length;
  }
  void remove_prefix(size_t n) {
    ptr_ += n;
    length_ -= n;
  }
  void remove_suffix(size_t n) { length_ -= n; }

  constexpr std::basic_string_view<CharT> view() const {
    return std::basic_string_view<CharT>(ptr_ ? ptr_ : EmptyText(), length_);
  }
  operator std::basic_string_view<CharT>() const { return view(); }

  string_type as_string() const { return string_type(view()); }
  void CopyToString(string_type* target) const { target->assign(view()); }
  void AppendToString(string_type* target) const { target->append(view()); }

  int compare(BasicStringPiece other) const { return view().compare(other); }
  bool starts_with(BasicStringPiece prefix) const {
    return view().substr(0, prefix.size()) == prefix.view();
  }
  bool ends_with(BasicStringPiece suffix) const {
    return length_ >= suffix.length_ &&
           view().substr(length_ - suffix.length_) == suffix.view();
  }

  size_t find(CharT c, size_t pos = 0) const { return view().find(c, pos); }
  size_t find(BasicStringPiece s, size_t pos = 0) const {
    return view().find(s.view(), pos);
  }
  size_t rfind(CharT c, size_t pos = npos) const {
    return view().rfind(c, pos);
  }
  size_t rfind(BasicStringPiece s, size_t pos = npos) const {
    return view().rfind(s.view(), pos);
  }

  // Set searches always cover the whole view.
  size_t find_first_of(BasicStringPiece set, size_t pos = 0) const;
  size_t find_first_not_of(BasicStringPiece set, size_t pos = 0) const;
  size_t find_last_of(BasicStringPiece set) const;
  size_t find_last_not_of(BasicStringPiece set) const;

  // The position is clamped to the length and the count to what remains.
  BasicStringPiece substr(size_t pos, size_t count = npos) const {
    if (pos > length_) pos = length_;
    if (count > length_ - pos) count = length_ - pos;
    return BasicStringPiece(ptr_ + pos, count);
  }

 private:
  static constexpr const CharT* EmptyText() {
    return static_cast<const CharT*>(kEmpty);
  }
  static constexpr CharT kEmpty[1] = {0};

  const CharT* ptr_;
  size_t length_;
};

using StringPiece = BasicStringPiece<char>;
using StringPiece16 = BasicStringPiece<char16_t>;

template <>
size_t StringPiece::find_first_of(StringPiece set, size_t pos) const;
template <>
size_t StringPiece::find_first_not_of(StringPiece set, size_t pos) const;
template <>
size_t StringPiece::find_last_of(StringPiece set) const;
template <>
size_t StringPiece::find_last_not_of(StringPiece set) const;
template <>
size_t StringPiece16::find_first_of(StringPiece16 set, size_t pos) const;
template <>
size_t StringPiece16::find_first_not_of(StringPiece16 set, size_t pos) const;
template <>
size_t StringPiece16::find_last_of(StringPiece16 set) const;
template <>
size_t StringPiece16::find_last_not_of(StringPiece16 set) const;

template <typename CharT>
bool operator==(BasicStringPiece<CharT> a, BasicStringPiece<CharT> b) {
  return a.size() == b.size() && a.view() == b.view();
}
template <typename CharT>
bool operator!=(BasicStringPiece<CharT> a, BasicStringPiece<CharT> b) {
  return !(a == b);
}
template <typename CharT>
bool operator<(BasicStringPiece<CharT> a, BasicStringPiece<CharT> b) {
  return a.compare(b) < 0;
}

// Mixed comparisons with literals and standard strings.
inline bool operator==(StringPiece a, const char* b) {
  return a == StringPiece(b);
}
inline bool operator==(StringPiece16 a, const char16_t* b) {
  return a == StringPiece16(b);
}
inline bool operator==(StringPiece a, const std::string& b) {
  return a == StringPiece(b);
}
inline bool operator==(StringPiece16 a, const std::u16string& b) {
  return a == StringPiece16(b);
}

std::ostream& operator<<(std::ostream& out, StringPiece piece);
std::ostream& operator<<(std::ostream& out, StringPiece16 piece);

}  // namespace base

#endif  // BASE_STRINGS_STRING_PIECE_H_
