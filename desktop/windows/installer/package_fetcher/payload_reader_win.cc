#include "base/files/file_util.h"
#include "base/files/memory_mapped_file.h"
#include "base/logging.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"

namespace installer {

PayloadReader::PayloadReader(const base::FilePath& path) : path_(path) {}

PayloadReader::~PayloadReader() = default;

bool PayloadReader::Read() {
  if (read_) return true;
  LOG(INFO) << "Reading Payload";
  file_ = std::make_unique<base::MemoryMappedFile>();
  if (!file_->Initialize(path_, base::MemoryMappedFile::READ_ONLY)) {
    LOG(ERROR) << "Could not initialize memory mapped file";
    file_.reset();
    return false;
  }
  const ScanResult result = Scan(file_->data(), file_->length());
  switch (result.outcome) {
    case ScanResult::kNoPayload:
      return false;
    case ScanResult::kDamaged:
      LOG(ERROR) << "Damaged installer file: " << path_
                 << " (download the installer again)";
      [[fallthrough]];
    case ScanResult::kCorrupt:
      read_ = true;
      corrupt_ = true;
      return false;
    case ScanResult::kFullPackage:
    case ScanResult::kTrackingData:
      break;
  }
  payload_offset_ = result.offset;
  payload_length_ = result.length;
  full_package_ = result.outcome == ScanResult::kFullPackage;
  read_ = true;
  return true;
}

void PayloadReader::SetTrackingData(const std::string& tracking_data) {
  tracking_data_override_ = tracking_data;
  read_ = true;
}

std::string PayloadReader::GetTrackingData() const {
  if (!read_ || corrupt_) return std::string();
  if (!tracking_data_override_.empty() || !file_)
    return tracking_data_override_;
  return std::string(
      reinterpret_cast<const char*>(file_->data() + payload_offset_),
      payload_length_);
}

bool PayloadReader::WritePayload(const base::FilePath& path) const {
  if (!read_ || corrupt_) return false;
  LOG(INFO) << "Writing payload to file " << path;
  // A payload is shorter than 2^31 bytes: one write takes it.
  if (full_package_) {
    const int length = static_cast<int>(payload_length_);
    return base::WriteBufferToFile(
               path,
               reinterpret_cast<const char*>(file_->data() + payload_offset_),
               length) == length;
  }
  const std::string text = GetTrackingData();
  const int length = static_cast<int>(text.size());
  return base::WriteBufferToFile(path, text.data(), length) == length;
}

}  // namespace installer
