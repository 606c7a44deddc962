// A fixture for tests that run real installer processes (the test host,
// test_host_seams_win.h) for a per-test install folder: a prepared package
// (the host as "installer.exe", "files_list", the browser executable and
// the listed files), the seams file every process of the tree reads, one
// log folder per process, the events of a package backend's waiting step,
// and snapshots of the files and registry values an installation changes.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_TEST_BASE_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_TEST_BASE_WIN_H_

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/process/process.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/test/settings_fixture.h"

namespace installer {
namespace test {

class InstallerProcessTestBase : public SettingsTestBase {
 public:
  // The test host beside the tests.
  static base::FilePath Host();

 protected:
  InstallerProcessTestBase();
  ~InstallerProcessTestBase() override;

  void SetUp() override;
  void TearDown() override;

  // The package backend's steps: copy the listed files over the target's,
  // set a value, wait for go_event() (setting ready_event() first), then
  // fail with 37062 when |fail| is set, then remove a value.
  std::unique_ptr<base::ListValue> WorkSteps(bool fail);

  // Writes the seams file with the company key below this test's key,
  // |steps|, the log root, the protected root, the security record and
  // |extra| (merged in), and names it in this process's environment for the
  // children.
  void WriteSeams(std::unique_ptr<base::ListValue> steps,
                  const base::DictionaryValue& extra);

  // The lines of every log file that process |pid| wrote.
  std::string LogOf(uint32_t pid) const;
  // Runs until the log of |pid| holds |text| (at most a minute).
  bool WaitForLogLine(uint32_t pid, const std::string& text) const;
  // For the message of a failed step: whether the process |role| names
  // still runs, its command line, whether it got as far as its log folder,
  // and its log.
  std::string DescribeProcess(const char* role,
                              const base::Process& process) const;
  // Waits (at most a minute) for |event|.
  static bool WaitFor(const base::win::ScopedHandle& event);

  // The files below the test's folder, without the logs, the seams and
  // the prepared package; the registry below the company key.
  FileTreeSnapshot Files() const;
  RegistrySnapshot Registry() const;
  std::u16string ValuesKey() const;
  // "Last <stream> Install Path" and the text the backends write there.
  static std::u16string LastInstallPathValueName();
  std::u16string LastInstallPathValue() const;

  // The global event |base| of the install folder, created when missing.
  base::win::ScopedHandle FolderEvent(const char16_t* base) const;

  const base::FilePath& package() const { return package_; }
  const base::FilePath& target() const { return target_; }
  const base::FilePath& install_folder() const { return install_folder_; }
  const base::FilePath& log_root() const { return log_root_; }
  // Where elevated processes make their protected copies of the package
  // (the "protected_root" seam), and the record of the access lists the
  // installer gives folders (the "folder_security" seam).
  const base::FilePath& protected_root() const { return protected_root_; }
  const base::FilePath& security_record() const { return security_record_; }
  const base::win::ScopedHandle& ready_event() const { return ready_; }
  const base::win::ScopedHandle& go_event() const { return go_; }

 private:
  base::FilePath package_;
  base::FilePath target_;
  base::FilePath install_folder_;
  base::FilePath log_root_;
  base::FilePath protected_root_;
  base::FilePath security_record_;
  std::u16string ready_name_;
  std::u16string go_name_;
  base::win::ScopedHandle ready_;
  base::win::ScopedHandle go_;
};

// "\"" + path + "\"".
std::u16string Quoted(const base::FilePath& path);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_INSTALLER_PROCESS_TEST_BASE_WIN_H_
