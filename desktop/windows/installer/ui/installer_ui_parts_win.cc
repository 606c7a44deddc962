#include "desktop/windows/installer/ui/installer_ui_parts_win.h"

#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include <utility>

#include "base/command_line.h"
#include "base/cpu.h"
#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/core/desktop_user_start_win.h"
#include "desktop/windows/installer/core/installer_rights_win.h"
#include "desktop/windows/installer/core/installer_runner.h"
#include "desktop/windows/installer/core/pref_default_overrides_fetcher.h"

namespace installer {

namespace {

class OverridesFetcher : public OverridesFetcherHandle {
 public:
  OverridesFetcher(const base::FilePath& package_folder,
                   UICallbackRunner* ui_runner)
      : fetcher_(package_folder, ui_runner) {}

  void Fetch(const std::string& tracking_data, base::Closure done) override {
    fetcher_.Fetch(tracking_data, std::move(done));
  }

 private:
  PrefDefaultOverridesFetcher fetcher_;
};

// The front end's runner as the controller drives it.
class RealInstallerRunner : public InstallerRunnerHandle {
 public:
  explicit RealInstallerRunner(const base::FilePath& package_folder)
      : runner_(package_folder) {}

  bool Start(Settings* settings) override { return runner_.Start(settings); }
  void Stop() override { runner_.Stop(); }
  void NotifyPackageReady() override { runner_.NotifyPackageReady(); }
  void AddObserver(InstallerObserver* observer) override {
    runner_.AddObserver(observer);
  }
  void RemoveObserver(InstallerObserver* observer) override {
    runner_.RemoveObserver(observer);
  }

 private:
  InstallerRunner runner_;
};

class RealInstallerUIParts : public InstallerUIParts {
 public:
  std::unique_ptr<PackageFetcherHandle> CreatePackageFetcher(
      const base::FilePath& download_folder, StatsNode* node,
      UICallbackRunner* ui_runner,
      PackageFetcher::Delegate* delegate) override {
    return CreatePackageFetcherHandle(download_folder, node, ui_runner,
                                      delegate);
  }
  std::unique_ptr<InstallerRunnerHandle> CreateInstallerRunner(
      const base::FilePath& package_folder) override {
    return std::make_unique<RealInstallerRunner>(package_folder);
  }
  std::unique_ptr<OverridesFetcherHandle> CreateOverridesFetcher(
      const base::FilePath& package_folder,
      UICallbackRunner* ui_runner) override {
    return std::make_unique<OverridesFetcher>(package_folder, ui_runner);
  }
  base::win::WindowsVersion GetWindowsVersion() override {
    return base::win::GetWindowsVersion();
  }
  bool ProcessorHasSse2() override { return base::CPU().has_sse2(); }
  bool OpenPage(const std::u16string& url, bool in_system_browser) override {
    const base::FilePath browser = GetSystemBrowserPath();
    if (GetInstallerRights()->IsElevated()) {
      // Not as this process, whose associations may be another account's
      // than the desktop user's.
      base::CommandLine command(browser);
      command.AppendArgNative(url);
      return StartAsDesktopUser(command, {}).IsValid();
    }
    SHELLEXECUTEINFOW info = {sizeof(info)};
    info.lpVerb = L"open";
    info.lpFile = base::as_wcstr(in_system_browser ? browser.value() : url);
    info.lpParameters = in_system_browser ? base::as_wcstr(url) : nullptr;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) return true;
    PLOG(ERROR) << "Could not open " << url;
    return false;
  }
};

}  // namespace

std::unique_ptr<InstallerUIParts> CreateInstallerUIParts() {
  return std::make_unique<RealInstallerUIParts>();
}

}  // namespace installer
