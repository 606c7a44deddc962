#include "desktop/windows/installer/service/shell_platform.h"

#include <utility>

#include "base/win/windows_version.h"
#include "desktop/windows/installer/service/transactions/operation.h"
#include "desktop/windows/installer/service/transactions/transaction.h"

namespace installer {

namespace {

// {591209C7-767B-42B2-9FBA-44EE4615F2C7}
constexpr CLSID kClsidApplicationAssociationRegistration = {
    0x591209C7,
    0x767B,
    0x42B2,
    {0x9F, 0xBA, 0x44, 0xEE, 0x46, 0x15, 0xF2, 0xC7}};
// {45BA127D-10A8-46EA-8AB7-56EA9078943C}
constexpr CLSID kClsidApplicationActivationManager = {
    0x45BA127D,
    0x10A8,
    0x46EA,
    {0x8A, 0xB7, 0x56, 0xEA, 0x90, 0x78, 0x94, 0x3C}};

ShellPlatform* g_test_platform = nullptr;

}  // namespace

ShellPlatform::~ShellPlatform() = default;

// static
ShellPlatform* ShellPlatform::Get() {
  static ShellPlatform* const real = new ShellPlatform();
  return g_test_platform ? g_test_platform : real;
}

int ShellPlatform::GetWindowsVersion() {
  return base::win::GetWindowsVersion();
}

HRESULT ShellPlatform::CreateAssociationRegistration(
    Microsoft::WRL::ComPtr<IApplicationAssociationRegistration>* out) {
  return CoCreateInstance(kClsidApplicationAssociationRegistration, nullptr,
                          CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                          IID_PPV_ARGS(out->ReleaseAndGetAddressOf()));
}

HRESULT ShellPlatform::CreateActivationManager(
    Microsoft::WRL::ComPtr<IApplicationActivationManager>* out) {
  return CoCreateInstance(kClsidApplicationActivationManager, nullptr,
                          CLSCTX_ALL,
                          IID_PPV_ARGS(out->ReleaseAndGetAddressOf()));
}

HRESULT ShellPlatform::ShowOpenWithDialog(HWND owner, const OPENASINFO& info) {
  return SHOpenWithDialog(owner, &info);
}

bool ShellPlatform::RunOperation(Transaction* transaction,
                                 std::unique_ptr<Operation> operation) {
  return Transaction::RunOperation(transaction, std::move(operation));
}

ScopedShellPlatformForTesting::ScopedShellPlatformForTesting(
    ShellPlatform* platform)
    : previous_(g_test_platform) {
  g_test_platform = platform;
}

ScopedShellPlatformForTesting::~ScopedShellPlatformForTesting() {
  g_test_platform = previous_;
}

}  // namespace installer
