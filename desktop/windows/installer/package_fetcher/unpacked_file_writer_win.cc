#include "desktop/windows/installer/package_fetcher/unpacked_file_writer_win.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/files/file_attributes_win.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/threading/simple_thread.h"

namespace installer {

namespace {

// Four chunks: one being filled, one being written, two to even out the
// pace of small and large files.
constexpr int kChunkCount = 4;
// A chunk of many small files is handed over before it is full, so that
// the writer starts early.
constexpr size_t kMaxOperationsPerChunk = 256;

// The result of a short write that the system gave no error for.
constexpr DWORD kShortWriteError = ERROR_WRITE_FAULT;

bool IsExistsError(DWORD error) {
  return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

HANDLE CreateNewFile(const base::FilePath& path) {
  return CreateFileW(base::as_wcstr(path.value()), GENERIC_WRITE, 0, nullptr,
                     CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

struct UnpackedFileWriter::Operation {
  enum Kind { kFolder, kBeginFile, kBytes, kEndFile };
  Kind kind;
  base::FilePath path;    // kFolder, kBeginFile
  bool has_time = false;  // kBeginFile
  uint64_t time = 0;      // kBeginFile
  size_t offset = 0;      // kBytes: into the chunk's data
  size_t size = 0;        // kBytes
};

struct UnpackedFileWriter::Chunk {
  std::vector<uint8_t> data;
  size_t used = 0;
  std::vector<Operation> operations;

  void Clear() {
    used = 0;
    operations.clear();
  }
};

class UnpackedFileWriter::WriterThread : public base::SimpleThread {
 public:
  explicit WriterThread(UnpackedFileWriter* owner)
      : base::SimpleThread("Unpack writer"), owner_(owner) {}
  void Run() override { owner_->RunWriter(); }

 private:
  UnpackedFileWriter* const owner_;
};

UnpackedFileWriter::UnpackedFileWriter(size_t max_write_size,
                                       uint64_t write_limit)
    : max_write_size_(max_write_size),
      write_limit_(write_limit),
      changed_(&lock_) {
  for (int i = 0; i < kChunkCount; ++i) {
    auto chunk = std::make_unique<Chunk>();
    chunk->data.resize(kChunkSize);
    free_.push_back(std::move(chunk));
  }
  filling_ = std::move(free_.back());
  free_.pop_back();
}

UnpackedFileWriter::~UnpackedFileWriter() {
  {
    base::AutoLock lock(lock_);
    stopping_ = true;
    queued_.clear();
    changed_.Broadcast();
  }
  if (thread_) thread_->Join();
  file_.Close();
}

void UnpackedFileWriter::Start() {
  thread_ = std::make_unique<WriterThread>(this);
  if (!thread_->Start()) {
    LOG(WARNING) << "No writer thread: files are written in turn";
    thread_.reset();
  }
}

void UnpackedFileWriter::CreateFolder(const base::FilePath& folder) {
  filling_->operations.push_back({Operation::kFolder, folder});
  if (filling_->operations.size() >= kMaxOperationsPerChunk) SubmitChunk();
}

void UnpackedFileWriter::BeginFile(const base::FilePath& path,
                                   const uint64_t* last_write_time) {
  Operation operation = {Operation::kBeginFile, path};
  if (last_write_time) {
    operation.has_time = true;
    operation.time = *last_write_time;
  }
  filling_->operations.push_back(std::move(operation));
}

uint8_t* UnpackedFileWriter::GetBuffer(size_t* size) {
  if (filling_->used == kChunkSize) SubmitChunk();
  *size = std::max<size_t>(1, std::min(*size, kChunkSize - filling_->used));
  return filling_->data.data() + filling_->used;
}

void UnpackedFileWriter::Commit(size_t size) {
  if (size == 0) return;
  std::vector<Operation>& operations = filling_->operations;
  if (!operations.empty() && operations.back().kind == Operation::kBytes &&
      operations.back().offset + operations.back().size == filling_->used) {
    operations.back().size += size;
  } else {
    Operation operation = {Operation::kBytes};
    operation.offset = filling_->used;
    operation.size = size;
    operations.push_back(std::move(operation));
  }
  filling_->used += size;
}

void UnpackedFileWriter::EndFile() {
  filling_->operations.push_back({Operation::kEndFile});
  if (filling_->operations.size() >= kMaxOperationsPerChunk) SubmitChunk();
}

uint32_t UnpackedFileWriter::Finish() {
  if (!filling_->operations.empty()) SubmitChunk();
  base::AutoLock lock(lock_);
  while (!queued_.empty() || busy_) changed_.Wait();
  return error_;
}

uint32_t UnpackedFileWriter::error() const {
  base::AutoLock lock(lock_);
  return error_;
}

void UnpackedFileWriter::RemoveCreated() {
  {
    base::AutoLock lock(lock_);
    while (!queued_.empty()) {
      queued_.front()->Clear();
      free_.push_back(std::move(queued_.front()));
      queued_.pop_front();
    }
    while (busy_) changed_.Wait();
  }
  filling_->Clear();
  file_.Close();
  for (auto it = created_files_.rbegin(); it != created_files_.rend(); ++it)
    base::DeleteFileOrDirectory(*it, false);
  for (auto it = created_folders_.rbegin(); it != created_folders_.rend();
       ++it) {
    RemoveDirectoryW(base::as_wcstr(it->value()));
  }
  created_files_.clear();
  created_file_paths_.clear();
  created_folders_.clear();
  known_folders_.clear();
}

void UnpackedFileWriter::SubmitChunk() {
  if (!thread_) {
    Process(filling_.get());
    filling_->Clear();
    return;
  }
  base::AutoLock lock(lock_);
  queued_.push_back(std::move(filling_));
  changed_.Broadcast();
  while (free_.empty()) changed_.Wait();
  filling_ = std::move(free_.back());
  free_.pop_back();
}

void UnpackedFileWriter::RunWriter() {
  for (;;) {
    std::unique_ptr<Chunk> chunk;
    {
      base::AutoLock lock(lock_);
      while (queued_.empty() && !stopping_) changed_.Wait();
      if (queued_.empty()) return;
      chunk = std::move(queued_.front());
      queued_.pop_front();
      busy_ = true;
    }
    Process(chunk.get());
    chunk->Clear();
    base::AutoLock lock(lock_);
    free_.push_back(std::move(chunk));
    busy_ = false;
    changed_.Broadcast();
  }
}

void UnpackedFileWriter::Process(Chunk* chunk) {
  for (const Operation& operation : chunk->operations) {
    if (error() != 0) return;
    Perform(operation, chunk->data.data());
  }
}

void UnpackedFileWriter::Perform(const Operation& operation,
                                 const uint8_t* data) {
  switch (operation.kind) {
    case Operation::kFolder:
      CreateFolderOnce(operation.path);
      return;
    case Operation::kBeginFile:
      CreateFolderOnce(operation.path.DirName());
      OpenFile(operation);
      return;
    case Operation::kBytes:
      WriteBytes(data + operation.offset, operation.size);
      return;
    case Operation::kEndFile:
      CloseFile();
      return;
  }
}

void UnpackedFileWriter::Fail(uint32_t error) {
  file_.Close();
  base::AutoLock lock(lock_);
  if (error_ == 0) error_ = error;
}

void UnpackedFileWriter::CreateFolderOnce(const base::FilePath& folder) {
  if (known_folders_.count(folder.value())) return;
  // The missing levels, outermost first, each remembered for the removal.
  std::vector<base::FilePath> missing;
  base::FilePath level = folder;
  for (; !known_folders_.count(level.value()) && !base::DirectoryExists(level);
       level = level.DirName()) {
    missing.push_back(level);
    if (level.DirName() == level) break;
  }
  if (!known_folders_.count(level.value()) && base::DirectoryExists(level)) {
    if (!AcceptFolder(level)) return;
    known_folders_.insert(level.value());
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (CreateDirectoryW(base::as_wcstr(it->value()), nullptr)) {
      created_folders_.push_back(*it);
    } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
      LOG(WARNING) << "Cannot create " << *it << ": " << GetLastError();
      return;
    } else if (!AcceptFolder(*it)) {
      // Made by someone else meanwhile.
      return;
    }
    known_folders_.insert(it->value());
  }
}

bool UnpackedFileWriter::AcceptFolder(const base::FilePath& folder) {
  if (!base::internal::IsLink(base::internal::GetWalkAttributes(folder)))
    return true;
  LOG(ERROR) << "Refusing to unpack into " << folder << ": it is a link";
  Fail(ERROR_CANT_ACCESS_FILE);
  return false;
}

void UnpackedFileWriter::OpenFile(const Operation& operation) {
  const base::FilePath& path = operation.path;
  // Always a file of its own: whatever stands at the path was not made
  // for this file, and may be a link or a second name of another file. Only
  // this writer's own earlier file of the name makes way.
  const bool made_here = created_file_paths_.count(path.value()) != 0;
  file_.Set(CreateNewFile(path));
  if (!file_.IsValid() && made_here && IsExistsError(GetLastError()) &&
      DeleteFileW(base::as_wcstr(path.value()))) {
    file_.Set(CreateNewFile(path));
  }
  if (!file_.IsValid()) {
    const DWORD error = GetLastError();
    if (IsExistsError(error) && !made_here) {
      LOG(ERROR) << "Refusing to write over " << path
                 << ", which this unpack did not make";
    }
    LOG(ERROR) << "Error returned by CreateFile: " << error;
    Fail(error);
    return;
  }
  if (!made_here) {
    created_files_.push_back(path);
    created_file_paths_.insert(path.value());
  }
  file_has_time_ = operation.has_time;
  file_time_ = operation.time;
}

void UnpackedFileWriter::WriteBytes(const uint8_t* data, size_t size) {
  // One WriteFile takes a 32-bit count.
  for (size_t done = 0; done < size;) {
    DWORD piece = static_cast<DWORD>(std::min(size - done, max_write_size_));
    bool full = false;
    if (write_limit_ - std::min(written_, write_limit_) < piece) {
      piece = static_cast<DWORD>(write_limit_ - written_);
      full = true;
    }
    DWORD written = 0;
    const BOOL ok = piece == 0 || WriteFile(file_.Get(), data + done, piece,
                                            &written, nullptr);
    DWORD error = 0;
    if (!ok || written != piece) {
      error = ok ? kShortWriteError : GetLastError();
      if (error == ERROR_SUCCESS) error = kShortWriteError;
    } else if (full) {
      error = ERROR_DISK_FULL;
    }
    if (error) {
      LOG(ERROR) << "Error returned by WriteFile: " << error;
      Fail(error);
      return;
    }
    written_ += piece;
    done += piece;
  }
}

void UnpackedFileWriter::CloseFile() {
  if (file_has_time_) {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(file_time_);
    time.dwHighDateTime = static_cast<DWORD>(file_time_ >> 32);
    if (!SetFileTime(file_.Get(), nullptr, nullptr, &time)) {
      const DWORD error = GetLastError();
      LOG(ERROR) << "Error returned by SetFileTime: " << error;
      Fail(error);
      return;
    }
  }
  if (!CloseHandle(file_.Take())) {
    const DWORD error = GetLastError();
    LOG(ERROR) << "Error returned by CloseHandle: " << error;
    Fail(error);
  }
}

}  // namespace installer
