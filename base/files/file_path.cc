#include "base/files/file_path.h"

#include <algorithm>
#include <ostream>

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

using StringType = FilePath::StringType;
constexpr size_t npos = StringType::npos;

StringType CutAtNul(StringPiece16 text) {
  size_t nul = text.find(u'\0');
  return StringType(text.substr(0, nul).view());
}

// The index of the drive colon as a signed value, -1 without a drive, so
// that "letter + k" reads as in the path rules.
ptrdiff_t DriveIndex(const StringType& text) {
  size_t letter = FilePath::FindDriveLetter(text);
  return letter == npos ? -1 : static_cast<ptrdiff_t>(letter);
}

size_t FindLastSeparator(const StringType& text, size_t before = npos) {
  return text.find_last_of(FilePath::kSeparators, before);
}

bool AreAllSeparators(const StringType& text) {
  return std::all_of(text.begin(), text.end(), FilePath::IsSeparator);
}

size_t FinalExtensionSeparatorPosition(const StringType& text) {
  if (text == FilePath::kCurrentDirectory || text == FilePath::kParentDirectory)
    return npos;
  return text.rfind(FilePath::kExtensionSeparator);
}

// Where the extension starts, counting the known double extensions whole.
size_t ExtensionSeparatorPosition(const StringType& text) {
  const size_t last = FinalExtensionSeparatorPosition(text);
  // A name that begins with its only dot (".profile") is all extension.
  if (last == npos || last == 0) return last;

  const size_t penultimate =
      text.rfind(FilePath::kExtensionSeparator, last - 1);
  if (penultimate == npos) return last;
  const size_t last_separator = FindLastSeparator(text, last - 1);
  if (last_separator != npos && last_separator > penultimate) return last;

  if (EqualsCaseInsensitiveASCII16(StringPiece16(text).substr(penultimate + 1),
                                   "user.js"))
    return penultimate;

  static const char* const kCompressionExtensions[] = {"gz", "z", "bz2", "bz"};
  const StringPiece16 final_extension = StringPiece16(text).substr(last + 1);
  for (const char* extension : kCompressionExtensions) {
    if (EqualsCaseInsensitiveASCII16(final_extension, extension)) {
      if (last - penultimate >= 2 && last - penultimate <= 5)
        return penultimate;
      break;
    }
  }
  return last;
}

// "C:\..." and "\\..." (a UNC or double-separator root) are absolute;
// "C:", "C:a" and "\a" are not.
bool IsPathAbsolute(StringPiece16 text) {
  if (FilePath::FindDriveLetter(text) != npos)
    return text.size() >= 3 && FilePath::IsSeparator(text[2]);
  return text.size() >= 2 && FilePath::IsSeparator(text[0]) &&
         FilePath::IsSeparator(text[1]);
}

