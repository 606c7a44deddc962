#include "desktop/windows/installer/core/preserve_file_operation_win.h"

#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/logging.h"

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
  if (existed_ && !base::FileUtil::ReadFileToStringWithMaxSize(
                      path_, &contents_, kMaxSize)) {
    LOG(ERROR) << "Cannot keep the contents of " << path_;
    return false;
  }
  executed_ = true;
  return true;
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
