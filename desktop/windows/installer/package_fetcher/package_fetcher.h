// PackageFetcher: brings the browser package into the package folder, from
// the payload appended to the installer or from the update server, and
// reports to its creator through a Delegate.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_

#include <string>

namespace installer {

class PackageFetcher {
 public:
  // What the fetcher reports to its creator, always on the creator's
  // thread. The same interface is the progress listener of a download
  // (bytes) and of the unpacking (files).
  class Delegate {
   public:
    virtual ~Delegate() = default;

    virtual void SetTotalProgress(int total) = 0;
    virtual void SetCurrentProgress(int current) = 0;
    // A transfer failed for the third time in a row and is being retried.
    virtual void NotifyStalled() = 0;
    virtual void NotifyStatusChanged(int status) = 0;
    virtual void NotifyTrackingDataObtained(
        const std::string& tracking_data) = 0;
  };
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PACKAGE_FETCHER_H_
