// ImportantFileWriter: writes a whole file so that a reader never sees a
// half-written one. The data goes to a temporary file beside the target, is
// flushed to disk, and replaces the target in one rename; a process killed
// at any moment leaves the old or the new file, complete.
//
// Writes run on a sequenced task runner (so two writes of one file never
// overlap) and can be delayed and coalesced: ScheduleWrite asks its
// serializer for the data only when the commit interval has passed, so a
// burst of changes costs one write of the newest state.
//
// The writer lives on one thread, which must have a registered task runner
// (its timer and replies post there). The path and data travel with the
// posted write, so the writer may be destroyed while a write runs; a write
// that is only scheduled is dropped then (owners flush with
// DoScheduledWrite first).

#ifndef BASE_FILES_IMPORTANT_FILE_WRITER_H_
#define BASE_FILES_IMPORTANT_FILE_WRITER_H_

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "base/memory/ref_counted.h"
#include "base/memory/weak_ptr.h"
#include "base/sequenced_task_runner.h"
#include "base/strings/string_piece.h"
#include "base/time/time.h"
#include "base/timer/timer.h"

namespace base {

class ImportantFileWriter {
 public:
  // Produces the data of a scheduled write when its time has come.
  class DataSerializer {
   public:
    // False when there is nothing sound to write; the write is dropped.
    virtual bool SerializeData(std::string* data) = 0;

   protected:
    virtual ~DataSerializer() = default;
  };

  // The default commit interval.
  static constexpr TimeDelta kDefaultCommitInterval =
      TimeDelta::FromMicroseconds(10 * 1000 * 1000);

  ImportantFileWriter(const FilePath& path,
                      ScopedRefPtr<SequencedTaskRunner> task_runner);
  ImportantFileWriter(const FilePath& path,
                      ScopedRefPtr<SequencedTaskRunner> task_runner,
                      TimeDelta interval);
  ImportantFileWriter(const ImportantFileWriter&) = delete;
  ImportantFileWriter& operator=(const ImportantFileWriter&) = delete;
  ~ImportantFileWriter();

  // Writes |data| to |path| atomically on the calling thread, which may
  // block. On every failure the cause is logged with the system error, no
  // temporary file is left behind and the previous file is untouched. Data
  // of 2 GiB or more is refused.
  static bool WriteFileAtomically(const FilePath& path, StringPiece data);

  const FilePath& path() const { return path_; }
  TimeDelta commit_interval() const { return commit_interval_; }

  // A write is scheduled and not posted yet.
  bool HasPendingWrite() const;

  // Posts a write of |data| now, replacing a scheduled one. Data of 2 GiB
  // or more is refused with a logged error. When the runner refuses the
  // post, the write runs at once on the calling thread.
  void WriteNow(std::unique_ptr<std::string> data);

  // Asks |serializer| for the data when the commit interval has passed;
  // later calls before then only replace the serializer. The serializer
  // must outlive the schedule (or be flushed with DoScheduledWrite).
  void ScheduleWrite(DataSerializer* serializer);

  // Serializes and posts the scheduled write now.
  void DoScheduledWrite();

  // Runs |on_next_successful_write| on this thread after the next write
  // that succeeds, while the writer still exists.
  void RegisterOnNextSuccessfulWriteCallback(
      const Closure& on_next_successful_write);

 private:
  void PostWriteTask(std::unique_ptr<std::string> data);
  void ForwardSuccessfulWrite(const std::shared_ptr<bool>& result);

  Closure on_next_successful_write_;
  const FilePath path_;
  const ScopedRefPtr<SequencedTaskRunner> task_runner_;
  OneShotTimer timer_;
  DataSerializer* serializer_ = nullptr;
  const TimeDelta commit_interval_;
  WeakPtrFactory<ImportantFileWriter> weak_factory_{this};
};

namespace internal {

// The step at which writing through a temporary file failed.
enum class TempFileWriteResult {
  kOk,
  kCreateFailed,
  kOpenFailed,
  kWriteFailed,
  kFlushFailed,
  kRenameFailed,
};

// Writes |data| into a new temporary file in the folder of |path|, flushes
// it and renames it over |path| in one step, so that a reader (or a crash)
// sees either file whole and never a moment without |path|. |*temp_path|
// receives the temporary file's name; after a failure the file is gone
// again, |path| is as it was, and |*system_error| holds the system's error
// code. On Windows every step goes through one handle of the new file,
// made in a folder reached without a link on the way, and never follows a
// link at |path|.
TempFileWriteResult WriteThroughTempFile(const FilePath& path, StringPiece data,
                                         FilePath* temp_path,
                                         uint32_t* system_error);

// The hook below, for the platform's writer.
void RunBeforeRenameHook(const FilePath& temp_path, const FilePath& path);

// Called by WriteFileAtomically, on the writing thread, once |temp_path|
// holds the data and before it replaces |path|: where a test stops a
// process that is killed while it writes. Null (the default) for none; set
// before any write starts.
using BeforeRenameHookForTesting = void (*)(const FilePath& temp_path,
                                            const FilePath& path);
void SetBeforeRenameHookForTesting(BeforeRenameHookForTesting hook);

}  // namespace internal

}  // namespace base

#endif  // BASE_FILES_IMPORTANT_FILE_WRITER_H_
