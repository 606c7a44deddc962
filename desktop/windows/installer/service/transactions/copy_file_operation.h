// CopyFileOperation: copies one file into place. A missing destination
// folder is created first, as a sub-operation.
//
// An existing destination file is replaced in one rename: the copy is made
// under a temporary name beside it ("<hex>.tmp", as the atomic file writer
// names its files) and then takes its place, so that a process ended at any
// moment leaves the old file or the new one there, never none. Meanwhile
// a copy of the old file is kept under its aside name ("<name>.<seconds>.old",
// see DeleteFileOperation); rollback puts it back, commit deletes it. Where the
// system refuses to replace the file (Windows does for a program that runs,
// which it still lets move), the old file is moved to an aside name and the
// new one, already whole, renamed into its place. Where that cannot be done
// either, the old file is moved aside as a sub-operation (which may grant
// the user access to it) and the copy made in its place.
//
// Given HeldFolders that hold the destination, a new file is made in its
// held folder and filled from the source, opened in its own held folder
// where one holds it: nothing on either path is looked up again. An
// existing destination, and whatever else that road does not handle, goes
// by the paths as above.
//
// A program that may be started by its name (NewFile::kWhole) appears under
// it only once whole: a new file is written under a temporary name beside
// it, named as above, and then renamed in its held folder (or, on the road
// by path, by its path), so that a process ended part-way leaves at most
// that temporary file.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_

#include <memory>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/transactions/file_operation_helpers.h"
#include "desktop/windows/installer/service/transactions/operation.h"

namespace installer {

class CopyFileOperation : public Operation {
 public:
  // How a new destination file is made (see the top).
  enum class NewFile { kFilledInPlace, kWhole };

  CopyFileOperation(const base::FilePath& source,
                    const base::FilePath& destination,
                    std::weak_ptr<HeldFolders> held_folders = {},
                    NewFile new_file = NewFile::kFilledInPlace);
  // Commit: deletes the old file's aside names.
  ~CopyFileOperation() override;

  bool Execute(Transaction* sub) override;
  void Rollback() override;

 private:
  enum class Replacement { kDone, kFailed, kNotInOneStep };

  // Replaces the existing destination file through a temporary copy.
  // kNotInOneStep, having changed nothing, when it cannot.
  Replacement ReplaceExisting();
  // The copy into a new file through |held_folders_|, its missing folder
  // made as a sub-operation into |sub|.
  HeldMove CopyThroughHeldFolders(Transaction* sub);
  // The copy by the two paths, as the top says.
  bool CopyByPath(Transaction* sub);
  // The copy of |from| into a new destination file whole under a temporary
  // name, renamed in |folder| (held) or, when null, by its path. kByPath,
  // having changed nothing, when no temporary file can be made.
  HeldMove CopyWhole(HANDLE from, HANDLE folder);

  const base::FilePath source_;
  const base::FilePath destination_;
  const std::weak_ptr<HeldFolders> held_folders_;
  const NewFile new_file_;
  bool completed_ = false;
  // The destination was replaced; the old file is under |kept_| and, when
  // it had to move, under |moved_aside_| too.
  bool replaced_ = false;
  base::FilePath kept_;
  base::FilePath moved_aside_;
  // The source's read-only bit was cleared and is set again on rollback.
  bool cleared_read_only_ = false;
};

namespace internal {

// Called once the new file is whole under its temporary name and before it
// replaces |destination|: where a test stops a process that is ended while
// it replaces a file. Null (the default) for none; set before any copy.
using BeforeReplaceHookForTesting = void (*)(const base::FilePath& temp_path,
                                             const base::FilePath& destination);
void SetBeforeReplaceHookForTesting(BeforeReplaceHookForTesting hook);
// Called, when the replacement takes two renames, once the old file has
// moved aside and before the new one takes its place.
void SetBetweenRenamesHookForTesting(BeforeReplaceHookForTesting hook);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TRANSACTIONS_COPY_FILE_OPERATION_H_
