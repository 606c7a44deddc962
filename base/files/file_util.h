// Free functions over FilePath that touch the file system: existence tests,
// deletion (with wildcards and recursion), moves, copies of files and folder
// trees, folder chains, temporary files, well-known folders, file
// information and whole-file reads and writes.
//
// Every function reports success through its result (bool, a count or -1,
// or an empty path) and keeps no state, so any thread may call it; checks and
// actions are not atomic. Deletions, copies and moves stop at the first
// failing entry and do not undo what was done before it.
//
// Paths of 260 units or more (kMaxPathLength): on Windows an absolute path
// that needs no clean-up reaches the system in its long form
// (system_path_win.h) and works at any length; the functions that carry the
// limit refuse any other such path (the portable deletion refuses them all).
//
// The portable build has the subset that portable code needs (existence,
// deletion, ReplaceFile and FileUtil::Move as plain renames, folder
// creation, temporary files, file information and whole-file reads and
// writes), over the same contracts; "\" in its paths counts as "/".

#ifndef BASE_FILES_FILE_UTIL_H_
#define BASE_FILES_FILE_UTIL_H_

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>

#include "base/files/file.h"
#include "base/files/file_path.h"

#if defined(_WIN32)
#include <windows.h>
// windows.h maps these names to its A/W variants; ours live in namespace
// base. Undefined here, once, so that every includer sees the same names.
#undef CreateDirectory
#undef GetCurrentDirectory
#undef ReplaceFile
#endif

