// A path as a wide string with Windows separators.

#ifndef BASE_FILES_FILE_PATH_H_
#define BASE_FILES_FILE_PATH_H_

#include <string>

#include "base/strings/string_piece.h"

namespace base {

class FilePath {
 public:
  using StringType = std::u16string;
  using CharType = char16_t;

  FilePath() = default;
  explicit FilePath(StringPiece16 path) : path_(path.as_string()) {}

  static FilePath FromUTF16(StringPiece16 path) { return FilePath(path); }

  const StringType& value() const { return path_; }
  bool empty() const { return path_.empty(); }

  bool operator==(const FilePath& other) const { return path_ == other.path_; }
  bool operator!=(const FilePath& other) const { return path_ != other.path_; }

 private:
  StringType path_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_PATH_H_
