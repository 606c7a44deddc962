#include "desktop/windows/installer/ui/test/controller_test_base_win.h"

#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/acquisition_switches.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {
constexpr char kFeedbackPath[] = "/netinstaller/feedback";
constexpr int kLocalStatsPort = 3000;
}  // namespace

ControllerTestBase::ControllerTestBase() = default;

ControllerTestBase::~ControllerTestBase() = default;

void ControllerTestBase::SetUpStatsServer(bool local_stats_server) {
  if (local_stats_server) {
    base::CommandLine::Init();
    base::CommandLine::ForCurrentProcess()->AppendSwitch(
        switches::kLocalStatsServer);
    ASSERT_TRUE(server_.Start(kLocalStatsPort));
    // The branding's server must not be asked.
    BrandingConfig::OverrideForTesting(
        "urls.autoupdate",
        std::make_unique<base::StringValue>("http://127.0.0.1:9/"));
    return;
  }
  ASSERT_TRUE(server_.Start());
  BrandingConfig::OverrideForTesting(
      "urls.autoupdate",
      std::make_unique<base::StringValue>(base::UTF16ToUTF8(server_.Url("/"))));
}

void ControllerTestBase::MakeController() {
  auto parts = std::make_unique<FakeInstallerUIParts>();
  parts_ = parts.get();
  controller_ = std::make_unique<InstallerUIController>(std::move(parts));
}

bool ControllerTestBase::RunUI(Settings* settings, UIScript* script,
                               bool without_fetcher, bool run_immediately) {
  if (!controller_) MakeController();
  EXPECT_TRUE(base::FileUtil::CreateDirectory(DownloadFolder()));
  script->Start([this] {
    // A run that is stuck: end it as a user would.
    if (controller_->window()) controller_->OnCancelled();
  });
  return controller_->RunUI(settings, without_fetcher, DownloadFolder(),
                            run_immediately);
}

HWND ControllerTestBase::Control(int id) {
  if (!window()) return nullptr;
  HWND control = GetDlgItem(window()->dialog(), id);
  return control ? control : GetDlgItem(window()->options_dialog(), id);
}

std::u16string ControllerTestBase::Text(int id) {
  return WindowText(Control(id));
}

bool ControllerTestBase::Shown(int id) {
  return IsWindowVisible(Control(id)) != FALSE;
}

InstallerPage ControllerTestBase::Page() {
  return window() ? window()->page() : InstallerPage::kNone;
}

base::FilePath ControllerTestBase::DownloadFolder() const {
  return dir().Append(u"download");
}

std::unique_ptr<base::DictionaryValue> ControllerTestBase::SentStats() {
  const auto requests = server_.Requests();
  for (auto request = requests.rbegin(); request != requests.rend();
       ++request) {
    std::string path, body;
    (*request)->GetString("path", &path);
    if (path != kFeedbackPath && path != "/") continue;
    (*request)->GetString("body", &body);
    std::unique_ptr<base::Value> value = base::JSONReader::Read(body);
    if (value && value->IsType(base::Value::TYPE_DICTIONARY)) {
      return std::unique_ptr<base::DictionaryValue>(
          static_cast<base::DictionaryValue*>(value.release()));
    }
  }
  return nullptr;
}

std::string PageValue(const base::DictionaryValue& stats, size_t page,
                      const char* key) {
  const base::ListValue* pages = nullptr;
  const base::DictionaryValue* node = nullptr;
  std::string value;
  if (stats.GetList("ui.page_sequence", &pages) &&
      pages->GetDictionary(page, &node)) {
    node->GetString(key, &value);
  }
  return value;
}

}  // namespace test
}  // namespace installer
