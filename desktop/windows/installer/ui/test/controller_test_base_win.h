// A fixture for tests of the UI controller: real Settings on the test's
// folder, the fake parts, a script that plays the user and the backend,
// and a local HTTP server that receives the statistics (the branding's
// update server points at it, or "local-stats-server" sends to port 3000).

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_TEST_CONTROLLER_TEST_BASE_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_TEST_CONTROLLER_TEST_BASE_WIN_H_

#include <windows.h>

#include <memory>
#include <string>

#include "base/values.h"
#include "desktop/windows/installer/test/local_http_server_win.h"
#include "desktop/windows/installer/ui/installer_ui_controller_win.h"
#include "desktop/windows/installer/ui/test/fake_installer_ui_parts_win.h"
#include "desktop/windows/installer/ui/test/installer_window_test_base_win.h"
#include "desktop/windows/installer/ui/test/ui_script_win.h"

namespace installer {
namespace test {

class ControllerTestBase : public UITestBase {
 protected:
  ControllerTestBase();
  ~ControllerTestBase() override;

  // Starts the statistics server: on port 3000 with "local-stats-server"
  // on this process's command line, else on a free port that the
  // branding's update server names.
  void SetUpStatsServer(bool local_stats_server);

  // A controller on the fake parts (configured before the run through
  // parts()).
  void MakeController();
  // Runs the whole UI with |script|; the result of RunUI.
  bool RunUI(Settings* settings, UIScript* script, bool without_fetcher = false,
             bool run_immediately = false);

  FakeInstallerUIParts* parts() { return parts_; }
  FakeInstallerRunner* runner() { return parts_->runner; }
  FakePackageFetcher* fetcher() { return parts_->fetcher; }
  InstallerUIController* controller() { return controller_.get(); }
  // The window while it exists; null before and after.
  InstallerWindow* window() {
    return controller_ ? controller_->window() : nullptr;
  }
  HWND Control(int id);
  InstallerPage Page();
  base::FilePath DownloadFolder() const;

  // The statistics the last run sent; null when none arrived.
  std::unique_ptr<base::DictionaryValue> SentStats();

  LocalHttpServer server_;

 private:
  FakeInstallerUIParts* parts_ = nullptr;
  std::unique_ptr<InstallerUIController> controller_;
};

// A page of the statistics' "ui.page_sequence": its type and navigation.
std::string PageValue(const base::DictionaryValue& stats, size_t page,
                      const char* key);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_TEST_CONTROLLER_TEST_BASE_WIN_H_
