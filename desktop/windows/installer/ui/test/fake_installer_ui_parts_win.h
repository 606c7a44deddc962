// Fakes of what the UI controller drives: a package fetcher that counts its
// starts (the test reports statuses to the controller itself, as the real
// fetcher's posted notifications do), an installer runner whose backend the
// test plays (or, when asked, the real runner), an overrides fetcher that
// completes at once, and chosen answers for the Windows version, SSE2 and
// the shell's "open".
//
// The parts stay owned by the controller; FakeInstallerUIParts keeps
// pointers to what it made, valid while the controller lives.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_TEST_FAKE_INSTALLER_UI_PARTS_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_TEST_FAKE_INSTALLER_UI_PARTS_WIN_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/observer_list.h"
#include "desktop/windows/installer/common/installer_observer.h"
#include "desktop/windows/installer/ui/installer_ui_parts_win.h"

namespace installer {
namespace test {

class FakePackageFetcher : public PackageFetcherHandle {
 public:
  explicit FakePackageFetcher(const base::FilePath& download_folder);

  void Start() override { ++starts; }
  void RemovePackage() override { ++removals; }
  base::FilePath download_path() const override { return download_path_; }

  int starts = 0;
  int removals = 0;

 private:
  const base::FilePath download_path_;
};

class FakeInstallerRunner : public InstallerRunnerHandle {
 public:
  // Holds and freezes the settings as the real runner does, and as it
  // refuses a start before Stop() let go of the settings; when
  // |fail_start| is set, reports |start_error| to the observers and fails
  // instead.
  bool Start(Settings* settings) override;
  void Stop() override {
    ++stops;
    settings = nullptr;
  }
  void NotifyPackageReady() override { package_ready = true; }
  void AddObserver(InstallerObserver* observer) override {
    observers_.AddObserver(observer);
  }
  void RemoveObserver(InstallerObserver* observer) override {
    observers_.RemoveObserver(observer);
  }

  // The backend's messages and end, as the runner reports them.
  void SendTotalSteps(uint32_t count);
  void SendStep();
  void SendError(uint32_t string_id, const std::u16string& text,
                 const std::string& detail);
  void SendSuccess();
  void SendTerminated(bool success);

  // Every Start but those refused for held settings.
  int starts = 0;
  int stops = 0;
  bool package_ready = false;
  bool fail_start = false;
  uint32_t start_error = 0;
  Settings* settings = nullptr;

 private:
  base::ObserverList<InstallerObserver> observers_;
};

class FakeOverridesFetcher : public OverridesFetcherHandle {
 public:
  void Fetch(const std::string& tracking_data, base::Closure done) override {
    fetched.push_back(tracking_data);
    done.Run();
  }
  std::vector<std::string> fetched;
};

class FakeInstallerUIParts : public InstallerUIParts {
 public:
  FakeInstallerUIParts();
  ~FakeInstallerUIParts() override;

  std::unique_ptr<PackageFetcherHandle> CreatePackageFetcher(
      const base::FilePath& download_folder, StatsNode* node,
      UICallbackRunner* ui_runner, PackageFetcher::Delegate* delegate) override;
  std::unique_ptr<InstallerRunnerHandle> CreateInstallerRunner(
      const base::FilePath& package_folder) override;
  std::unique_ptr<OverridesFetcherHandle> CreateOverridesFetcher(
      const base::FilePath& package_folder,
      UICallbackRunner* ui_runner) override;
  base::win::WindowsVersion GetWindowsVersion() override {
    return windows_version;
  }
  bool ProcessorHasSse2() override { return has_sse2; }
  bool OpenPage(const std::u16string& url, bool in_system_browser) override {
    opened.emplace_back(url, in_system_browser);
    return true;
  }

  // The production runner instead of FakeInstallerRunner (|runner| stays
  // null).
  bool real_runner = false;
  base::win::WindowsVersion windows_version = base::win::kVersionWin10;
  bool has_sse2 = true;
  std::vector<std::pair<std::u16string, bool>> opened;

  // What the controller asked for; null until then.
  FakePackageFetcher* fetcher = nullptr;
  FakeInstallerRunner* runner = nullptr;
  FakeOverridesFetcher* overrides_fetcher = nullptr;
  // The folder the runner was made for.
  base::FilePath runner_package_folder;
  base::FilePath overrides_package_folder;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_TEST_FAKE_INSTALLER_UI_PARTS_WIN_H_
