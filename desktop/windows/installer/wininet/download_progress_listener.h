// DownloadProgressListener: what a WinInetDownloader tells its owner of a
// transfer's progress, on the thread that runs the downloader. The package
// fetcher hands its delegate's proxy in; the bytes are scaled to fit an int.

#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_PROGRESS_LISTENER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_PROGRESS_LISTENER_H_

namespace installer {

class DownloadProgressListener {
 public:
  virtual ~DownloadProgressListener() = default;
  // The size of the body, once a reply declared it.
  virtual void SetTotalProgress(int total) = 0;
  // The bytes of the body received so far.
  virtual void SetCurrentProgress(int current) = 0;
  // A transfer failed for the third time in a row and is being retried.
  virtual void NotifyStalled() = 0;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_PROGRESS_LISTENER_H_
