#include "desktop/windows/installer/core/profile_deletion_guard.h"

namespace installer {

namespace {

std::vector<std::u16string> Components(const base::FilePath& path) {
  std::vector<std::u16string> components;
  path.StripTrailingSeparators().GetComponents(&components);
  return components;
}

// How many leading components name the drive: "C:" and "\"; 0 for any
// other start.
size_t DriveRootLength(const std::vector<std::u16string>& components) {
  if (components.size() >= 2 && components[0].size() == 2 &&
      components[0][1] == u':' && components[1] == u"\\") {
    return 2;
  }
  return 0;
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// |path| compared with the protected folders in its normalised spelling
// where it has one.
base::FilePath Normalized(const base::FilePath& path) {
  base::FilePath normalized;
  return NormalizeProfilePath(path, &normalized) ? normalized : path;
}

}  // namespace

bool NormalizeProfilePath(const base::FilePath& path,
                          base::FilePath* normalized) {
  std::u16string text = path.NormalizePathSeparatorsTo(u'\\').value();
  // "\\?\C:\x" is "C:\x" without the system's own normalisation, which
  // the checks below stand in for.
  if (text.size() >= 6 && text.compare(0, 4, u"\\\\?\\") == 0 &&
      IsAsciiLetter(text[4]) && text[5] == u':') {
    text.erase(0, 4);
  }
  // "\\.\", "\\?\" (UNC, volumes, the global root), "\??\" and
  // "\\server\share".
  if (text.compare(0, 2, u"\\\\") == 0 || text.compare(0, 4, u"\\??\\") == 0)
    return false;
  std::vector<std::u16string> components;
  base::FilePath(text).GetComponents(&components);
  std::u16string result;
  for (size_t i = 0; i < components.size(); ++i) {
    const std::u16string& component = components[i];
    if (component == u".") continue;
    const bool drive = i == 0 && component.size() == 2 &&
                       IsAsciiLetter(component[0]) && component[1] == u':';
    if (!drive && !component.empty() && component != u"\\" &&
        component != u".." &&
        (component.find(u':') != std::u16string::npos ||
         component.back() == u'.' || component.back() == u' ')) {
      return false;
    }
    result = result.empty() || component == u"\\" || result.back() == u'\\'
                 ? result + component
                 : result + u"\\" + component;
  }
  *normalized = base::FilePath(result);
  return true;
}

bool IsSameOrAncestor(const base::FilePath& folder,
                      const base::FilePath& other) {
  const std::vector<std::u16string> ancestor = Components(Normalized(folder));
  const std::vector<std::u16string> descendant = Components(Normalized(other));
  if (ancestor.empty() || descendant.size() < ancestor.size()) return false;
  for (size_t i = 0; i < ancestor.size(); ++i) {
    if (base::FilePath::CompareIgnoreCase(ancestor[i], descendant[i]) != 0)
      return false;
  }
  return true;
}

bool IsStrictlyInside(const base::FilePath& folder,
                      const base::FilePath& parent) {
  return IsSameOrAncestor(parent, folder) &&
         Components(Normalized(folder)).size() >
             Components(Normalized(parent)).size();
}

std::string CheckProfileDeletion(const base::FilePath& folder,
                                 const ProfileDeletionFacts& facts) {
  if (!facts.has_installer_prefs)
    return "the installation has no installer preferences";
  base::FilePath normalized;
  if (!NormalizeProfilePath(folder, &normalized))
    return "the path is a device or network path, or not in a plain spelling";
  if (!normalized.IsAbsolute()) return "the path is not absolute";
  if (normalized.ReferencesParent())
    return "the path references a parent folder";
  const std::vector<std::u16string> components = Components(normalized);
  const size_t root_length = DriveRootLength(components);
  if (root_length == 0 || components.size() <= root_length)
    return "the path is not below its volume root";
  for (const base::FilePath& kept : facts.protected_folders) {
    if (IsSameOrAncestor(normalized, kept))
      return "the folder is or holds " + kept.AsUTF8();
  }
  if (!facts.holds_profile_files)
    return "the folder holds neither \"Local State\" nor \"Preferences\"";
  return std::string();
}

}  // namespace installer
