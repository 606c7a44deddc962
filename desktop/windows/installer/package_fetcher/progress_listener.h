// ProgressListener: what unpacking (LzmaUtil) reports of its progress, in
// items. PackageFetcher::Delegate derives from it, keeping its slot order
// (destructor, SetTotalProgress, SetCurrentProgress, then its own).

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PROGRESS_LISTENER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PROGRESS_LISTENER_H_

namespace installer {

class ProgressListener {
 public:
  virtual ~ProgressListener() = default;
  virtual void SetTotalProgress(int total) = 0;
  virtual void SetCurrentProgress(int current) = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PROGRESS_LISTENER_H_
