// A ShellPlatform for tests: an injected Windows version index, recording
// stand-ins for the association registration, the activation manager and
// the Open-With dialog, and registry operations that run for real until
// the one chosen to fail. Each stand-in can be switched back to the real
// component.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_FAKE_SHELL_PLATFORM_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_FAKE_SHELL_PLATFORM_H_

#include <string>
#include <vector>

#include "desktop/windows/installer/service/shell_platform.h"

namespace installer {
namespace test {

class FakeShellPlatform : public ShellPlatform {
 public:
  explicit FakeShellPlatform(int windows_version);
  ~FakeShellPlatform() override;

  // ShellPlatform.
  int GetWindowsVersion() override;
  HRESULT CreateAssociationRegistration(
      Microsoft::WRL::ComPtr<IApplicationAssociationRegistration>* out)
      override;
  HRESULT CreateActivationManager(
      Microsoft::WRL::ComPtr<IApplicationActivationManager>* out) override;
  HRESULT ShowOpenWithDialog(HWND owner, const OPENASINFO& info) override;
  bool RunOperation(Transaction* transaction,
                    std::unique_ptr<Operation> operation) override;

  // What the stand-ins answer.
  BOOL app_is_default = TRUE;
  HRESULT query_result = S_OK;
  HRESULT set_default_result = S_OK;
  HRESULT activate_result = S_OK;
  HRESULT open_with_result = S_OK;
  // The real components instead of the stand-ins.
  bool real_association_registration = false;
  bool real_activation_manager = false;

  // The zero-based index of the registry operation that fails (counted over
  // all registrations); -1 for none.
  int fail_operation = -1;
  int operations_run = 0;

  // One line per call: "QueryAppIsDefault StartmenuInternet 2 1 Velna beta",
  // "SetAppAsDefault Velna beta http 1", "ActivateApplication <id> <args> 0",
  // "OpenWith http 0x4a".
  std::vector<std::string> calls;

 private:
  const int windows_version_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_FAKE_SHELL_PLATFORM_H_
