#include "desktop/windows/installer/core/preserve_file_operation_win.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/files/open_without_links_win.h"
#include "base/logging.h"
#include "base/win/scoped_handle.h"

namespace installer {

PreserveFileOperation::PreserveFileOperation(const base::FilePath& path)
    : path_(path) {}

PreserveFileOperation::~PreserveFileOperation() = default;

bool PreserveFileOperation::Execute(Transaction* sub) {
  if (base::DirectoryExists(path_)) {
    LOG(ERROR) << "Cannot keep " << path_ << ": it is a folder";
    return false;
  }
  existed_ = base::PathExists(path_);
  if (existed_ && !ReadContents()) {
    LOG(ERROR) << "Cannot keep the contents of " << path_;
    return false;
  }
  executed_ = true;
  return true;
}

bool PreserveFileOperation::ReadContents() {
  // What a rollback writes back into the folder: never what a link, or a
  // second name of another file, leads to.
  const HANDLE opened = base::OpenWithoutLinks(
      path_.value(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (opened == INVALID_HANDLE_VALUE) return false;
  base::win::ScopedHandle file(opened);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > kMaxSize) {
    return false;
  }
  contents_.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return contents_.empty() ||
         (ReadFile(file.Get(), contents_.data(),
                   static_cast<DWORD>(contents_.size()), &read, nullptr) &&
          read == contents_.size());
}

void PreserveFileOperation::Rollback() {
  if (!executed_) return;
  executed_ = false;
  if (!existed_) {
    if (base::PathExists(path_) && !base::DeleteFileOrDirectory(path_, false))
      LOG(ERROR) << "Could not remove " << path_;
    return;
  }
  if (!base::ImportantFileWriter::WriteFileAtomically(path_, contents_))
    LOG(ERROR) << "Could not restore " << path_;
}

}  // namespace installer
