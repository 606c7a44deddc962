#include "desktop/windows/installer/ui/test/installer_window_test_base_win.h"

#include <richedit.h>

#include "desktop/windows/installer/core/status.h"
#include "desktop/windows/installer/test/settings_test_util.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
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
  return RunUiUntil([settings] { return !settings->IsStatusPending(); });
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
  // Keys reach the page only once the window is active.
  ASSERT_TRUE(WaitUntilActive(window_->dialog()));
}

void InstallerWindowTestBase::Close() {
  if (!window_) return;
  window_->RemoveDelegate(&delegate_);
  window_.reset();
}

void InstallerWindowTestBase::OpenOn(InstallerPage page,
                                     const std::u16string& language,
                                     base::win::WindowsVersion version) {
  Close();
  delegate_ = CountingWindowDelegate();
  std::u16string arguments = u"--language=" + language;
  if (page == InstallerPage::kUninstall) arguments += u" --uninstall";
  Open(arguments, false, version);
  // An uninstallation speaks the language of the installation, which its
  // inspection finds; the test's has none.
  if (page == InstallerPage::kUninstall)
    settings_->SetInstallLanguage(language);
  GoTo(page);
}

void InstallerWindowTestBase::GoTo(InstallerPage page) {
  switch (page) {
    case InstallerPage::kTos: {
      // What rich edit reports for a click on the link's label.
      ASSERT_FALSE(window_->terms_links().empty());
      const TextLink& link = window_->terms_links()[0];
      ENLINK notification = {};
      notification.nmhdr.hwndFrom = Control(controls::kTermsLine);
      notification.nmhdr.idFrom = controls::kTermsLine;
      notification.nmhdr.code = EN_LINK;
      notification.msg = WM_LBUTTONUP;
      notification.chrg.cpMin = static_cast<LONG>(link.start);
      notification.chrg.cpMax = static_cast<LONG>(link.start + link.length);
      SendMessageW(window_->dialog(), WM_NOTIFY, controls::kTermsLine,
                   reinterpret_cast<LPARAM>(&notification));
      break;
    }
    case InstallerPage::kOptions:
      Click(controls::kOptionsButton);
      break;
    case InstallerPage::kProgress:
      window_->ShowProgress(0, 100);
      window_->ShowPhase(0);
      break;
    case InstallerPage::kError:
      window_->ShowProgress(0, 100);
      window_->ShowError(u"Something failed.", true, "detail");
      break;
    default:
      break;
  }
  ASSERT_EQ(page, window_->page());
  // The focus goes back to the page's control when the window is active.
  ASSERT_TRUE(WaitUntilActive(window_->dialog()));
}

HWND InstallerWindowTestBase::Control(int id) const {
  HWND control = GetDlgItem(window_->dialog(), id);
  return control ? control : GetDlgItem(window_->options_dialog(), id);
}

HWND InstallerWindowTestBase::FocusInWindow() {
  WaitUntilActive(window_->dialog());
  return GetFocus();
}

void InstallerWindowTestBase::Click(int id) {
  // Handled, with any dialog it opens, before it returns.
  SendMessageW(Control(id), BM_CLICK, 0, 0);
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
