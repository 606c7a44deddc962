#include "base/files/system_path_win.h"

#include <vector>

namespace base {

namespace {

constexpr char16_t kLongPrefix[] = u"\\\\?\\";
constexpr char16_t kLongUncPrefix[] = u"\\\\?\\UNC\\";

bool IsDriveLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Splits |path| from |start| on either separator, dropping empty parts.
std::vector<std::u16string> SplitComponents(const std::u16string& path,
                                            size_t start) {
  std::vector<std::u16string> parts;
  size_t begin = start;
  for (size_t i = start; i <= path.size(); ++i) {
    if (i == path.size() || IsSeparator(path[i])) {
      if (i > begin) parts.push_back(path.substr(begin, i - begin));
      begin = i + 1;
    }
  }
  return parts;
}

}  // namespace

bool GetSystemLongForm(const std::u16string& path, std::u16string* long_form) {
  if (path.size() < 3) return false;
  std::u16string root;
  std::vector<std::u16string> parts;
  if (IsDriveLetter(path[0]) && path[1] == u':' && IsSeparator(path[2])) {
    root = kLongPrefix + path.substr(0, 2);
    parts = SplitComponents(path, 3);
  } else if (IsSeparator(path[0]) && IsSeparator(path[1])) {
    // "\\?\..." and "\\.\..." are spelled for the system already.
    if (path[2] == u'?' || path[2] == u'.' || IsSeparator(path[2]))
      return false;
    // "\\server\share" stays as it is: ".." never climbs above the share.
    parts = SplitComponents(path, 2);
    if (parts.size() < 2 || !IsSeparator(path[2 + parts[0].size()]))
      return false;
    root = kLongUncPrefix + parts[0] + u"\\" + parts[1];
    parts.erase(parts.begin(), parts.begin() + 2);
  } else {
    // Relative to the current folder, drive or root.
    return false;
  }
  if (root.back() == u'.' || root.back() == u' ') return false;

  // The prefix turns off the system's resolution of "." and "..": done
  // here, the way the plain spelling's call does (".." stops at the root).
  std::vector<std::u16string> resolved;
  for (const std::u16string& part : parts) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!resolved.empty()) resolved.pop_back();
      continue;
    }
    // The plain spelling drops trailing dots and spaces, the long one keeps
    // them: such a name means different things in the two.
    if (part.back() == u'.' || part.back() == u' ') return false;
    resolved.push_back(part);
  }
  std::u16string result = root;
  for (const std::u16string& part : resolved) result += u"\\" + part;
  // A bare drive needs its separator ("\\?\C:" is the volume).
  if (resolved.empty() && root.size() == 6) result += u"\\";
  *long_form = std::move(result);
  return true;
}

bool HasSystemLongForm(const std::u16string& path) {
  std::u16string unused;
  return GetSystemLongForm(path, &unused);
}

bool IsSystemLongForm(const std::u16string& path) {
  return path.rfind(kLongPrefix, 0) == 0;
}

std::u16string ToSystemPath(const std::u16string& path, size_t limit) {
  if (path.size() < limit) return path;
  std::u16string long_form;
  return GetSystemLongForm(path, &long_form) ? long_form : path;
}

std::u16string ToSystemPath(const FilePath& path, size_t limit) {
  return ToSystemPath(path.value(), limit);
}

}  // namespace base
