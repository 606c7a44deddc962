// StatsDocument: the installation statistics of one installer run, a JSON
// document that the front end, the settings, the package fetcher and the
// download observers fill through StatsNodes, and that StatsCollector sends
// once at the end.
//
// One lock guards the whole document; every node operation and every read
// below holds it for its whole duration and calls nothing else meanwhile.
// The document is reference counted: the collector and every node share it,
// so a node that a worker thread still holds stays harmless after the
// collector is gone. Any thread may use it.

#ifndef DESKTOP_WINDOWS_INSTALLER_COMMON_STATS_DOCUMENT_H_
#define DESKTOP_WINDOWS_INSTALLER_COMMON_STATS_DOCUMENT_H_

#include <memory>
#include <string>

#include "base/memory/ref_counted.h"
#include "base/strings/string_piece.h"
#include "base/synchronization/lock.h"
#include "base/time/time.h"
#include "base/values.h"
#include "desktop/windows/installer/common/stats_node.h"

namespace installer {

// Keys of the document written here and by the collector.
inline constexpr char kStatsFetchesKey[] = "fetches";
inline constexpr char kStatsDownloadChunksKey[] = "download_chunks";
inline constexpr char kStatsChunkIpKey[] = "ip";
inline constexpr char kStatsWininetRetriesKey[] = "wininet_retries";
inline constexpr char kStatsDownloadIpsKey[] = "download_ips";
// The reason of a failure, on the node that failed (a fetch, a page, the
// document).
inline constexpr char kStatsFailureReasonKey[] = "failure_reason";
// The outcome that the front ends write.
inline constexpr char kStatsTrackingDataKey[] = "tracking_data";
inline constexpr char kStatsInstallationSuccessKey[] = "installation_success";
inline constexpr char kStatsInstallationCancelledKey[] =
    "installation_cancelled";
// The document's failure reason when the package fetcher failed.
inline constexpr char kStatsFetcherFailure[] = "Fetcher error";

class StatsDocument : public base::RefCounted<StatsDocument> {
 public:
  // The operating system's version as the base fields record it.
  struct OsVersion {
    int major = 0;
    int minor = 0;
    int build = 0;
    int service_pack_major = 0;
    int service_pack_minor = 0;
  };

  // An empty document whose start time is now.
  StatsDocument();
  StatsDocument(const StatsDocument&) = delete;
  StatsDocument& operator=(const StatsDocument&) = delete;

  // The node on the root dictionary.
  StatsNode root();

  // The fields every document starts with: "installer_start_time" (time and
  // elapsed), "installation_start_time", "version", "stream", "product",
  // "os" ({"name": "windows", "version": {major, minor, build},
  // "service_pack": {major, minor}}) and "command_line_args".
  void AddBaseFields(const OsVersion& os, base::StringPiece command_line_args);

  // Counts the chunk records of every fetch ("fetches", each with its
  // "download_chunks") into "wininet_retries" and joins their "ip" values
  // with "; " into "download_ips". Writes nothing without a "fetches" list.
  void AddDownloadSummary();

  // The whole document as JSON text (no options). False when it cannot be
  // written.
  bool WriteJson(std::string* json) const;
  // A copy of the whole document, for readers that want values.
  std::unique_ptr<base::DictionaryValue> CreateSnapshot() const;

  base::Time start_time() const { return start_time_; }

 private:
  friend class base::RefCounted<StatsDocument>;
  friend class StatsNode;
  ~StatsDocument();

  mutable base::Lock lock_;
  base::DictionaryValue root_;
  const base::Time start_time_;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_COMMON_STATS_DOCUMENT_H_
