#include "desktop/windows/installer/core/protected_package_win.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/threading/parallel_for.h"
#include "base/threading/simple_thread.h"
#include "base/time/time.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/installer_global_lock.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/package_fetcher/app_output_win.h"
#include "desktop/windows/installer/package_fetcher/package_fetcher.h"
#include "desktop/windows/installer/package_fetcher/signature_verifier_win.h"

namespace installer {

namespace {

// Each signer check mostly hashes its file, which threads overlap.
constexpr size_t kCheckThreads = 4;

// As long as a downloaded installer is given to print its version, and
// room for far more than a version.
constexpr int64_t kVersionTimeoutSeconds = 60;
constexpr size_t kMaxVersionOutput = 256;

// Between two passes over a package being unpacked: each pass lists the
// whole tree, and the unpack makes many small files in that time.
constexpr int64_t kCopyPassIntervalMs = 100;

// What the front end writes into the package after the unpack: the files
// list it extends with partner content, the preferences it gives the
// welcome page and the tracking data of a download.
constexpr const char16_t* kWrittenAfterUnpack[] = {
    kFilesListFileName, kPrefsIncludeFileName, kServerTrackingDataFileName};

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

// Whether Windows would run or load |file|: by its name, or, whatever its
// name, by its headers.
bool IsProgram(const base::FilePath& file) {
  const std::u16string extension = file.Extension();
  bool is_signed = false;
  return base::EqualsCaseInsensitiveASCII16(extension, ".exe") ||
         base::EqualsCaseInsensitiveASCII16(extension, ".dll") ||
         SignatureVerifier::IsSigned(file, &is_signed);
}

// The programs below |folder|, in the order of their paths.
std::vector<base::FilePath> FindPrograms(const base::FilePath& folder) {
  std::vector<base::FilePath> programs;
  base::FileEnumerator files(folder, true, base::FileEnumerator::FILES);
  for (base::FilePath file = files.Next(); !file.empty(); file = files.Next()) {
    if (IsProgram(file)) programs.push_back(file);
  }
  std::sort(programs.begin(), programs.end(),
            [](const base::FilePath& a, const base::FilePath& b) {
              return a.value() < b.value();
            });
  return programs;
}

// What |installer| prints for "internal-version", run as a downloaded
// installer is run for it; false when it does not answer in time.
bool AskInternalVersion(const base::FilePath& installer, std::string* output) {
  base::CommandLine command_line(installer);
  command_line.AppendSwitch(switches::kInternalVersion);
  // The installer runner makes its process handle inheritable under this
  // lock; the child must not get it.
  base::AutoLock hold(GetInstallerGlobalLock());
  return GetAppOutputWithTimeout(
             command_line, base::TimeDelta::FromSeconds(kVersionTimeoutSeconds),
             kMaxVersionOutput, nullptr, output) == AppOutputResult::kOk;
}

// Why the package in |folder| is refused, with |installer| its installer;
// empty when it is not.
std::string FindRefusal(const base::FilePath& folder,
                        const base::FilePath& installer) {
  const std::string refused = "Refusing the package: ";
  if (!base::PathExists(installer))
    return refused + "it has no " + installer.BaseName().AsUTF8();
  const std::vector<base::FilePath> programs = FindPrograms(folder);
  std::vector<char> passed(programs.size(), 0);
  base::ParallelFor(programs.size(), kCheckThreads, [&](size_t i) {
    passed[i] = SignatureVerifier::VerifySigner(programs[i]);
    return true;
  });
  for (size_t i = 0; i < programs.size(); ++i) {
    if (passed[i]) continue;
    base::FilePath relative;
    folder.AppendRelativePath(programs[i], &relative);
    return refused + "its file " + relative.AsUTF8() + " is not signed by " +
           BrandingConfig::GetExpectedSigner();
  }
  const std::string own = VersionInfo::GetInternalVersion();
  std::string version;
  if (!AskInternalVersion(installer, &version))
    return refused + "its " + installer.BaseName().AsUTF8() +
           " does not tell its version";
  if (!IsDownloadedVersionAcceptable(version, own)) {
    return refused + "its " + installer.BaseName().AsUTF8() + " is version " +
           version + ", older than this installer's " + own;
  }
  return std::string();
}

}  // namespace

class ProtectedPackage::CopyThread : public base::SimpleThread {
 public:
  CopyThread(FolderCopyWhileFilled* copy, base::WaitableEvent* stop)
      : SimpleThread("Package copy"), copy_(copy), stop_(stop) {}

