#include "desktop/windows/installer/wininet/download_observer.h"

#include "base/strings/utf_string_conversions.h"

namespace installer {

namespace {

// Statistics integers are 32-bit signed; codes and offsets are written as
// their bit patterns.
int AsStatsInteger(uint32_t value) { return static_cast<int>(value); }

}  // namespace

DownloadObserver::~DownloadObserver() = default;

DownloadStatsRecorder::DownloadStatsRecorder(const StatsNode& parent,
                                             const std::string& list_key)
    : parent_(parent), list_key_(list_key) {}

DownloadStatsRecorder::~DownloadStatsRecorder() = default;

void DownloadStatsRecorder::OnChunkStart(uint32_t offset) {
  chunk_ = parent_.AppendDictionary(list_key_);
  chunk_->SetInteger("chunk_start", AsStatsInteger(offset));
  chunk_->SetInteger("chunk_number", AsStatsInteger(chunk_counter_));
  chunk_->SetTimeNow("chunk_start_time");
}

void DownloadStatsRecorder::OnServerAddress(const std::string& address) {
  if (chunk_) chunk_->SetString("ip", address);
}

void DownloadStatsRecorder::OnRedirect(const std::u16string& url) {
  if (chunk_) chunk_->SetString("redirected_url", base::UTF16ToUTF8(url));
}

void DownloadStatsRecorder::OnHeader(const std::u16string& name,
                                     const std::u16string& value) {
  if (chunk_)
    chunk_->SetString("headers." + base::UTF16ToUTF8(name),
                      base::UTF16ToUTF8(value));
}

void DownloadStatsRecorder::OnWinInetError(uint32_t code) {
  if (chunk_) chunk_->SetInteger("wininet_error", AsStatsInteger(code));
}

void DownloadStatsRecorder::OnHttpStatus(uint32_t code) {
  if (chunk_) chunk_->SetInteger("http_status", AsStatsInteger(code));
}

void DownloadStatsRecorder::OnRetry(uint32_t retry_count) {
  if (chunk_) chunk_->SetInteger("retry_count", AsStatsInteger(retry_count));
}

void DownloadStatsRecorder::OnChunkEnd(uint32_t offset) {
  if (!chunk_) return;
  chunk_->SetInteger("chunk_end", AsStatsInteger(offset));
  chunk_->SetTimeNow("chunk_end_time");
  ++chunk_counter_;
}

DownloadResultRecorder::DownloadResultRecorder(const StatsNode& node,
                                               const std::string& key_prefix)
    : node_(node), key_prefix_(key_prefix) {}

DownloadResultRecorder::~DownloadResultRecorder() = default;

void DownloadResultRecorder::OnWinInetError(uint32_t code) {
  node_.SetInteger(key_prefix_ + "wininet_error", AsStatsInteger(code));
}

void DownloadResultRecorder::OnHttpStatus(uint32_t code) {
  node_.SetInteger(key_prefix_ + "http_status", AsStatsInteger(code));
}

}  // namespace installer
