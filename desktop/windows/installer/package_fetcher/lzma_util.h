// LzmaUtil: unpacks the package's 7z archive into the package folder.
//
// Unpacking opens the archive database, then checks every item's name
// before anything is written: a name that could reach outside the folder
// (see IsSafeArchiveItemPath()) fails the whole unpack. Items are then
// decoded in order and written with their folders; files get the archive's
// last-write time when it has one. A block whose coders the stream decoder
// knows (LZMA, LZMA2, branch filters, BCJ2: see SevenZipFolderDecoder) is
// decoded as a stream, each file written as its bytes come out, so memory
// holds the dictionaries and a few buffers whatever the block's size; any
// other block is decoded whole into a file-backed buffer in the output
// folder (see LzmaFileBackedAllocator). Files are made and written on a
// thread of their own while decoding goes on (UnpackedFileWriter). A block
// larger than the volume's free space is refused before it is decoded.
//
// Results of UnPack(): 0 success; kArchiveError (6) for anything wrong with
// the archive (no archive open, unreadable or corrupt data, CRC mismatch, an
// unsafe name, a block too large); otherwise the Windows error code of the
// failed file operation (ERROR_DISK_FULL when the volume fills). After a
// failure the files and folders the unpack made are removed again.
//
// Used by one thread at a time; the progress listener is called on it.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "7zTypes.h"
#include "base/files/file_path.h"
#include "base/win/scoped_handle.h"

namespace installer {

class ProgressListener;
class SevenZipReader;
class UnpackedFileWriter;

// The SDK's seekable input stream over a Windows file handle (not owned).
// Read fills the whole request unless the file ends (a short count) and
// answers SZ_ERROR_READ when ReadFile fails; Seek maps the SDK's origins 0,
// 1, 2 to FILE_BEGIN, FILE_CURRENT, FILE_END, answers SZ_ERROR_PARAM for any
// other origin without moving, and SZ_ERROR_FAIL when the system refuses.
//
// A window of the file (|offset|, |length|) reads as a file of its own:
// positions count from |offset| and reads end at its end.
class FileInStream {
 public:
  static constexpr uint64_t kWholeFile = UINT64_MAX;

  explicit FileInStream(base::win::Handle file, uint64_t offset = 0,
                        uint64_t length = kWholeFile);
  FileInStream(const FileInStream&) = delete;
  FileInStream& operator=(const FileInStream&) = delete;

  const ISeekInStream* stream() const { return &interface_.stream; }

 private:
  struct Interface {
    ISeekInStream stream;
    base::win::Handle file;
    uint64_t offset;
    uint64_t length;
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
  // reading, shared for reading; the archive is the whole file, or the
  // |length| bytes at |offset| (a package inside an installer). 0 or the
  // Windows error code.
  uint32_t OpenArchive(const base::FilePath& path, uint64_t offset = 0,
                       uint64_t length = FileInStream::kWholeFile);

  // Unpacks the open archive into |output_folder| (made when missing). When
  // |output_path| is given it receives each item's output path in turn (the
  // last one remains). See the file comment for the result.
  int UnPack(const base::FilePath& output_folder,
             base::FilePath* output_path = nullptr);

  void CloseArchive();

  // Largest single WriteFile; a test lowers it to see items written in
  // several pieces.
  void set_max_write_size_for_testing(size_t size) { max_write_size_ = size; }
  // Writes beyond |bytes| in all fail as on a full disk.
  void set_write_limit_for_testing(uint64_t bytes) { write_limit_ = bytes; }
  // Every block decoded whole, as those the stream decoder does not know.
  void set_whole_blocks_for_testing(bool whole) { whole_blocks_ = whole; }

 private:
  // Opens and checks the archive of |stream| and unpacks it through
  // |writer|; 0 or the result of UnPack().
  int UnpackWith(FileInStream* stream, UnpackedFileWriter* writer,
                 const base::FilePath& output_folder,
                 base::FilePath* output_path);
  // The items from the database on, written through |writer|; 0 or the
  // result of UnPack().
  int UnpackItems(SevenZipReader* reader, UnpackedFileWriter* writer,
                  const base::FilePath& output_folder,
                  base::FilePath* output_path);

  base::win::ScopedHandle archive_;
  uint64_t archive_offset_ = 0;
  uint64_t archive_length_ = FileInStream::kWholeFile;
  ProgressListener* const listener_;
  size_t max_write_size_;
  uint64_t write_limit_;
  bool whole_blocks_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_LZMA_UTIL_H_
