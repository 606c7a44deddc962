// FilePath: a Windows path (folder or file name, absolute or relative) held
// as UTF-16 text, with the path operations the whole system relies on.
//
// Everything here is pure text manipulation: nothing touches the file system,
// resolves links or changes case. Both "\" and "/" count as separators; the
// separator that operations insert is "\". A path never holds a NUL unit:
// every constructor and every operation that makes a new path cuts the text
// at its first NUL. No operation fails; one that cannot give a meaningful
// path (adding an extension to "." or "..") gives the empty path.
//
// A FilePath is a plain value: concurrent reads are safe, writes need outside
// serialisation.

#ifndef BASE_FILES_FILE_PATH_H_
#define BASE_FILES_FILE_PATH_H_

#include <stddef.h>

#include <iosfwd>
#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace base {

class FilePath {
 public:
  using StringType = std::u16string;
  using CharType = char16_t;

  // The separators, in the order they are tested.
  static constexpr CharType kSeparators[] = u"\\/";
  static constexpr size_t kSeparatorsLength = 2;
  static constexpr CharType kCurrentDirectory[] = u".";
  static constexpr CharType kParentDirectory[] = u"..";
  static constexpr CharType kExtensionSeparator = u'.';

  FilePath() = default;
  // The text up to its first NUL.
  explicit FilePath(StringPiece16 path);
  FilePath(const FilePath& other) = default;
  FilePath(FilePath&& other) noexcept = default;
  FilePath& operator=(const FilePath& other) = default;
  FilePath& operator=(FilePath&& other) noexcept = default;

  static FilePath FromUTF16(StringPiece16 path) { return FilePath(path); }

  static bool IsSeparator(CharType c) { return c == u'\\' || c == u'/'; }

  // Index of the colon (1) of a leading ASCII drive letter, or npos.
  static size_t FindDriveLetter(StringPiece16 text);

  // Drive letters compare ASCII-case-insensitively when both texts start with
  // one; everything else must match unit for unit.
  static bool EqualPathStrings(StringPiece16 a, StringPiece16 b);

  // True for "", "." and "..".
  static bool IsEmptyOrSpecialCase(StringPiece16 text);

  // Three-way comparison (-1, 0, 1) after upper-casing each unit as the
  // system's CharUpperW does; the shorter of two texts that agree up to its
  // end compares lower.
  static int CompareIgnoreCase(StringPiece16 a, StringPiece16 b);

  const StringType& value() const { return path_; }
  bool empty() const { return path_.empty(); }

  bool operator==(const FilePath& other) const;
  bool operator!=(const FilePath& other) const { return !(*this == other); }
  // Plain text order, for ordered containers.
  bool operator<(const FilePath& other) const { return path_ < other.path_; }

  // The parent folder. A root ("C:\", "\", "\\") and a bare drive ("C:") are
  // their own parent; a path without a folder gives ".".
  FilePath DirName() const;
  // The last component, without trailing separators or a drive letter
  // ("C:\a\b" gives "b", "C:" gives "", "C:\" gives "\").
  FilePath BaseName() const;

  // The extension of the base name with its dot; the double extensions
  // ".tar.gz"-like (gz, z, bz2, bz after a part of 1-4 units) and ".user.js"
  // count whole. Empty when there is none.
  StringType Extension() const;
  FilePath RemoveExtension() const;
  // "a.tar.gz" with "_1" gives "a_1.tar.gz". Empty for a base name that is
  // empty, "." or "..".
  FilePath InsertBeforeExtension(StringPiece16 suffix) const;
  FilePath InsertBeforeExtensionASCII(StringPiece suffix) const;
  // Adds a "." when needed. An empty or "." extension gives a copy; a base
  // name that is empty, "." or ".." gives the empty path.
  FilePath AddExtension(StringPiece16 extension) const;
  FilePath ReplaceExtension(StringPiece16 extension) const;

  // Joins with one "\" unless this path is empty, ends in a separator or is a
  // bare drive ("C:" + "a" gives "C:a"). "." + component gives the
  // component. The component is not checked to be relative.
  FilePath Append(StringPiece16 component) const;
  FilePath AppendPath(const FilePath& component) const;
  FilePath AppendASCII(StringPiece component) const;

  // "C:\..." and "\\..." are absolute; "C:", "C:a" and "\a" are not.
  bool IsAbsolute() const;

  FilePath StripTrailingSeparators() const;

  // The components, root first: "C:\a\b" gives "C:", "\", "a", "b";
  // "\\server\share" gives "\\", "server", "share". Cleared first; nothing
  // happens for a null pointer.
  void GetComponents(std::vector<StringType>* components) const;

  // True when this path is a component-wise ancestor of |child| (drive
  // letters compared ASCII-case-insensitively, the rest exactly); the
  // child's remaining components are then appended to |*path| (not cleared
  // first) when |path| is given.
  bool AppendRelativePath(const FilePath& child, FilePath* path) const;

  // True when a component made only of dots and white space holds "..".
  bool ReferencesParent() const;

  // The text as bytes when every unit is ASCII, else empty.
  std::string MaybeAsASCII() const;
  std::string AsUTF8() const;

  // Every separator becomes "\", or |separator|.
  FilePath NormalizePathSeparators() const;
  FilePath NormalizePathSeparatorsTo(CharType separator) const;

 private:
  void StripTrailingSeparatorsInPlace();
  // The platform's single-character upper-casing used by CompareIgnoreCase.
  static CharType UpperCaseUnit(CharType c);

  StringType path_;
};

// Writes the path as UTF-8.
std::ostream& operator<<(std::ostream& out, const FilePath& path);

}  // namespace base

#endif  // BASE_FILES_FILE_PATH_H_
