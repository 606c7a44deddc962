// A FolderSecurity for tests: the test system stores no access list of a
// file or folder, so the descriptors that the installer writes, and those
// of the folders it creates, are appended to a record file that every
// process of a test can share (one line each: the folder, a tab, the
// descriptor, and for a creation a tab and "created"). A folder's
// descriptor is the last one recorded for it; for one never recorded,
// below one that is (other than the levels above a test's folder),
// Administrators' with the list that one passes on, as a folder an
// elevated run makes there has; else the one the system makes up.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_RECORDED_FOLDER_SECURITY_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_RECORDED_FOLDER_SECURITY_WIN_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "desktop/windows/installer/service/folder_security_win.h"

namespace installer {
namespace test {

class RecordedFolderSecurity : public FolderSecurity {
 public:
  explicit RecordedFolderSecurity(const base::FilePath& record);
  ~RecordedFolderSecurity() override;

  // Every descriptor recorded in |record| for |folder| (its letter case
  // ignored), oldest first.
  static std::vector<std::u16string> History(const base::FilePath& record,
                                             const base::FilePath& folder);
  // Whether the first descriptor recorded for |folder| is the one Create()
  // made it with: it never had another.
  static bool MadeWithFirst(const base::FilePath& record,
                            const base::FilePath& folder);

  // Records the protected list (kProtectedFolderSecurity) for every folder
  // above |folder|: on Windows the levels above a test's folder are the
  // system's, which only administrators may change; the test system makes
  // up lists for them that let their user move them.
  bool ProtectLevelsAbove(const base::FilePath& folder);

  // Records |descriptor| as the list of |folder|, which must exist, as its
  // owner or an earlier installer would have set it.
  bool Write(const base::FilePath& folder, const std::u16string& descriptor);

  // FolderSecurity:
  std::u16string Read(const base::FilePath& folder) override;
  bool Create(const base::FilePath& folder,
              const std::u16string& descriptor) override;

 private:
  // |tag|: empty, or the line's third field.
  bool Append(const base::FilePath& folder, const std::u16string& descriptor,
              const char* tag);

  const base::FilePath record_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_RECORDED_FOLDER_SECURITY_WIN_H_
