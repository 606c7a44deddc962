// DownloadObserver: the events of one WinInetDownloader transfer, and the
// two observers that record them in the installation statistics.
//
// The downloader owns its observer from Start on and raises the events on
// the thread that started the transfer. Offsets are the bytes of the
// response body kept so far. Every statistics write takes the document's
// lock (StatsNode), so the nodes may be shared with other threads.

#ifndef DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_OBSERVER_H_
#define DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_OBSERVER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "desktop/windows/installer/common/stats_node.h"

namespace installer {

// Every event does nothing unless overridden; the statistics sender and the
// preference overrides fetcher use it as it is.
class DownloadObserver {
 public:
  virtual ~DownloadObserver();

  // A request of the transfer (the first, or a resumed one) begins.
  virtual void OnChunkStart(uint32_t offset) {}
  // The connection reached the server at |address| (text, as "127.0.0.1").
  virtual void OnServerAddress(const std::string& address) {}
  // The transfer follows a redirect to |url|.
  virtual void OnRedirect(const std::u16string& url) {}
  // A response header ("Date", "Server", "X-Served-By"), empty when absent.
  virtual void OnHeader(const std::u16string& name,
                        const std::u16string& value) {}
  // The result code of a completed asynchronous WinINet operation.
  virtual void OnWinInetError(uint32_t code) {}
  virtual void OnHttpStatus(uint32_t code) {}
  virtual void OnRetry(uint32_t retry_count) {}
  // The current request ends; raised again when the transfer closes.
  virtual void OnChunkEnd(uint32_t offset) {}
};

// Records one dictionary per request ("chunk") in the list |list_key| of its
// parent node: "chunk_start", "chunk_number", "chunk_start_time", "ip",
// "redirected_url", "headers.<name>", "wininet_error", "http_status",
// "retry_count", "chunk_end", "chunk_end_time".
class DownloadStatsRecorder : public DownloadObserver {
 public:
  DownloadStatsRecorder(const StatsNode& parent, const std::string& list_key);
  ~DownloadStatsRecorder() override;

  void OnChunkStart(uint32_t offset) override;
  void OnServerAddress(const std::string& address) override;
  void OnRedirect(const std::u16string& url) override;
  void OnHeader(const std::u16string& name,
                const std::u16string& value) override;
  void OnWinInetError(uint32_t code) override;
  void OnHttpStatus(uint32_t code) override;
  void OnRetry(uint32_t retry_count) override;
  void OnChunkEnd(uint32_t offset) override;

 private:
  StatsNode parent_;
  const std::string list_key_;
  // The current record; null before the first OnChunkStart, when the
  // events that write into it are dropped.
  std::unique_ptr<StatsNode> chunk_;
  uint32_t chunk_counter_ = 0;
};

// Records only the last WinINet result and HTTP status, under
// |key_prefix| + "wininet_error" and |key_prefix| + "http_status".
class DownloadResultRecorder : public DownloadObserver {
 public:
  DownloadResultRecorder(const StatsNode& node, const std::string& key_prefix);
  ~DownloadResultRecorder() override;

  void OnWinInetError(uint32_t code) override;
  void OnHttpStatus(uint32_t code) override;

 private:
  StatsNode node_;
  const std::string key_prefix_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_WININET_DOWNLOAD_OBSERVER_H_
