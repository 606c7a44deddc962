// PrefDefaultOverridesFetcher: asks the update server for overrides of the
// browser's default preferences for this product and version, and stores
// the reply as "pref_default_overrides" in the package folder, where the
// installed browser picks it up.
//
// The overrides are optional: a fetch retries only a little (twice, a
// second apart), and one that fails leaves no file behind rather than an
// empty or partial one. Use it on one thread that runs a message loop.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_PREF_DEFAULT_OVERRIDES_FETCHER_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_PREF_DEFAULT_OVERRIDES_FETCHER_H_

#include <memory>
#include <string>

#include "base/callback.h"
#include "base/files/file_path.h"
#include "desktop/windows/installer/common/ui_callback_runner.h"
#include "desktop/windows/installer/wininet/wininet_downloader.h"

namespace installer {

// The feature that switches the fetching on.
inline constexpr char kPrefDefaultOverridesFeature[] =
    "installer-pref-default-overrides-support";
inline constexpr char kPrefDefaultOverridesFileName[] =
    "pref_default_overrides";

class PrefDefaultOverridesFetcher {
 public:
  // Stores into |folder| (the package folder). |ui_runner| (required)
  // answers the downloader's proxy prompts.
  PrefDefaultOverridesFetcher(const base::FilePath& folder,
                              UICallbackRunner* ui_runner);
  PrefDefaultOverridesFetcher(const PrefDefaultOverridesFetcher&) = delete;
  PrefDefaultOverridesFetcher& operator=(const PrefDefaultOverridesFetcher&) =
      delete;
  // Drops the done callback and abandons a running fetch, removing what it
  // had written.
  ~PrefDefaultOverridesFetcher();

  // Posts |tracking_data| (a GET when it is empty) and stores the reply.
  // |done| runs exactly once: at once when the feature is off or the request
  // cannot be sent, else when the transfer has ended.
  void Fetch(const std::string& tracking_data, base::Closure done);

  // The value of "local-pref-default-overrides-server" when it has one;
  // port 3001 of the loopback host when it has none; else the branding's
  // "autoupdate" URL followed by "api/prefs/?product=<product name>&
  // version=<product version>".
  static std::u16string GetUrl();

  const base::FilePath& target_path() const { return target_path_; }
  WinInetDownloader* downloader_for_testing() { return downloader_.get(); }

 private:
  void OnFetched();
  void DeleteTarget();

  const base::FilePath target_path_;
  std::unique_ptr<WinInetDownloader> downloader_;
  base::Closure done_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_PREF_DEFAULT_OVERRIDES_FETCHER_H_
