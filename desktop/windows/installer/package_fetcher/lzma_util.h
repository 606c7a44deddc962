// LzmaUtil: unpacks the package's 7z archive into the package folder.
//
// Unpacking opens the archive database, then checks every item's name
// before anything is written: a name that could reach outside the folder
// (see IsSafeArchiveItemPath()) fails the whole unpack. Items are then
// decoded block by block (each block in a file-backed buffer in the output
// folder, see LzmaFileBackedAllocator) and written with their folders;
// files get the archive's last-write time when it has one. A block larger
// than the volume's free space is refused before its buffer is made.
//
// Results of UnPack(): 0 success; kArchiveError (6) for anything wrong with
// the archive (no archive open, unreadable or corrupt data, CRC mismatch, an
// unsafe name, a block too large); otherwise the Windows error code of the
// failed file operation. Files written before a failure stay; the caller
// removes the folder.
//
// Used by one thread at a time; the progress listener is called on it.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_

#include <stddef.h>
#include <stdint.h>

#include <set>
#include <string>

#include "7zTypes.h"
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

class ProgressListener;

// The SDK's seekable input stream over a Windows file handle (not owned).
// Read fills the whole request unless the file ends (a short count) and
// answers SZ_ERROR_READ when ReadFile fails; Seek maps the SDK's origins 0,
// 1, 2 to FILE_BEGIN, FILE_CURRENT, FILE_END, answers SZ_ERROR_PARAM for any
// other origin without moving, and SZ_ERROR_FAIL when the system refuses.
class FileInStream {
 public:
  explicit FileInStream(base::win::Handle file);
  FileInStream(const FileInStream&) = delete;
  FileInStream& operator=(const FileInStream&) = delete;

  const ISeekInStream* stream() const { return &interface_.stream; }

 private:
  struct Interface {
    ISeekInStream stream;
    base::win::Handle file;
  };
  static SRes ArchiveReadCallback(ISeekInStreamPtr stream, void* buffer,
                                  size_t* size);
  static SRes ArchiveSeekCallback(ISeekInStreamPtr stream, Int64* position,
                                  ESzSeek origin);

  Interface interface_;
};

class LzmaUtil {
 public:
  static constexpr int kArchiveError = 6;

  // |listener| (may be null; not owned) gets the item count as total
  // progress and each item's index as it is unpacked.
  explicit LzmaUtil(ProgressListener* listener = nullptr);
  LzmaUtil(const LzmaUtil&) = delete;
  LzmaUtil& operator=(const LzmaUtil&) = delete;
  ~LzmaUtil();

  // Closes a previous archive and opens |path| (an existing file) for
  // reading, shared for reading. 0 or the Windows error code.
  uint32_t OpenArchive(const base::FilePath& path);

  // Unpacks the open archive into |output_folder| (made when missing). When
  // |output_path| is given it receives each item's output path in turn (the
  // last one remains). See the file comment for the result.
  int UnPack(const base::FilePath& output_folder,
             base::FilePath* output_path = nullptr);

  void CloseArchive();

  // Largest single WriteFile; a test lowers it to see items written in
  // several pieces.
  void set_max_write_size_for_testing(size_t size) { max_write_size_ = size; }

 private:
  // Creates |folder| with its missing parents unless this unpack made it
  // already; a failure is only logged (the file that needs it fails).
  void CreateFolderOnce(const base::FilePath& folder);
  // Writes one file item; 0 or the Windows error code.
  uint32_t WriteItem(const base::FilePath& path, const uint8_t* data,
                     size_t size, const uint64_t* last_write_time);

  base::win::ScopedHandle archive_;
  std::set<std::u16string> created_folders_;
  ProgressListener* const listener_;
  size_t max_write_size_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
