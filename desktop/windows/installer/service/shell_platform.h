// ShellPlatform: what the shell integration asks of Windows: the Windows
// version index, the two default-program components (association
// registration, application activation manager), the modal Open-With
// dialog, and the running of each registry operation. The real calls are
// the default; tests install a subclass that overrides some of them (the
// version index, a component that the test machine lacks, a dialog nobody
// would close, a registry write that fails).
//
// Used on the installer's main thread, with COM initialised.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_SHELL_PLATFORM_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_SHELL_PLATFORM_H_

#include <windows.h>
// After windows.h.
#include <shlobj.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <memory>

namespace installer {

class Operation;
class Transaction;

class ShellPlatform {
 public:
  ShellPlatform() = default;
  ShellPlatform(const ShellPlatform&) = delete;
  ShellPlatform& operator=(const ShellPlatform&) = delete;
  virtual ~ShellPlatform();

  // The platform in use: the real one, or the test's.
  static ShellPlatform* Get();

  // The Windows version index (base/win/windows_version.h).
  virtual int GetWindowsVersion();
  // Creates the application association registration (in-process server or
  // handler).
  virtual HRESULT CreateAssociationRegistration(
      Microsoft::WRL::ComPtr<IApplicationAssociationRegistration>* out);
  // Creates the application activation manager (any context).
  virtual HRESULT CreateActivationManager(
      Microsoft::WRL::ComPtr<IApplicationActivationManager>* out);
  // SHOpenWithDialog: waits until the user closes the dialog.
  virtual HRESULT ShowOpenWithDialog(HWND owner, const OPENASINFO& info);
  // Transaction::RunOperation.
  virtual bool RunOperation(Transaction* transaction,
                            std::unique_ptr<Operation> operation);
};

// While it lives, ShellPlatform::Get() returns |platform| (not owned).
// One at a time, on the thread that uses the shell integration.
class ScopedShellPlatformForTesting {
 public:
  explicit ScopedShellPlatformForTesting(ShellPlatform* platform);
  ScopedShellPlatformForTesting(const ScopedShellPlatformForTesting&) = delete;
  ScopedShellPlatformForTesting& operator=(
      const ScopedShellPlatformForTesting&) = delete;
  ~ScopedShellPlatformForTesting();

 private:
  ShellPlatform* const previous_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_SHELL_PLATFORM_H_
