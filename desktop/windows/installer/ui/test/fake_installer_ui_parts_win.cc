#include "desktop/windows/installer/ui/test/fake_installer_ui_parts_win.h"

#include "desktop/windows/installer/core/settings.h"

namespace installer {
namespace test {

FakePackageFetcher::FakePackageFetcher(const base::FilePath& download_folder)
    : download_path_(download_folder.Append(u"velna_installer_test.exe")) {}

bool FakeInstallerRunner::Start(Settings* settings_to_install) {
  if (settings) return false;
  ++starts;
  if (fail_start) {
    observers_.Notify(&InstallerObserver::OnError, start_error,
                      std::u16string(), std::string("Could not start"));
    return false;
  }
  settings = settings_to_install;
  settings->set_initialized(false);
  return true;
}

void FakeInstallerRunner::SendTotalSteps(uint32_t count) {
  observers_.Notify(&InstallerObserver::OnTotalSteps, count);
}

void FakeInstallerRunner::SendStep() {
  observers_.Notify(&InstallerObserver::OnStep);
}

void FakeInstallerRunner::SendError(uint32_t string_id,
                                    const std::u16string& text,
                                    const std::string& detail) {
  observers_.Notify(&InstallerObserver::OnError, string_id, text, detail);
}

void FakeInstallerRunner::SendSuccess() {
  observers_.Notify(&InstallerObserver::OnSuccess);
}

void FakeInstallerRunner::SendTerminated(bool success) {
  observers_.Notify(&InstallerObserver::OnInstallerTerminated, success);
}

FakeInstallerUIParts::FakeInstallerUIParts() = default;

FakeInstallerUIParts::~FakeInstallerUIParts() = default;

std::unique_ptr<PackageFetcherHandle>
FakeInstallerUIParts::CreatePackageFetcher(
    const base::FilePath& download_folder, StatsNode* node,
    UICallbackRunner* ui_runner, PackageFetcher::Delegate* delegate) {
  auto created = std::make_unique<FakePackageFetcher>(download_folder);
  fetcher = created.get();
  return created;
}

std::unique_ptr<InstallerRunnerHandle>
FakeInstallerUIParts::CreateInstallerRunner(
    const base::FilePath& package_folder) {
  runner_package_folder = package_folder;
  if (real_runner)
    return CreateInstallerUIParts()->CreateInstallerRunner(package_folder);
  auto created = std::make_unique<FakeInstallerRunner>();
  runner = created.get();
  return created;
}

std::unique_ptr<OverridesFetcherHandle>
FakeInstallerUIParts::CreateOverridesFetcher(
    const base::FilePath& package_folder, UICallbackRunner* ui_runner) {
  auto created = std::make_unique<FakeOverridesFetcher>();
  overrides_fetcher = created.get();
  overrides_package_folder = package_folder;
  return created;
}

}  // namespace test
}  // namespace installer
