// Folders that only Administrators and SYSTEM may change, made fresh by an
// elevated installer process for what it must not use where a user can
// write: the package it installs (ProtectedPackage), the download folder of
// an elevated front end and the clean-up batch file an uninstallation
// leaves. Each is a new folder with an unguessable name in the system's
// temporary folder (or in a folder named on the command line,
// CreateProtectedFolderIn), created with the access list of a folder in
// Program Files (kProtectedFolderSecurity), so nobody else can have planted
// or changed anything in it.
//
// What goes in is copied from where a user may write, each file taken once,
// through one handle, and refused when it is a link or reached through one
// (base/files/open_without_links_win.h): an elevated copy must neither
// follow the user's links nor read what the user could not.
//
// A process holds the protected folders it makes (a handle open on each)
// until it removes them or ends, and a process that runs from one holds it
// as long as it runs: a folder that nobody holds any more was left by a
// killed run (or by a clean-up batch file that has ended), and the next
// process that makes a protected folder removes it.
//
// The folders held are this process's only state, behind a lock; any
// thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_FOLDER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_FOLDER_WIN_H_

#include <stdint.h>

#include <map>
#include <set>
#include <string>

#include "base/files/file_path.h"

namespace installer {

// A new unguessable folder name: the installer folder name, a space and 16
// random hexadecimal digits. Also names the folders of a user's own that
// must not be guessed.
std::u16string NewProtectedFolderName();

// A new protected folder (the installer folder name, a space and 16
// random hexadecimal digits) in the system's temporary folder, held by this
// process until RemoveProtectedFolder() or its end. The first call of a
// process removes what earlier runs left first
// (RemoveLeftProtectedFolders). Empty, after an error line, when none can
// be made.
base::FilePath CreateProtectedFolder();

// A new protected folder, named as above, in |parent|: a folder named on
// the command line, which others may be able to change. |parent| is made
// when missing; it and every folder above it are held open without delete
// sharing, and the new folder is made and opened in one step below the
// held parent, so that until RemoveProtectedFolder() nobody can rename,
// remove or replace any folder on the way. A path without a drive letter,
// or one that leads through a link, is refused. The removal of left
// folders keeps to the system's temporary folder: what a killed run left
// here stays. Empty, after an error line, when none can be made.
base::FilePath CreateProtectedFolderIn(const base::FilePath& parent);

// A new protected folder into which the existing file |file| can be renamed:
// CreateProtectedFolder() when |file| lies on the volume of the system's
// temporary folder, else one made as CreateProtectedFolderIn() makes it, in
// the root of |file|'s volume, where only administrators may remove or
// replace it (FindParentOthersMayMove finds no such folder above it). What a
// killed run leaves there stays. Empty, after an error line, when none can
// be made so.
base::FilePath CreateProtectedFolderOnVolumeOf(const base::FilePath& file);

// Removes |folder|, a folder CreateProtectedFolder() or
// CreateProtectedFolderIn() made, with everything in it, and lets go of
// this process's hold. False, after a warning line, when something stays
// (a program that still runs from it); what stays is left to a later run.
bool RemoveProtectedFolder(const base::FilePath& folder);

// Owns a folder that CreateProtectedFolder() or CreateProtectedFolderIn()
// made, and removes it (RemoveProtectedFolder) when it goes: whichever way
// the run that made it ends, refused, failed or cancelled, its folder goes
// with it. One thread.
class ScopedProtectedFolder {
 public:
  ScopedProtectedFolder() = default;
  explicit ScopedProtectedFolder(const base::FilePath& folder)
      : folder_(folder) {}
  ScopedProtectedFolder(const ScopedProtectedFolder&) = delete;
  ScopedProtectedFolder& operator=(const ScopedProtectedFolder&) = delete;
  ~ScopedProtectedFolder() { Reset(base::FilePath()); }

  // Removes the folder owned so far, if any, and owns |folder| instead.
  void Reset(const base::FilePath& folder);
  const base::FilePath& get() const { return folder_; }

