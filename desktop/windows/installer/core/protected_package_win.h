// ProtectedPackage: the package as an elevated installer process uses it.
// The unpacked package lies in the user's temporary folder, where the
// user's other processes (or, when an administrator typed the password for
// a standard user, that user) may change it at any time: an elevated
// process that read, copied or ran anything from there would run their
// code. So it first copies the package into a protected folder
// (protected_folder_win.h) and works only from that copy, which goes with
// the object.
//
// An elevated backend that waits for the package to be unpacked copies each
// file as soon as the unpack has let it go (StartCopy), so that the copy
// costs little time once the package is complete (FinishCopy).
//
// The copy is used only when Verify() accepts it: when this engine's own
// file is signed, every program and library in it must pass the signer
// check that a downloaded full installer passes (SignatureVerifier), and
// its installer must not be older than this engine. An unsigned engine is
// a development build, which says so in the log. The package's data files
// are not checked: they rest on the package's own checksum and on the
// folder it was unpacked to.
//
// Used on one thread; a started copy runs on a thread of its own until
// FinishCopy() or the object goes.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_PACKAGE_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_PACKAGE_WIN_H_

#include <memory>
#include <string>

#include "base/files/file_path.h"
#include "base/synchronization/waitable_event.h"

namespace installer {

class FolderCopyWhileFilled;

class ProtectedPackage {
 public:
  ProtectedPackage(const ProtectedPackage&) = delete;
  ProtectedPackage& operator=(const ProtectedPackage&) = delete;
  // Stops a started copy and deletes the copy.
  ~ProtectedPackage();

  // Copies the package folder |source| into a new protected folder. Null,
  // after an error line, when no such folder can be made or the package
  // cannot be copied as it is (see CopyFolderWithoutLinks).
  static std::unique_ptr<ProtectedPackage> Copy(const base::FilePath& source);

  // The package folder |folder| as it is, when it lies in a protected
  // folder already (IsInProtectedFolder: an elevated front end unpacked it
  // there), so that a copy would add nothing; null when it does not.
  // Nothing is copied, and the folder stays when the object goes.
  static std::unique_ptr<ProtectedPackage> InPlace(
      const base::FilePath& folder);

  // Makes a new protected folder and starts copying the package folder
  // |source|, which another process is still filling, into it
  // (FolderCopyWhileFilled). Null, after an error line, when no such folder
  // can be made.
  static std::unique_ptr<ProtectedPackage> StartCopy(
      const base::FilePath& source);
  // Once the package is complete: ends a started copy and copies what is
  // left. False, after an error line, as Copy().
  bool FinishCopy();

  // The copy, or the package itself when it is used in place.
  const base::FilePath& folder() const { return folder_; }
  // Whether the package was copied: the original may go meanwhile.
  bool copied() const { return copied_; }
  // The copy's "installer.exe".
  base::FilePath installer() const;
  // Whether the copy may be installed from and installer() started. A
  // signed engine checks every file of the copy that Windows would run or
  // load (named ".exe" or ".dll", or starting as a Windows program does,
  // "MZ" leading to "PE\0\0", whatever its name) with
  // SignatureVerifier::VerifySigner, and asks installer() for its
  // "internal-version", which must not be lower than this engine's. On a
  // refusal, an error line and |*refusal| (may be null) name the first
  // file that fails and why.
  bool Verify(std::string* refusal) const;

 private:
  class CopyThread;

  ProtectedPackage(const base::FilePath& folder, bool copied);
  void StopCopyThread();

  const base::FilePath folder_;
  const bool copied_;
  std::unique_ptr<FolderCopyWhileFilled> copy_;
  base::WaitableEvent stop_copying_;
  std::unique_ptr<CopyThread> copy_thread_;
};

// Whether the file that holds this engine's code carries a signature. A
// file that cannot be read counts as signed.
bool IsEngineSigned();

namespace internal {

// Makes IsEngineSigned() answer |state|: 0 unsigned, 1 signed, -1 the
// file's own answer. For tests and test hosts, before the installer runs.
void SetEngineSignedForTesting(int state);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PROTECTED_PACKAGE_WIN_H_
