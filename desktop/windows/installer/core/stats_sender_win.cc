#include <algorithm>
#include <memory>
#include <utility>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/utf_string_conversions.h"
#include "base/win/windows_version.h"
#include "desktop/windows/installer/common/acquisition_switches.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/core/stats_sender.h"
#include "desktop/windows/installer/wininet/allowed_hosts.h"

namespace installer {

namespace {

constexpr int kLocalStatsServerPort = 3000;
constexpr char kFeedbackPath[] = "netinstaller/feedback";
// The retries of a sending that must not hold the installer's end up, and
// the pause before each: an offline machine costs the installation about
// two seconds instead of twelve, nothing when the name does not resolve.
constexpr int kNoWaitMaxRetryCount = 2;
constexpr base::TimeDelta kNoWaitRetryDelay =
    base::TimeDelta::FromMicroseconds(1000 * 1000);
// The server answers with a few bytes.
constexpr uint64_t kMaxReplySize = 64 * 1024;

StatsDocument::OsVersion CurrentOsVersion() {
  const base::win::OSInfo* os = base::win::OSInfo::GetInstance();
  StatsDocument::OsVersion version;
  version.major = static_cast<int>(os->major_version());
  version.minor = static_cast<int>(os->minor_version());
  version.build = static_cast<int>(os->build_number());
  version.service_pack_major = os->service_pack_major();
  version.service_pack_minor = os->service_pack_minor();
  return version;
}

std::string CommandLineArguments() {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  return command_line ? base::UTF16ToUTF8(command_line->GetArgumentsString())
                      : std::string();
}

}  // namespace

StatsCollector::StatsCollector(UICallbackRunner* ui_runner)
    : document_(base::MakeRefCounted<StatsDocument>()),
      root_node_(document_->root()),
      downloader_(ui_runner, nullptr) {
  document_->AddBaseFields(CurrentOsVersion(), CommandLineArguments());
}

StatsCollector::~StatsCollector() = default;

// static
std::u16string StatsCollector::GetUrl() {
  const base::CommandLine* command_line =
      base::CommandLine::ForCurrentProcess();
  if (command_line && command_line->HasSwitch(switches::kLocalStatsServer)) {
    // Tests that run side by side each give a port of their own.
    int port = 0;
    if (!base::StringToInt(
            command_line->GetSwitchValueASCII(switches::kLocalStatsServer),
            &port) ||
        port < 1 || port > 65535) {
      port = kLocalStatsServerPort;
    }
    return u"http://127.0.0.1:" + base::IntToString16(port) + u"/";
  }
  return base::UTF8ToUTF16(BrandingConfig::GetUrl("autoupdate") +
                           kFeedbackPath);
}

bool StatsCollector::Send(base::Closure done, bool wait_for_network) {
  document_->AddDownloadSummary();
  root_node_.SetTimeNow("stats_sending_time");
  downloader_.set_allowed_host_suffixes(GetStatsServerHostSuffixes());
  // The reply is dropped; a server that never stops sending must not hold
  // the installer's end up.
  downloader_.set_max_size(kMaxReplySize);
  if (!wait_for_network) {
    VLOG(1) << "Don't wait for network when sending stats";
    downloader_.set_max_retry_count(kNoWaitMaxRetryCount);
    downloader_.set_retry_delay(
        std::min(downloader_.retry_delay(), kNoWaitRetryDelay));
    downloader_.set_retry_unresolved_name(false);
  }
  std::string json;
  if (!document_->WriteJson(&json)) {
    LOG(ERROR) << "Failed to write stats as JSON";
    done.Run();
    return false;
  }
  done_ = std::move(done);
  if (!downloader_.Start(GetUrl(), json,
                         base::Bind(&StatsCollector::OnSent, this),
                         std::make_unique<ResponseWriter>(),
                         std::make_unique<DownloadObserver>())) {
    base::Closure refused = std::move(done_);
    done_ = base::Closure();
    refused.Run();
    LOG(ERROR) << "Failed to send the stats request";
    return false;
  }
  return true;
}

void StatsCollector::OnSent() {
  base::Closure done = std::move(done_);
  done_ = base::Closure();
  if (!done.is_null()) done.Run();
}

}  // namespace installer
