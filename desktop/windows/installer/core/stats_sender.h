// StatsCollector: the installation statistics of one front end (a
// StatsDocument with its base fields), and their sending, once, at the end:
// a POST of the JSON document to the update server's feedback address.
//
// The front end owns it and calls it on its own thread, which runs a
// message loop; the root node may be handed to any thread (StatsNode).

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_STATS_SENDER_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_STATS_SENDER_H_

#include <string>

#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "desktop/windows/installer/common/stats_document.h"
#include "desktop/windows/installer/common/stats_node.h"
#include "desktop/windows/installer/common/ui_callback_runner.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace installer {

class StatsCollector {
 public:
  // |ui_runner| (required) answers the downloader's proxy prompts.
  explicit StatsCollector(UICallbackRunner* ui_runner);
  StatsCollector(const StatsCollector&) = delete;
  StatsCollector& operator=(const StatsCollector&) = delete;
  // Abandons a sending in progress; its done callback does not run.
  ~StatsCollector();

  // The node on the document's root, through which the owner, the settings
  // and the package fetcher write.
  StatsNode* root_node() { return &root_node_; }

  // Adds the download summary and "stats_sending_time", then posts the
  // document to the statistics server. True when the request went out:
  // |done| runs once the transfer ended, whatever its result. False when it
  // could not: |done| has then already run. Without |wait_for_network| the
  // sending gives up after three failed attempts in a row, a second apart,
  // instead of retrying 600 times 6 s apart.
  bool Send(base::Closure done, bool wait_for_network);

  // The statistics server's URL: port 3000 of the loopback host with
  // "local-stats-server", else the branding's "autoupdate" URL followed by
  // "netinstaller/feedback".
  static std::u16string GetUrl();

  WinInetDownloader* downloader_for_testing() { return &downloader_; }

 private:
  void OnSent();

  const base::ScopedRefPtr<StatsDocument> document_;
  StatsNode root_node_;
  WinInetDownloader downloader_;
  base::Closure done_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_STATS_SENDER_H_
