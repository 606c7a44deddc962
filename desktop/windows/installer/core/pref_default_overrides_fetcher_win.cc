#include <utility>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/feature_list.h"
#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/common/acquisition_switches.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/core/pref_default_overrides_fetcher.h"
#include "desktop/windows/installer/wininet/allowed_hosts.h"

namespace installer {

namespace {

constexpr char16_t kLocalServerUrl[] = u"http://127.0.0.1:3001";
constexpr char kOverridesPath[] = "api/prefs/?product=$1&version=$2";
// The package download keeps its 600 retries 6 s apart; the optional
// overrides must not hold an offline installation up: two retries, a
// second apart, and none when the server's name does not resolve.
constexpr int kMaxRetryCount = 2;
constexpr base::TimeDelta kRetryDelay =
    base::TimeDelta::FromMicroseconds(1000 * 1000);
// A few preference values: anything near this size is not a reply of the
// server's.
constexpr uint64_t kMaxOverridesSize = 1024 * 1024;

}  // namespace

PrefDefaultOverridesFetcher::PrefDefaultOverridesFetcher(
    const base::FilePath& folder, UICallbackRunner* ui_runner)
    : target_path_(folder.AppendASCII(kPrefDefaultOverridesFileName)),
      downloader_(std::make_unique<WinInetDownloader>(ui_runner, nullptr)) {
  downloader_->set_max_retry_count(kMaxRetryCount);
  downloader_->set_retry_delay(kRetryDelay);
  downloader_->set_retry_unresolved_name(false);
  downloader_->set_max_size(kMaxOverridesSize);
}

PrefDefaultOverridesFetcher::~PrefDefaultOverridesFetcher() {
  done_ = base::Closure();
  const WinInetDownloader::State state = downloader_->state();
  const bool running = state == WinInetDownloader::kRequestSent ||
                       state == WinInetDownloader::kReceiving;
  // Closes the file before it can be removed.
  downloader_.reset();
  if (running) DeleteTarget();
}

// static
std::u16string PrefDefaultOverridesFetcher::GetUrl() {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  if (command_line &&
      command_line->HasSwitch(switches::kLocalPrefDefaultOverridesServer)) {
    const std::u16string value = command_line->GetSwitchValueNative(
        switches::kLocalPrefDefaultOverridesServer);
    return value.empty() ? std::u16string(kLocalServerUrl) : value;
  }
  const std::string path = base::ReplaceStringPlaceholders(
      kOverridesPath,
      {BrandingConfig::GetProductName(), VersionInfo::GetProductVersion()},
      nullptr);
  return base::UTF8ToUTF16(BrandingConfig::GetUrl("autoupdate") + path);
}

void PrefDefaultOverridesFetcher::Fetch(const std::string& tracking_data,
                                        base::Closure done) {
  if (!base::IsFeatureEnabled(kPrefDefaultOverridesFeature)) {
    done.Run();
    return;
  }
  LOG(INFO) << "Fetching default prefs overrides to "
            << base::UTF16ToUTF8(target_path_.value()) << " with tracking data "
            << tracking_data;
  downloader_->set_allowed_host_suffixes(GetUpdateServerHostSuffixes());
  // A file that cannot be opened makes the transfer fail at its first
  // write (the writer logs why).
  auto writer = std::make_unique<FileResponseWriter>();
  writer->Open(target_path_);
  if (!downloader_->Start(
          GetUrl(), tracking_data,
          base::Bind(&PrefDefaultOverridesFetcher::OnFetched, this),
          std::move(writer), std::make_unique<DownloadObserver>())) {
    LOG(ERROR) << "Failed sending request for default prefs overrides";
    DeleteTarget();
    done.Run();
    return;
  }
  done_ = std::move(done);
}

void PrefDefaultOverridesFetcher::OnFetched() {
  if (downloader_->state() == WinInetDownloader::kCompleted) {
    LOG(INFO) << "Default prefs overrides fetched successfully";
  } else {
    LOG(ERROR) << "Failed fetching default prefs overrides";
    DeleteTarget();
  }
  base::Closure done = std::move(done_);
  done_ = base::Closure();
  if (!done.is_null()) done.Run();
}

void PrefDefaultOverridesFetcher::DeleteTarget() {
  if (!base::DeleteFileOrDirectory(target_path_, false))
    LOG(WARNING) << "Could not remove the incomplete default prefs overrides";
}

}  // namespace installer