  void Run() override {
    size_t copied = 0;
    do {
      copied += copy_->CopyLetGoFiles();
    } while (!stop_->TimedWait(
        base::TimeDelta::FromMilliseconds(kCopyPassIntervalMs)));
    VLOG(1) << "Copied " << copied << " files while the package was unpacked";
  }

 private:
  FolderCopyWhileFilled* const copy_;
  base::WaitableEvent* const stop_;
};

ProtectedPackage::ProtectedPackage(const base::FilePath& folder, bool copied)
    : folder_(folder),
      copied_(copied),
      stop_copying_(base::WaitableEvent::ResetPolicy::kManual,
                    base::WaitableEvent::InitialState::kNotSignaled) {}

ProtectedPackage::~ProtectedPackage() {
  StopCopyThread();
  if (copied_) RemoveProtectedFolder(folder_);
}

void ProtectedPackage::StopCopyThread() {
  if (!copy_thread_) return;
  stop_copying_.Signal();
  copy_thread_->Join();
  copy_thread_.reset();
}

// static
std::unique_ptr<ProtectedPackage> ProtectedPackage::Copy(
    const base::FilePath& source) {
  const base::FilePath folder = CreateProtectedFolder();
  if (folder.empty()) return nullptr;
  // Owned from here, so that a failed copy goes too.
  std::unique_ptr<ProtectedPackage> package(new ProtectedPackage(folder, true));
  LOG(INFO) << "Copying the package " << source << " to " << folder;
  if (!CopyFolderWithoutLinks(source, folder)) {
    LOG(ERROR) << "Could not copy the package to a protected folder";
    return nullptr;
  }
  return package;
}

// static
std::unique_ptr<ProtectedPackage> ProtectedPackage::InPlace(
    const base::FilePath& folder) {
  if (!IsInProtectedFolder(folder)) return nullptr;
  LOG(INFO) << "The package " << folder
            << " lies in a protected folder: using it in place";
  return std::unique_ptr<ProtectedPackage>(new ProtectedPackage(folder, false));
}

// static
std::unique_ptr<ProtectedPackage> ProtectedPackage::StartCopy(
    const base::FilePath& source) {
  const base::FilePath folder = CreateProtectedFolder();
  if (folder.empty()) return nullptr;
  std::unique_ptr<ProtectedPackage> package(new ProtectedPackage(folder, true));
  LOG(INFO) << "Copying the package " << source << " to " << folder
            << " while it is unpacked";
  package->copy_ = std::make_unique<FolderCopyWhileFilled>(
      source, folder,
      std::set<std::u16string>(std::begin(kWrittenAfterUnpack),
                               std::end(kWrittenAfterUnpack)));
  package->copy_thread_ = std::make_unique<CopyThread>(package->copy_.get(),
                                                       &package->stop_copying_);
  // Without the thread, FinishCopy() copies it all.
  if (!package->copy_thread_->Start()) package->copy_thread_.reset();
  return package;
}

bool ProtectedPackage::FinishCopy() {
  StopCopyThread();
  if (copy_ && copy_->Finish()) return true;
  LOG(ERROR) << "Could not copy the package to a protected folder";
  return false;
}

base::FilePath ProtectedPackage::installer() const {
  return folder_.Append(kPackageInstallerName);
}

bool ProtectedPackage::Verify(std::string* refusal) const {
  if (!IsEngineSigned()) {
    LOG(WARNING) << "This installer is unsigned: the signers of the "
                    "package's programs and its installer's version are not "
                    "checked";
    return true;
  }
  const std::string reason = FindRefusal(folder_, installer());
  if (reason.empty()) return true;
  LOG(ERROR) << reason;
  if (refusal) *refusal = reason;
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