StringType WidenASCII(StringPiece text) {
  StringType wide;
  wide.reserve(text.size());
  for (char c : text) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace

FilePath::FilePath(StringPiece16 path) : path_(CutAtNul(path)) {}

// static
size_t FilePath::FindDriveLetter(StringPiece16 text) {
  if (text.size() >= 2 && text[1] == u':' &&
      ((text[0] >= u'A' && text[0] <= u'Z') ||
       (text[0] >= u'a' && text[0] <= u'z')))
    return 1;
  return npos;
}

// static
bool FilePath::EqualPathStrings(StringPiece16 a, StringPiece16 b) {
  if (FindDriveLetter(a) != npos && FindDriveLetter(b) != npos) {
    return EqualsCaseInsensitiveASCII16(a.substr(0, 2), b.substr(0, 2)) &&
           a.substr(2) == b.substr(2);
  }
  return a == b;
}

// static
bool FilePath::IsEmptyOrSpecialCase(StringPiece16 text) {
  return text.empty() || text == StringPiece16(kCurrentDirectory) ||
         text == StringPiece16(kParentDirectory);
}

// static
int FilePath::CompareIgnoreCase(StringPiece16 a, StringPiece16 b) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const CharType ua = UpperCaseUnit(a[i]);
    const CharType ub = UpperCaseUnit(b[i]);
    if (ua != ub) return ua < ub ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool FilePath::operator==(const FilePath& other) const {
  return EqualPathStrings(path_, other.path_);
}

void FilePath::StripTrailingSeparatorsInPlace() {
  // A lone root separator stays, a leading pair stays a pair, and three or
  // more leading separators collapse to one.
  const ptrdiff_t start = DriveIndex(path_) + 2;
  ptrdiff_t last_stripped = -1;
  for (ptrdiff_t pos = static_cast<ptrdiff_t>(path_.size());
       pos > start && IsSeparator(path_[pos - 1]); --pos) {
    if (pos != start + 1 || last_stripped == start + 2 ||
        !IsSeparator(path_[start - 1])) {
      path_.resize(pos - 1);
      last_stripped = pos;
    }
  }
}

FilePath FilePath::StripTrailingSeparators() const {
  FilePath result(*this);
  result.StripTrailingSeparatorsInPlace();
  return result;
}

FilePath FilePath::DirName() const {
  FilePath result(*this);
  result.StripTrailingSeparatorsInPlace();
  StringType& text = result.path_;
  const ptrdiff_t letter = DriveIndex(text);
  const size_t last_separator = FindLastSeparator(text);
  if (last_separator == npos) {
    // "C:a" gives "C:", "a" gives "".
    text.resize(letter + 1);
  } else if (static_cast<ptrdiff_t>(last_separator) == letter + 1) {
    // Just below the root: "C:\a" gives "C:\", "\a" gives "\".
    text.resize(letter + 2);
  } else if (static_cast<ptrdiff_t>(last_separator) == letter + 2 &&
             IsSeparator(text[letter + 1])) {
    // Just below a double-separator root: "\\server" gives "\\".
    text.resize(letter + 3);
  } else if (last_separator != 0) {
    text.resize(last_separator);
  }
  result.StripTrailingSeparatorsInPlace();
  if (text.empty()) text = kCurrentDirectory;
  return result;
}

FilePath FilePath::BaseName() const {
  FilePath result(*this);
  result.StripTrailingSeparatorsInPlace();
  StringType& text = result.path_;
  if (FindDriveLetter(text) != npos) text.erase(0, 2);
  const size_t last_separator = FindLastSeparator(text);
  if (last_separator != npos && last_separator < text.size() - 1)
    text.erase(0, last_separator + 1);
  return result;
}

FilePath::StringType FilePath::Extension() const {
  const FilePath base = BaseName();
  const size_t position = ExtensionSeparatorPosition(base.path_);
  if (position == npos) return StringType();
  return base.path_.substr(position);
}

FilePath FilePath::RemoveExtension() const {
  if (Extension().empty()) return *this;
  const size_t position = ExtensionSeparatorPosition(path_);
  if (position == npos) return *this;
  return FilePath(StringPiece16(path_).substr(0, position));
}

FilePath FilePath::InsertBeforeExtension(StringPiece16 suffix) const {
  if (suffix.empty()) return *this;
  if (IsEmptyOrSpecialCase(BaseName().path_)) return FilePath();
  StringType text = RemoveExtension().path_;
  suffix.AppendToString(&text);
  text.append(Extension());
  return FilePath(text);
}

FilePath FilePath::InsertBeforeExtensionASCII(StringPiece suffix) const {
  return InsertBeforeExtension(WidenASCII(suffix));
}

FilePath FilePath::AddExtension(StringPiece16 extension) const {
  if (IsEmptyOrSpecialCase(BaseName().path_)) return FilePath();
  if (extension.empty() || extension == StringPiece16(u".")) return *this;
  StringType text = path_;
  if (extension[0] != kExtensionSeparator &&
      (text.empty() || text.back() != kExtensionSeparator))
    text.push_back(kExtensionSeparator);
  extension.AppendToString(&text);
  return FilePath(text);
}

FilePath FilePath::ReplaceExtension(StringPiece16 extension) const {
  if (IsEmptyOrSpecialCase(BaseName().path_)) return FilePath();
  FilePath without = RemoveExtension();
  if (extension.empty() || extension == StringPiece16(u".")) return without;
  StringType text = without.path_;
  if (extension[0] != kExtensionSeparator) text.push_back(kExtensionSeparator);
  extension.AppendToString(&text);
  return FilePath(text);
}

FilePath FilePath::Append(StringPiece16 component) const {
  // Copied first: the component may point into this path.
  const StringType appended = CutAtNul(component);
  if (path_ == kCurrentDirectory) return FilePath(appended);

  FilePath result(*this);
  result.StripTrailingSeparatorsInPlace();
  StringType& text = result.path_;
  if (!appended.empty() && !text.empty() && !IsSeparator(text.back()) &&
      !(text.size() == 2 && FindDriveLetter(text) != npos))
    text.push_back(kSeparators[0]);
  text.append(appended);
  return result;
}

FilePath FilePath::AppendPath(const FilePath& component) const {
  return Append(component.path_);
}

FilePath FilePath::AppendASCII(StringPiece component) const {
  return Append(WidenASCII(component));
}

bool FilePath::IsAbsolute() const { return IsPathAbsolute(path_); }

void FilePath::GetComponents(std::vector<StringType>* components) const {
  if (!components) return;
  components->clear();
  if (path_.empty()) return;

  std::vector<StringType> reversed;
  FilePath current = *this;
  FilePath parent = current.DirName();
  while (parent != current) {
    StringType base = current.BaseName().path_;
    if (!AreAllSeparators(base)) reversed.push_back(std::move(base));
    current = parent;
    parent = current.DirName();
  }
  StringType base = current.BaseName().path_;
  if (!base.empty() && base != kCurrentDirectory)
    reversed.push_back(std::move(base));
  if (FindDriveLetter(parent.path_) != npos)
    reversed.push_back(parent.path_.substr(0, 2));

  components->assign(reversed.rbegin(), reversed.rend());
}

bool FilePath::AppendRelativePath(const FilePath& child, FilePath* path) const {
  std::vector<StringType> parent_components;
  std::vector<StringType> child_components;
  GetComponents(&parent_components);
  child.GetComponents(&child_components);
  if (parent_components.empty() ||
      parent_components.size() >= child_components.size())
    return false;

  size_t i = 0;
  if (FindDriveLetter(parent_components[0]) != npos &&
      FindDriveLetter(child_components[0]) != npos) {
    const StringType& parent_drive = parent_components[0];
    const StringType& child_drive = child_components[0];
    if (child_drive.size() > parent_drive.size() ||
        !EqualsCaseInsensitiveASCII16(
            child_drive,
            StringPiece16(parent_drive).substr(0, child_drive.size())))
      return false;
    i = 1;
  }
  for (; i < parent_components.size(); ++i) {
    if (parent_components[i] != child_components[i]) return false;
  }
  if (path) {
    for (; i < child_components.size(); ++i)
      *path = path->Append(child_components[i]);
  }
  return true;
}

bool FilePath::ReferencesParent() const {
  std::vector<StringType> components;
  GetComponents(&components);
  for (const StringType& component : components) {
    // Windows ignores trailing dots and blanks, so "... " and ".. " reach
    // the parent as well.
    if (component.find_first_not_of(u". \n\r\t") == npos &&
        component.find(kParentDirectory) != npos)
      return true;
  }
  return false;
}

std::string FilePath::MaybeAsASCII() const {
  if (!IsStringASCII16(path_)) return std::string();
  return UTF16ToASCII(path_);
}

std::string FilePath::AsUTF8() const { return UTF16ToUTF8(path_); }

FilePath FilePath::NormalizePathSeparators() const {
  return NormalizePathSeparatorsTo(kSeparators[0]);
}

FilePath FilePath::NormalizePathSeparatorsTo(CharType separator) const {
  StringType text = path_;
  for (CharType& c : text) {
    if (IsSeparator(c)) c = separator;
  }
  return FilePath(text);
}

std::ostream& operator<<(std::ostream& out, const FilePath& path) {
  return out << path.AsUTF8();
}

}  // namespace base
