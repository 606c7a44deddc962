#include "desktop/windows/installer/core/protected_package_win.h"

#include <windows.h>

#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/package_fetcher/signature_verifier_win.h"

namespace installer {

namespace {

// A copy the package's backend did not consume still holds every file of
// the package.
constexpr size_t kDeleteThreads = 4;

int g_engine_signed_for_testing = -1;

// The module that holds this code: the engine library, or an installer
// executable that carries the engine inside itself.
base::FilePath GetEngineFile() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&GetEngineFile), &module)) {
    return base::FilePath();
  }
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return base::FilePath();
  return base::FilePath(std::u16string(base::as_u16cstr(path), length));
}

}  // namespace

ProtectedPackage::ProtectedPackage(const base::FilePath& folder)
    : folder_(folder) {}

ProtectedPackage::~ProtectedPackage() {
  if (!base::DeleteFolderTreeInParallel(folder_, kDeleteThreads))
    LOG(WARNING) << "Could not remove the package copy " << folder_;
}

// static
std::unique_ptr<ProtectedPackage> ProtectedPackage::Copy(
    const base::FilePath& source) {
  const base::FilePath folder = CreateProtectedFolder();
  if (folder.empty()) return nullptr;
  // Owned from here, so that a failed copy goes too.
  std::unique_ptr<ProtectedPackage> package(new ProtectedPackage(folder));
  LOG(INFO) << "Copying the package " << source << " to " << folder;
  if (!CopyFolderWithoutLinks(source, folder)) {
    LOG(ERROR) << "Could not copy the package to a protected folder";
    return nullptr;
  }
  return package;
}

base::FilePath ProtectedPackage::installer() const {
  return folder_.Append(kPackageInstallerName);
}

bool ProtectedPackage::MayStartInstaller() const {
  if (!IsEngineSigned()) {
    LOG(WARNING) << "This installer is unsigned: the signer of the package's "
                    "installer is not checked";
    return true;
  }
  if (SignatureVerifier::VerifySigner(installer())) return true;
  LOG(ERROR) << "The package's installer is not signed by "
             << BrandingConfig::GetExpectedSigner();
  return false;
}

bool IsEngineSigned() {
  if (g_engine_signed_for_testing >= 0) return g_engine_signed_for_testing != 0;
  bool is_signed = true;
  const base::FilePath file = GetEngineFile();
  if (file.empty() || !SignatureVerifier::IsSigned(file, &is_signed))
    return true;
  return is_signed;
}

namespace internal {

void SetEngineSignedForTesting(int state) {
  g_engine_signed_for_testing = state;
}

}  // namespace internal

}  // namespace installer