 private:
  base::FilePath folder_;
};

// Removes the protected folders that earlier runs left in the system's
// temporary folder: each with the name above that is no link, that only
// SYSTEM and Administrators may change (so an installer made it), and that
// no process holds: neither the one that made it, nor a program running
// from it, nor one whose current folder it is. The number removed.
int RemoveLeftProtectedFolders();

// Holds, for the rest of this process, the protected folder that |program|
// lies in, if it lies in one: a package's installer started from a
// protected copy keeps it from being taken for left behind should the
// process that made it end first.
void HoldProtectedFolderOf(const base::FilePath& program);

// Whether |folder| is such a folder, or lies in one: its first component
// below the system's temporary folder has the name pattern above, and
// nobody but SYSTEM and Administrators may change it.
bool IsInProtectedFolder(const base::FilePath& folder);

// Copies the files and folders below |source| into |target|, an existing
// folder, file by file through one handle each, a few files at a time;
// every source folder stays held (not to be renamed or replaced) until the
// copy ends. False, after an error line, when anything cannot be copied, is
// a link (a reparse point, or a file with a second name), or is no longer
// where it was found; what was copied so far stays for the caller to
// remove.
bool CopyFolderWithoutLinks(const base::FilePath& source,
                            const base::FilePath& target);

// A copy of a folder that another process is still filling (a package
// being unpacked), made while it fills, so that little is left to copy
// once it is complete. Files are taken as CopyFolderWithoutLinks takes
// them; a file that its writer still holds waits for a later pass. What is
// copied early is what the writer left; Finish() takes again any file that
// changed since, so the copy ends as one made at that time.
//
// The early passes never stand in the filling process's way: they share
// deletion, and leave to Finish() the files it names as written again
// later (a pass that held one would make that write fail). A folder made
// anew in |source|'s place (a retried unpack) makes everything copied
// before count as changed.
//
// One thread at a time.
class FolderCopyWhileFilled {
 public:
  // |target| is an existing folder. |written_later|: paths below |source|
  // that only Finish() copies.
  FolderCopyWhileFilled(const base::FilePath& source,
                        const base::FilePath& target,
                        std::set<std::u16string> written_later = {});
  FolderCopyWhileFilled(const FolderCopyWhileFilled&) = delete;
  FolderCopyWhileFilled& operator=(const FolderCopyWhileFilled&) = delete;
  ~FolderCopyWhileFilled();

  // Copies the files of |source| that no writer holds and that are not
  // copied as they are now. Nothing fails here and nothing is logged: a
  // file or folder that cannot be taken yet waits for the next pass or
  // for Finish(). The number of files copied.
  size_t CopyLetGoFiles();

  // Completes the copy as CopyFolderWithoutLinks makes it: every file not
  // copied yet, or changed (in size or time last written) since it was, is
  // copied, and the copies of files that went are removed. False, after an
  // error line, as CopyFolderWithoutLinks.
  bool Finish();

 private:
  struct Copied {
    uint64_t size = 0;
    uint64_t write_time = 0;
  };

  // One pass over the whole tree; |final_pass| logs and stops at the first
  // failure, and removes what went.
  bool CopyPass(bool final_pass, size_t* copied_files);

  const base::FilePath source_;
  const base::FilePath target_;
  const std::set<std::u16string> written_later_;
  // The volume and number of the folder the last pass started from.
  bool source_known_ = false;
  uint64_t source_volume_ = 0;
  uint64_t source_index_ = 0;
  // By path below |source_|: files as they were copied, and folders made.
  std::map<std::u16string, Copied> copied_;
  std::set<std::u16string> folders_;
};

// Copies the file |source| to the new file |target| through one handle,
// refusing links as above, and then deletes |source| through that handle.
// The source is opened without write sharing: a writer that still holds it
// makes this fail. False, after an error line, when any of it fails (a
// copy is removed again).
bool MoveFileWithoutLinks(const base::FilePath& source,
                          const base::FilePath& target);

namespace internal {

// Makes |root| (empty restores the system's temporary folder) the folder
// where the protected folders are made; the next folder made is made after
// the root's left folders are removed, as a process's first is. For tests
// and test hosts, before the installer runs.
void SetProtectedFolderRootForTesting(const base::FilePath& root);
// Lets go of this process's hold on |folder| without removing it, as the
// end of the process does. For tests that play the process that made it.
void ReleaseProtectedFolderForTesting(const base::FilePath& folder);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_FOLDER_WIN_H_
