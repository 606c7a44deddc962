#include "base/files/important_file_writer.h"

#include <stdint.h>

#include <limits>
#include <utility>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/metrics/histogram_macros.h"
#include "base/task_runner.h"

namespace base {

namespace {

// Samples of "ImportantFile.TempFileFailures".
enum TempFileFailure {
  FAILED_CREATING = 0,
  FAILED_OPENING = 1,
  FAILED_WRITING = 3,
  FAILED_RENAMING = 4,
  FAILED_FLUSHING = 5,
  TEMP_FILE_FAILURE_MAX = 6,
};

void RecordTempFileFailure(TempFileFailure failure) {
  HISTOGRAM_ENUMERATION("ImportantFile.TempFileFailures", failure,
                        TEMP_FILE_FAILURE_MAX);
}

// A single write and the File calls take an int size.
constexpr size_t kMaxDataSize = std::numeric_limits<int32_t>::max();

void LogFailure(const FilePath& path, const char* what,
                logging::SystemErrorCode error) {
  LOG(ERROR) << "Writing " << path.value() << " failed: " << what << ": "
             << logging::SystemErrorCodeToString(error);
}

internal::BeforeRenameHookForTesting g_before_rename_hook = nullptr;

void WriteScopedStringToFileAtomically(const FilePath& path,
                                       const std::unique_ptr<std::string>& data,
                                       const std::shared_ptr<bool>& result) {
  const bool written = ImportantFileWriter::WriteFileAtomically(path, *data);
  if (result) *result = written;
}

}  // namespace

// static
bool ImportantFileWriter::WriteFileAtomically(const FilePath& path,
                                              StringPiece data) {
  if (data.size() > kMaxDataSize) {
    LOG(ERROR) << "Writing " << path.value() << " failed: " << data.size()
               << " bytes is more than a file write can take";
    RecordTempFileFailure(FAILED_WRITING);
    return false;
  }

  FilePath temp_path;
  uint32_t error = 0;
  switch (internal::WriteThroughTempFile(path, data, &temp_path, &error)) {
    case internal::TempFileWriteResult::kOk:
      break;
    case internal::TempFileWriteResult::kCreateFailed:
      LogFailure(path, "cannot create a temporary file", error);
      RecordTempFileFailure(FAILED_CREATING);
      return false;
    case internal::TempFileWriteResult::kOpenFailed:
      LogFailure(path, "cannot open the temporary file", error);
      RecordTempFileFailure(FAILED_OPENING);
      return false;
    case internal::TempFileWriteResult::kWriteFailed:
      LogFailure(path, "cannot write the temporary file", error);
      RecordTempFileFailure(FAILED_WRITING);
      return false;
    case internal::TempFileWriteResult::kFlushFailed:
      LogFailure(path, "cannot flush the temporary file", error);
      RecordTempFileFailure(FAILED_FLUSHING);
      return false;
    case internal::TempFileWriteResult::kRenameFailed:
      LogFailure(path, "cannot move the temporary file into place", error);
      RecordTempFileFailure(FAILED_RENAMING);
      return false;
  }
  return true;
}

ImportantFileWriter::ImportantFileWriter(
    const FilePath& path, ScopedRefPtr<SequencedTaskRunner> task_runner)
    : ImportantFileWriter(path, std::move(task_runner),
                          kDefaultCommitInterval) {}

ImportantFileWriter::ImportantFileWriter(
    const FilePath& path, ScopedRefPtr<SequencedTaskRunner> task_runner,
    TimeDelta interval)
    : path_(path),
      task_runner_(std::move(task_runner)),
      commit_interval_(interval) {
  CHECK(task_runner_);
}

ImportantFileWriter::~ImportantFileWriter() = default;

bool ImportantFileWriter::HasPendingWrite() const { return timer_.IsRunning(); }

void ImportantFileWriter::WriteNow(std::unique_ptr<std::string> data) {
  if (data->size() > kMaxDataSize) {
    LOG(ERROR) << "Not writing " << path_.value() << ": " << data->size()
               << " bytes is more than a file write can take";
    RecordTempFileFailure(FAILED_WRITING);
    return;
  }
  if (HasPendingWrite()) timer_.Stop();
  PostWriteTask(std::move(data));
}

void ImportantFileWriter::PostWriteTask(std::unique_ptr<std::string> data) {
  const Location from_here("PostWriteTask", __FILE__, __LINE__,
                           GetProgramCounter());
  if (on_next_successful_write_.is_null()) {
    Closure task = Bind(
        [](const FilePath& path, const std::unique_ptr<std::string>& data) {
          WriteScopedStringToFileAtomically(path, data, nullptr);
        },
        path_, std::move(data));
    if (!task_runner_->PostTask(from_here, task)) task.Run();
    return;
  }
  auto result = std::make_shared<bool>(false);
  Closure task = Bind(
      [](const FilePath& path, const std::unique_ptr<std::string>& data,
         const std::shared_ptr<bool>& result) {
        WriteScopedStringToFileAtomically(path, data, result);
      },
      path_, std::move(data), result);
  Closure reply = Bind(&ImportantFileWriter::ForwardSuccessfulWrite,
                       weak_factory_.GetWeakPtr(), result);
  if (!task_runner_->PostTaskAndReply(from_here, task, reply)) {
    task.Run();
    reply.Run();
  }
}

void ImportantFileWriter::ForwardSuccessfulWrite(
    const std::shared_ptr<bool>& result) {
  if (!*result || on_next_successful_write_.is_null()) return;
  Closure callback = std::move(on_next_successful_write_);
  on_next_successful_write_.Reset();
  callback.Run();
}

void ImportantFileWriter::ScheduleWrite(DataSerializer* serializer) {
  CHECK(serializer);
  serializer_ = serializer;
  if (timer_.IsRunning()) return;
  timer_.Start(
      Location("ScheduleWrite", __FILE__, __LINE__, GetProgramCounter()),
      commit_interval_, Bind(&ImportantFileWriter::DoScheduledWrite, this));
}

void ImportantFileWriter::DoScheduledWrite() {
  // Whatever the serializer says, this schedule is done; a timer left
  // running would come back to a cleared serializer.
  timer_.Stop();
  if (!serializer_) return;
  auto data = std::make_unique<std::string>();
  if (serializer_->SerializeData(data.get()))
    WriteNow(std::move(data));
  else
    LOG(WARNING) << "Nothing written to " << path_.value()
                 << ": the data could not be serialized";
  serializer_ = nullptr;
}

void ImportantFileWriter::RegisterOnNextSuccessfulWriteCallback(
    const Closure& on_next_successful_write) {
  on_next_successful_write_ = on_next_successful_write;
}

namespace internal {

void RunBeforeRenameHook(const FilePath& temp_path, const FilePath& path) {
  if (g_before_rename_hook) g_before_rename_hook(temp_path, path);
}

void SetBeforeRenameHookForTesting(BeforeRenameHookForTesting hook) {
  g_before_rename_hook = hook;
}

}  // namespace internal

}  // namespace base
