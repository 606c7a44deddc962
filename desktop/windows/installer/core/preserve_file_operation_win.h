// PreserveFileOperation: an operation that changes nothing itself but
// remembers one file's bytes (or that there is no such file), so that a
// rollback of the transaction puts the file back exactly as it was: the
// bytes are written back in one atomic replacement, or the file is deleted
// when it did not exist. Run it before writing a file by other means (a
// preference store), so that the write becomes part of the transaction.
// Commit changes nothing.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PRESERVE_FILE_OPERATION_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PRESERVE_FILE_OPERATION_WIN_H_

#include <string>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class PreserveFileOperation : public Operation {
 public:
  // Files larger than this are not kept: Execute() fails.
  static constexpr size_t kMaxSize = 16 * 1024 * 1024;

  explicit PreserveFileOperation(const base::FilePath& path);
  ~PreserveFileOperation() override;

  // False when the path is a folder, or the file cannot be read whole
  // (also when it is a link, or reached through one).
  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  bool ReadContents();

  const base::FilePath path_;
  bool executed_ = false;
  bool existed_ = false;
  std::string contents_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PRESERVE_FILE_OPERATION_WIN_H_
