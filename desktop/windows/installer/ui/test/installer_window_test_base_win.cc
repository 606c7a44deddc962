#include "desktop/windows/installer/ui/test/installer_window_test_base_win.h"

#include "desktop/windows/installer/status.h"
#include "desktop/windows/installer/test/settings_test_util.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"

namespace installer {
namespace test {

UITestBase::UITestBase() : SettingsTestBase(base::MessageLoop::TYPE_UI) {}

UITestBase::~UITestBase() = default;

base::FilePath UITestBase::InstallFolder() const {
  return dir().Append(u"Velna");
}

std::unique_ptr<Settings> UITestBase::MakeInstallSettings(
    const std::u16string& arguments, bool system_language) {
  std::u16string switches =
      u"--installfolder=\"" + InstallFolder().value() + u"\" " + arguments;
  if (!system_language && arguments.find(u"--language") == std::u16string::npos)
    switches += u" --language=en-US";
  return MakeSettings(switches);
}

// static
bool UITestBase::WaitForStatus(Settings* settings) {
  return RunUiUntil([settings] { return !settings->IsStatusPending(); }, 60000);
}

InstallerWindowTestBase::InstallerWindowTestBase() = default;

InstallerWindowTestBase::~InstallerWindowTestBase() { Close(); }

void InstallerWindowTestBase::Open(const std::u16string& arguments,
                                   bool run_immediately,
                                   base::win::WindowsVersion version) {
  settings_ = MakeInstallSettings(arguments);
  document_ = base::MakeRefCounted<StatsDocument>();
  window_ = InstallerWindow::Create(settings_.get(), document_->root(),
                                    run_immediately, version);
  ASSERT_TRUE(window_);
  window_->AddDelegate(&delegate_);
  // Another process's window may have been shown on the shared display.
  SetForegroundWindow(window_->dialog());
  RunUiFor(50);
}

void InstallerWindowTestBase::Close() {
  if (!window_) return;
  window_->RemoveDelegate(&delegate_);
  window_.reset();
}

HWND InstallerWindowTestBase::Control(int id) const {
  HWND control = GetDlgItem(window_->dialog(), id);
  return control ? control : GetDlgItem(window_->options_dialog(), id);
}

void InstallerWindowTestBase::Click(int id) {
  SendMessageW(Control(id), BM_CLICK, 0, 0);
  RunUiFor(20);
}

const base::ListValue* InstallerWindowTestBase::Pages() {
  snapshot_ = document_->CreateSnapshot();
  const base::ListValue* pages = nullptr;
  snapshot_->GetList("ui.page_sequence", &pages);
  return pages;
}

std::unique_ptr<base::DictionaryValue> InstallerWindowTestBase::Stats() const {
  return document_->CreateSnapshot();
}

bool InstallerWindowTestBase::WaitForStatus() {
  return UITestBase::WaitForStatus(settings_.get());
}

}  // namespace test
}  // namespace installer
