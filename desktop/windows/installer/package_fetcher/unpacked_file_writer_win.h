// UnpackedFileWriter: makes the folders and files of an unpack on a thread
// of its own ("Unpack writer"), so that the file system's time per file
// (about a millisecond under Wine, more with a virus scanner on Windows)
// overlaps with decoding instead of adding to it.
//
// One caller thread queues the work in order: folders, and files as a
// beginning, their bytes and an end. Bytes are written into chunks that the
// writer hands out (GetBuffer(), Commit()); a few chunks of 256 KiB bound the
// memory, and the caller waits for a free one when the writer lags. When no
// thread can be started the work is done on the caller's thread.
//
// The writer never writes through a link or a second name: each file is
// created new (CREATE_NEW, which follows no link at the end of the path),
// and an entry of that name already there, whoever made it, is refused
// (ERROR_FILE_EXISTS) unless this writer made it itself (an archive that
// names a file twice), which then makes way for the new file. A folder it
// did not make itself (the output folder, or one that appears meanwhile) is
// written into only when it is no reparse point; otherwise the writer
// fails with ERROR_CANT_ACCESS_FILE. Above the first folder that exists,
// the path is the caller's.
//
// The first failure stops the writer: later work is dropped, and error()
// tells the caller, who stops decoding. Every file and folder the writer
// made is known, so that RemoveCreated() can take them away again after a
// failure. The log texts of failed calls are those of the unpack
// ("Error returned by CreateFile: " and the Windows error, likewise for
// WriteFile, SetFileTime and CloseHandle).

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_UNPACKED_FILE_WRITER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_UNPACKED_FILE_WRITER_WIN_H_

#include <stddef.h>
#include <stdint.h>

#include <deque>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/synchronization/condition_variable.h"
#include "base/synchronization/lock.h"
#include "base/win/scoped_handle.h"

namespace installer {

class UnpackedFileWriter {
 public:
  static constexpr size_t kChunkSize = size_t{1} << 18;

  // |max_write_size|: the largest single WriteFile. |write_limit|: a write
  // that would take the bytes written in all past the limit fails as on a
  // full disk (ERROR_DISK_FULL), for tests; UINT64_MAX for none.
  UnpackedFileWriter(size_t max_write_size, uint64_t write_limit);
  UnpackedFileWriter(const UnpackedFileWriter&) = delete;
  UnpackedFileWriter& operator=(const UnpackedFileWriter&) = delete;
  // Drops what is still queued, closes an open file and joins the thread.
  ~UnpackedFileWriter();

  // Starts the thread; without it the work runs on the caller's thread.
  void Start();

  // Creates |folder| with its missing parents unless this writer made it
  // already; a failure is only logged (a file that needs it fails).
  void CreateFolder(const base::FilePath& folder);
  // Creates |path| (its folder first) anew; its bytes follow. The file gets
  // |last_write_time| (a FILETIME value) when it is not null.
  void BeginFile(const base::FilePath& path, const uint64_t* last_write_time);
  // Room for the next bytes of the file begun last: up to |*size| bytes
  // (|*size| becomes what there is, at least 1). Commit() what was put
  // there before asking again.
  uint8_t* GetBuffer(size_t* size);
  void Commit(size_t size);
  void EndFile();

  // Waits until everything queued is done. 0, or the Windows error of the
  // first failure.
  uint32_t Finish();
  // The first failure so far, without waiting; 0 while none.
  uint32_t error() const;

  // After a failure: waits for the writer, then deletes every file it made
  // and every folder it made that is empty then, newest first.
  void RemoveCreated();

 private:
  struct Operation;
  struct Chunk;
  class WriterThread;
  // Orders paths as the file system tells names apart.
  struct IgnoringCase {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
      return base::FilePath::CompareIgnoreCase(a, b) < 0;
    }
  };

  // Queues the chunk being filled and takes a free one (waiting for it).
  void SubmitChunk();
  // The writer's loop, and the work on one chunk (writer thread, or the
  // caller's when there is none).
  void RunWriter();
  void Process(Chunk* chunk);
  void Perform(const Operation& operation, const uint8_t* data);
  void Fail(uint32_t error);
  void CreateFolderOnce(const base::FilePath& folder);
  // Whether files may go into |folder|, an existing folder this writer did
  // not make: it is no link. A link fails the writer.
  bool AcceptFolder(const base::FilePath& folder);
  void OpenFile(const Operation& operation);
  void WriteBytes(const uint8_t* data, size_t size);
  void CloseFile();

  const size_t max_write_size_;
  const uint64_t write_limit_;
  std::unique_ptr<WriterThread> thread_;

  mutable base::Lock lock_;
  base::ConditionVariable changed_;
  std::vector<std::unique_ptr<Chunk>> free_;   // guarded by lock_
  std::deque<std::unique_ptr<Chunk>> queued_;  // guarded by lock_
  bool busy_ = false;      // guarded by lock_: a chunk is being processed
  bool stopping_ = false;  // guarded by lock_
  uint32_t error_ = 0;     // guarded by lock_

  // The caller's chunk being filled.
  std::unique_ptr<Chunk> filling_;

  // The writer's own state.
  base::win::ScopedHandle file_;
  bool file_has_time_ = false;
  uint64_t file_time_ = 0;
  uint64_t written_ = 0;
  // Folders made or accepted, which files may go into.
  std::set<std::u16string> known_folders_;
  std::vector<base::FilePath> created_folders_;
  std::vector<base::FilePath> created_files_;
  // The same files by path, letter case ignored as the file system does.
  std::set<std::u16string, IgnoringCase> created_file_paths_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_UNPACKED_FILE_WRITER_WIN_H_
