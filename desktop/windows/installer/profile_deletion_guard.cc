#include "desktop/windows/installer/profile_deletion_guard.h"

namespace installer {

namespace {

std::vector<std::u16string> Components(const base::FilePath& path) {
  std::vector<std::u16string> components;
  path.StripTrailingSeparators().GetComponents(&components);
  return components;
}

// How many leading components name the volume: "C:" and "\" for a drive,
// "\\", server and share for a network path; 0 when |components| is
// neither.
size_t VolumeRootLength(const std::vector<std::u16string>& components) {
  if (components.size() >= 2 && components[0].size() == 2 &&
      components[0][1] == u':' && components[1] == u"\\") {
    return 2;
  }
  if (components.size() >= 3 && components[0] == u"\\\\") return 3;
  return 0;
}

}  // namespace

bool IsSameOrAncestor(const base::FilePath& folder,
                      const base::FilePath& other) {
  const std::vector<std::u16string> ancestor = Components(folder);
  const std::vector<std::u16string> descendant = Components(other);
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
         Components(folder).size() > Components(parent).size();
}

std::string CheckProfileDeletion(const base::FilePath& folder,
                                 const ProfileDeletionFacts& facts) {
  if (!facts.has_installer_prefs)
    return "the installation has no installer preferences";
  if (!folder.IsAbsolute()) return "the path is not absolute";
  if (folder.ReferencesParent()) return "the path references a parent folder";
  const std::vector<std::u16string> components = Components(folder);
  const size_t root_length = VolumeRootLength(components);
  if (root_length == 0 || components.size() <= root_length)
    return "the path is not below its volume root";
  for (const base::FilePath& kept : facts.protected_folders) {
    if (IsSameOrAncestor(folder, kept))
      return "the folder is or holds " + kept.AsUTF8();
  }
  if (!facts.holds_profile_files)
    return "the folder holds neither \"Local State\" nor \"Preferences\"";
  return std::string();
}

}  // namespace installer
