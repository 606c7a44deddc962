// The checks an uninstallation makes before it deletes a user's browser
// profile folder recursively. The folder comes from a preference file and a
// branding template, both of which may name far more than one profile (a
// drive root, every user's profiles, the application-data folder itself),
// so a folder is deleted only when everything here says it is a profile.
//
// Portable and without state: the caller gathers the facts (which folders
// exist, what they hold, where the shell folders are).

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PROFILE_DELETION_GUARD_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PROFILE_DELETION_GUARD_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace installer {

struct ProfileDeletionFacts {
  // The installation keeps installer preferences ("installer_prefs.json").
  bool has_installer_prefs = false;
  // The folder holds "Local State" or "Preferences".
  bool holds_profile_files = false;
  // Folders that are never deleted, nor any folder holding one of them: the
  // known shell folders and the install folder.
  std::vector<base::FilePath> protected_folders;
};

// Empty when |folder| may be deleted; otherwise why not, for the log.
// |folder| must be an absolute path on a drive below its root ("C:\x"),
// free of ".." components. Its spelling is normalised first (see
// NormalizeProfilePath), and so are the protected folders', so that one
// folder is never two. Device and network spellings ("\\.\", "\??\",
// "\\?\UNC\", "\\server\share") are refused outright: they can name a
// local folder (an administrative share of its drive) in a way no text
// comparison sees.
std::string CheckProfileDeletion(const base::FilePath& folder,
                                 const ProfileDeletionFacts& facts);

// The spelling the system resolves |path| to, as far as text tells: "/" as
// "\", a "\\?\" before a drive letter dropped, "." components dropped.
// False, with |*normalized| untouched, for a device or network spelling,
// and for a component that the system would trim or read as a stream (a
// trailing dot or space, a colon past the drive).
bool NormalizeProfilePath(const base::FilePath& path,
                          base::FilePath* normalized);

// Whether |folder| equals |other| or is one of its ancestors, comparing
// components and ignoring case. Empty paths never match.
bool IsSameOrAncestor(const base::FilePath& folder,
                      const base::FilePath& other);

// Whether |folder| lies strictly inside |parent| (ignoring case).
bool IsStrictlyInside(const base::FilePath& folder,
                      const base::FilePath& parent);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PROFILE_DELETION_GUARD_H_