namespace base {

// MAX_PATH: paths of this length or longer are refused where noted.
inline constexpr size_t kMaxPathLength = 260;

bool PathExists(const FilePath& path);
bool DirectoryExists(const FilePath& path);

// The path can be opened for writing (a folder too).
bool PathIsWritable(const FilePath& path);

#if defined(_WIN32)
// Whether |path| itself is a junction or symbolic link, and whether it is a
// folder that is none, each read from the entry opened without following
// it (tests may present a folder as a link, see file_attributes_win.h).
// A path that leads through a link, or a link the system can open only as
// its target, counts as a link and never as a folder. False when the entry
// cannot be opened otherwise.
bool IsLink(const FilePath& path);
bool IsDirectoryNotLink(const FilePath& path);
#endif

// True for an empty path and for a path that does not exist; false for a
// path over the limit. A base name with "*" or "?" deletes
// the matching entries of the parent folder. Read-only files are made
// writable first. A folder is emptied first when |recursive| (else it must
// be empty). A junction or symbolic link is removed itself and never
// followed, so its target stays untouched; an entry reached through a link
// on the way (or a link the system can open only as its target) is not
// deleted, and the call fails.
bool DeleteFileOrDirectory(const FilePath& path, bool recursive);

#if defined(_WIN32)
// DeleteFileOrDirectory(|folder|, true), with the files of the tree deleted
// on up to |max_threads| threads: deleting many small files is mostly the
// system's work per file, which threads overlap. Links are removed, never
// followed, and no folder of the tree can be renamed or replaced meanwhile.
bool DeleteFolderTreeInParallel(const FilePath& folder, size_t max_threads);
#endif

// Deletes the entries of |folder| that match |pattern|; with |recursive|
// also matched sub-folders, searched with the same pattern (so a matched
// folder that keeps non-matching entries cannot be removed and the call
// fails). Links are removed, not followed.
bool DeleteFileRecursive(const FilePath& folder, const std::u16string& pattern,
                         bool recursive);

// Moves |from| over |to|, replacing it. When the system cannot move the
// replacement into place the call retries with a plain move-with-replace;
// on failure |from| is left where it was, with its contents, and must be
// kept by the caller (|to| may or may not have been replaced).
bool ReplaceFile(const FilePath& from, const FilePath& to);

// MoveFileExW with replace-existing and copy-allowed; a folder that cannot be
// moved so is copied as a tree and its source deleted. Refuses paths over
// the limit. On failure the error
// of the first attempt is the thread's last error again. A file within one
// volume is renamed through one handle (RenameOpenFile), which saves the
// system's own opening and checks.
bool MoveFileOrDirectory(const FilePath& from, const FilePath& to);

#if defined(_WIN32)
// Renames the file open as |file| (opened with DELETE access) to |to|,
// replacing a file there. False, with the last error set, when the system
// cannot: another volume, for one.
bool RenameOpenFile(HANDLE file, const FilePath& to);
#endif

// Copies one file, overwriting |to|, and clears the copy's read-only bit.
// Refuses paths that reference a parent or are over the limit. On failure
// the thread's last error says why.
bool CopyOneFile(const FilePath& from, const FilePath& to);

// Copies a folder tree (or one file); refuses paths over the limit. Into an
// existing folder |to| the source folder itself is copied (to\name\...); to a
// missing |to| its contents are. Refuses to copy a folder into itself or below
// itself (whole components, case-insensitively). Entries already copied stay
// when a later one fails.
bool CopyDirectory(const FilePath& from, const FilePath& to);

// The full path with "." and ".." resolved against the current folder; empty
// when it fails or reaches kMaxPathLength.
FilePath MakeAbsoluteFilePath(const FilePath& path);

// Creates the folder and its missing parents. True when it is a folder
// afterwards, also one made meanwhile by someone else. On failure |*error|
// (when given) says why: FILE_ERROR_NOT_A_DIRECTORY for an existing path that
// is not a folder, FILE_ERROR_NOT_FOUND for a missing root, else the
// system's error.
bool CreateDirectoryAndGetError(const FilePath& path, File::Error* error);

// The temporary folder without trailing separators.
bool GetTempDir(FilePath* path);
// The user's profile folder, else the temporary folder, else "C:\".
FilePath GetHomeDir();

// A new empty file with a unique name in the temporary folder, or in
// |folder|; |*path| is its long name (in a folder too long for the system's
// naming call, one named the same way in |folder| as given).
bool CreateTemporaryFile(FilePath* path);
bool CreateTemporaryFileInDir(const FilePath& folder, FilePath* path);
#if defined(_WIN32)
// Whether |name| (a base name) is one CreateTemporaryFileInDir gives: one
// to four hexadecimal digits and ".tmp", in any letter case.
bool IsTemporaryFileName(const std::u16string& name);
// Whether |name| is one the atomic writer gives the temporary file of a file
// named |*target| ("<target>.<hex>.tmp", the hexadecimal part as above).
bool IsTemporaryFileNameOf(const std::u16string& name, std::u16string* target);
// The prefix of such a name for the file at |path| ("<name>."), for
// CreateTemporaryFileWithoutLinks; empty for a name too long to take it.
std::u16string TemporaryFilePrefixFor(const FilePath& path);
#endif

// Size, folder flag and times; false when the path cannot be read.
bool GetFileInfo(const FilePath& path, File::Info* info);

// The current folder without trailing separators.
bool GetCurrentDirectory(FilePath* path);

// Opens with the runtime library, sharing everything (for example "rb").
// Null on failure.
FILE* OpenFile(const FilePath& path, const char* mode);

// One read of at most |size| bytes: the count read, or -1.
int ReadFileIntoBuffer(const FilePath& path, char* data, int size);
// Creates (or truncates) the file and writes |size| bytes: |size|, or -1
// when the file cannot be created or not every byte was written.
int WriteBufferToFile(const FilePath& path, const char* data, int size);
// Appends to an existing file; false when it cannot be opened or not every
// byte was written (logged at verbose level 1).
bool AppendToFile(const FilePath& path, const char* data, int size);

namespace FileUtil {

// False when either path references a parent, else MoveFileOrDirectory.
bool Move(const FilePath& from, const FilePath& to);
// CreateDirectoryAndGetError without the error.
bool CreateDirectory(const FilePath& path);
bool GetFileSize(const FilePath& path, int64_t* size);

// Reads the whole file into |*contents| (cleared first; may be null). A file
// larger than |max_size| leaves its first |max_size| bytes and gives false.
// Refuses paths that reference a parent.
bool ReadFileToStringWithMaxSize(const FilePath& path, std::string* contents,
                                 size_t max_size);
bool ReadFileToString(const FilePath& path, std::string* contents);

}  // namespace FileUtil

}  // namespace base

#endif  // BASE_FILES_FILE_UTIL_H_
