// FolderWalk: what a process does below one folder, the root, without
// looking any path up again. The root is opened once, as OpenWithoutLinks
// opens it (under the process's LinkRule), and every folder below it is
// opened, or made, relative to the folder above it, which the walk holds:
// each level is checked once, when it is first reached, and from then on
// cannot be renamed or replaced while the walk lives. A file is opened or
// made in its held folder in one open. So an entry costs one open, and no
// link put on the way after a check can lead a later use elsewhere.
//
// What is checked of each entry reached: it is no link (a reparse point
// that leads its name elsewhere), a folder where a folder is asked for, a
// file without other names where a file is; and, where links on the way
// are refused, that the system names it as the walk spells it (where it
// cannot open a link as itself, it hands back what the link leads to).
//
// Thread-safe. The walk holds its folders until it is destroyed; nothing
// may delete them meanwhile.

#ifndef BASE_FILES_FOLDER_WALK_WIN_H_
#define BASE_FILES_FOLDER_WALK_WIN_H_

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace base {

class FolderWalk {
 public:
  // Opens |root| (a folder that exists). With |share_delete|, the held
  // folders may be renamed or deleted by others (the walk's handles keep
  // reaching the folders they opened).
  explicit FolderWalk(const FilePath& root, bool share_delete = false);
  FolderWalk(const FolderWalk&) = delete;
  FolderWalk& operator=(const FolderWalk&) = delete;
  ~FolderWalk();

  // Whether the root was opened and accepted.
  bool IsValid() const;
  // The root as the walk was given it.
  const FilePath& root() const { return root_; }
  // The root's handle; null when invalid.
  HANDLE root_handle() const;

  // The folder |relative| (empty: the root), held from now on, each level
  // below the root opened relative to the one above it. With |create|, a
  // missing level is made, inheriting its folder's access list. Null, with
  // the last error set (ERROR_CANT_ACCESS_FILE for a link, ERROR_DIRECTORY
  // for a file), when any level cannot be had.
  HANDLE Folder(const FilePath& relative, bool create);
  // Makes the folder |relative| new (an existing entry fails with
  // ERROR_ALREADY_EXISTS), with |security_descriptor| (may be null), and
  // holds it as Folder does; its parents must be there.
  HANDLE CreateFolder(const FilePath& relative, void* security_descriptor);
  // Opens the file |relative| in its held folder (which Folder must reach,
  // without |create|) as CreateFileW does with |access|, |share|,
  // |disposition| (CREATE_NEW, OPEN_EXISTING, OPEN_ALWAYS; any other fails
  // with ERROR_INVALID_PARAMETER, changing nothing) and
  // FILE_FLAG_SEQUENTIAL_SCAN in |flags|. The caller closes the handle. A
  // file it made and then refused is removed again. INVALID_HANDLE_VALUE
  // with the last error set on failure.
  HANDLE OpenFile(const FilePath& relative, DWORD access, DWORD share,
                  DWORD disposition, DWORD flags);
  // Closes the walk's handle of the held folder |relative| (not the root),
  // so that it may be deleted, with any held folder below it.
  void LetGo(const FilePath& relative);

 private:
  struct Held {
    win::ScopedHandle handle;
    // The final path the system gives it; empty where links on the way
    // are followed.
    std::u16string final_path;
  };

  // The held folder |relative|, reached as Folder says; null on failure.
  // |lock_| is held. Shared: a caller that uses it after letting go of the
  // lock keeps it open while LetGo on another thread drops it.
  std::shared_ptr<Held> Reach(const FilePath& relative, bool create);
  // Opens the level |name| below |parent| (the path |relative|), made with
  // |descriptor| when |disposition| may make it.
  std::shared_ptr<Held> OpenLevel(const Held& parent,
                                  const std::u16string& name,
                                  const FilePath& relative, DWORD disposition,
                                  void* descriptor);
  // Whether |entry|, opened as |relative| below |parent|, is what the walk
  // takes (see the top); the final path it has into |final_path|.
  bool Accept(HANDLE entry, const Held& parent, const std::u16string& name,
              const FilePath& relative, bool folder,
              std::u16string* final_path) const;

  const FilePath root_;
  const DWORD folder_share_;
  Lock lock_;
  // By relative path in lower case; the root under "".
  std::map<std::u16string, std::shared_ptr<Held>> held_;
};

}  // namespace base

#endif  // BASE_FILES_FOLDER_WALK_WIN_H_
