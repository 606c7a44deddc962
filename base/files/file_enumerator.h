// FileEnumerator: walks the entries of a folder, optionally of its whole
// tree, one full path at a time, filtered by a wildcard pattern and a mask of
// entry types.
//
// Order: within one folder the system's order; a folder is reported before
// any of its contents; sub-folders are searched after the current folder is
// finished, the most recently found first (depth first). The pattern filters
// only the root folder: every folder reached below it is listed in full.
// "." is never returned, ".." only with INCLUDE_DOT_DOT. Junctions and
// symbolic links to folders are listed but not entered. A root that does not
// exist or cannot be searched yields nothing. Used by one thread at a time.

#ifndef BASE_FILES_FILE_ENUMERATOR_H_
#define BASE_FILES_FILE_ENUMERATOR_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"

namespace base {

class FileEnumerator {
 public:
  using FileInfo = WIN32_FIND_DATAW;

  enum FileType {
    FILES = 1 << 0,
    DIRECTORIES = 1 << 1,
    INCLUDE_DOT_DOT = 1 << 2,
  };

  // |file_type| is a mask of FileType bits. An empty |pattern| lists every
  // entry.
  FileEnumerator(const FilePath& root_path, bool recursive, int file_type);
  FileEnumerator(const FilePath& root_path, bool recursive, int file_type,
                 const std::u16string& pattern);
  FileEnumerator(const FileEnumerator&) = delete;
  FileEnumerator& operator=(const FileEnumerator&) = delete;
  ~FileEnumerator();

  // The next matching entry (the searched folder joined with its name), or
  // the empty path when the walk is over.
  FilePath Next();

  // The find record of the entry Next() returned last; all zero when no
  // search is open (before the first entry and after the walk).
  FileInfo GetInfo() const;

  // Whether a folder the walk searched so far could not be searched in
  // full (a root that does not exist too).
  bool failed() const { return failed_; }

 private:
  bool ShouldSkip(const FileInfo& info) const;

  bool has_find_data_ = false;
  bool failed_ = false;
  FileInfo find_data_;
  HANDLE find_handle_ = INVALID_HANDLE_VALUE;
  FilePath root_path_;
  bool recursive_;
  int file_type_;
  std::u16string pattern_;
  // Folders still to search; the last one is searched next.
  std::vector<FilePath> pending_paths_;
};

}  // namespace base

#endif  // BASE_FILES_FILE_ENUMERATOR_H_
