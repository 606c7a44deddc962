#include "desktop/windows/installer/common/stats_document.h"

#include <vector>

#include "base/json/json_writer.h"
#include "base/strings/string_util.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/common/version_info.h"

namespace installer {

StatsDocument::StatsDocument() : start_time_(base::Time::Now()) {}

StatsDocument::~StatsDocument() = default;

StatsNode StatsDocument::root() { return StatsNode(this, {}); }

void StatsDocument::AddBaseFields(const OsVersion& os,
                                  base::StringPiece command_line_args) {
  StatsNode node = root();
  node.SetTimeNow("installer_start_time");
  node.SetTime("installation_start_time");
  node.SetString("version", VersionInfo::GetProductVersion());
  node.SetString("stream", VersionInfo::GetStream());
  node.SetString("product", BrandingConfig::GetProductName());
  node.SetString("os.name", "windows");
  node.SetInteger("os.version.major", os.major);
  node.SetInteger("os.version.minor", os.minor);
  node.SetInteger("os.version.build", os.build);
  node.SetInteger("os.service_pack.major", os.service_pack_major);
  node.SetInteger("os.service_pack.minor", os.service_pack_minor);
  node.SetString("command_line_args", command_line_args);
}

void StatsDocument::AddDownloadSummary() {
  int chunk_count = 0;
  std::vector<std::string> addresses;
  {
    base::AutoLock lock(lock_);
    const base::ListValue* fetches = nullptr;
    if (!root_.GetList(kStatsFetchesKey, &fetches)) return;
    for (const auto& fetch : *fetches) {
      const base::DictionaryValue* fetch_dictionary = nullptr;
      const base::ListValue* chunks = nullptr;
      if (!fetch->GetAsDictionary(&fetch_dictionary) ||
          !fetch_dictionary->GetList(kStatsDownloadChunksKey, &chunks))
        continue;
      chunk_count += static_cast<int>(chunks->GetSize());
      for (const auto& chunk : *chunks) {
        const base::DictionaryValue* chunk_dictionary = nullptr;
        std::string address;
        if (chunk->GetAsDictionary(&chunk_dictionary) &&
            chunk_dictionary->GetString(kStatsChunkIpKey, &address))
          addresses.push_back(address);
      }
    }
  }
  StatsNode node = root();
  node.SetInteger(kStatsWininetRetriesKey, chunk_count);
  node.SetString(kStatsDownloadIpsKey, base::JoinString(addresses, "; "));
}

std::unique_ptr<base::DictionaryValue> StatsDocument::CreateSnapshot() const {
  base::AutoLock lock(lock_);
  return root_.CreateDeepCopy();
}

bool StatsDocument::WriteJson(std::string* json) const {
  base::AutoLock lock(lock_);
  return base::JSONWriter::Write(root_, json);
}

}  // namespace installer
