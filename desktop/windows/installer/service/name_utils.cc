#include "desktop/windows/installer/service/name_utils.h"

#include <stddef.h>

#include "base/strings/string_piece.h"
#include "base/strings/string_util.h"

namespace installer {

namespace {

// Path limits of IsValidFileName(): MAX_PATH less the terminator, and less
// room for an 8.3 file name in a folder.
constexpr size_t kMaxFileNameLength = 259;
constexpr size_t kMaxFolderNameLength = 247;

constexpr const char16_t* kReservedDeviceNames[] = {
    u"CON",  u"AUX",  u"COM1", u"COM2", u"COM3", u"COM4",
    u"LPT1", u"LPT2", u"LPT3", u"PRN",  u"NUL"};

constexpr char16_t kForbiddenCharacters[] = u"?\"<>*|:";

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsReservedDeviceName(base::StringPiece16 component) {
  const base::StringPiece16 stem = component.substr(0, component.find(u'.'));
  if (stem.size() != 3 && stem.size() != 4) return false;
  for (const char16_t* name : kReservedDeviceNames) {
    if (base::EqualsCaseInsensitiveASCII16(stem, name)) return true;
  }
  return false;
}

// Why |component| is no valid name; empty when it is one.
std::string ComponentProblem(base::StringPiece16 component) {
  for (char16_t c : component) {
    // A NUL would end the path early at every Windows call.
    if (c < 0x20) return "a name holds a control character";
    if (base::StringPiece16(kForbiddenCharacters).find(c) !=
        base::StringPiece16::npos) {
      return std::string("a name holds the character ") + static_cast<char>(c);
    }
  }
  if (component.front() == u' ') return "a name starts with a space";
  if (component.back() == u' ' || component.back() == u'.')
    return "a name ends with a space or a dot";
  if (IsReservedDeviceName(component))
    return "a name is a reserved device name";
  return std::string();
}

// Skips "\\server\share\" at |*pos|; false when either name or its
// separator is missing, or a name is no valid component: that also keeps
// out the "\\?\" and "\\.\" device prefixes.
bool SkipUncPrefix(base::StringPiece16 path, size_t* pos) {
  for (int part = 0; part < 2; ++part) {
    size_t end = *pos;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end == *pos || end == path.size() ||
        !ComponentProblem(path.substr(*pos, end - *pos)).empty()) {
      return false;
    }
    *pos = end + 1;
  }
  return true;
}

}  // namespace

std::string FindFileNameProblem(const std::u16string& path, bool for_folder) {
  const size_t max_length =
      for_folder ? kMaxFolderNameLength : kMaxFileNameLength;
  if (path.empty()) return "the path is empty";
  if (path.size() > max_length) {
    return "the path is longer than " + std::to_string(max_length) +
           " characters";
  }
  size_t pos = 0;
  // Only a letter makes a drive; anything else before a colon is a
  // component with a colon in it, and refused.
  if (path.size() >= 2 && path[1] == u':' && IsAsciiLetter(path[0])) {
    pos = 2;
  } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    pos = 2;
    if (!SkipUncPrefix(path, &pos)) {
      return "it starts with two backslashes but is no \\\\server\\share\\ "
             "path (device paths such as \\\\?\\ and \\\\.\\ are refused)";
    }
  }
  while (pos < path.size()) {
    if (IsSeparator(path[pos])) {
      ++pos;
      continue;
    }
    size_t end = pos;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string problem =
        ComponentProblem(base::StringPiece16(path).substr(pos, end - pos));
    if (!problem.empty()) return problem;
    pos = end;
  }
  return std::string();
}

bool IsValidFileName(const std::u16string& path, bool for_folder) {
  return FindFileNameProblem(path, for_folder).empty();
}

std::u16string MakeKernelObjectName(const std::u16string& suffix,
                                    const std::u16string& base, bool global) {
  std::u16string name = base + u"/" + suffix;
  for (char16_t& c : name) {
    if (c == u'\\') c = u'/';
  }
  return (global ? u"Global\\" : u"Local\\") + name;
}

}  // namespace installer
