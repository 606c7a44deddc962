#include "desktop/windows/crash_reporter/module_info_impl.h"

#include "base/logging.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/crash_reporter/pe_image_reader.h"

namespace crash_reporter {

namespace {

constexpr char kFileVersionKey[] = "FILEVERSION";
constexpr char kOriginalFileNameKey[] = "ORIGINALFILENAME";

}  // namespace

ModuleInfoImpl::ModuleInfoImpl(base::StringPiece16 name, uint64_t base,
                               uint32_t size)
    : base_(base), size_(size) {
  SetName(base::UTF16ToUTF8(name));
}

ModuleInfoImpl::~ModuleInfoImpl() = default;

void ModuleInfoImpl::SetName(base::StringPiece name) {
  size_t length =
      name.size() < kModuleTextMaxLength ? name.size() : kModuleTextMaxLength;
  // Never end inside a UTF-8 sequence: back up over continuation bytes.
  if (length < name.size()) {
    while (length > 0 &&
           (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) {
      --length;
    }
  }
  name_.assign(name.data(), length);
}

std::string ModuleInfoImpl::LogName() const {
  return name_.empty() ? std::string("<unknown>") : name_;
}

bool ModuleInfoImpl::ReadImage(const uint8_t* data, size_t size) {
  PeImageReader image(data, size);
  if (!image.ReadHeaders()) {
    LOG(ERROR) << "GetNtHeaders failed for " << LogName();
    return false;
  }
  timestamp_ = image.timestamp();
  code_end_ = image.code_end();

  if (name_.empty()) {
    std::string export_name;
    if (image.GetExportName(&export_name))
      SetName(export_name);
    else
      LOG(INFO) << "Could not find exports directory";
  }

  const uint8_t* version_data = nullptr;
  size_t version_size = 0;
  switch (image.FindVersionResource(&version_data, &version_size)) {
    case PeImageReader::VersionLookup::kNoResourceDirectory:
      LOG(INFO) << "Could not find resources directory in " << LogName();
      return true;
    case PeImageReader::VersionLookup::kNoVersionResource:
      LOG(INFO) << "Could not find version resource in " << LogName();
      return true;
    case PeImageReader::VersionLookup::kFound:
      break;
  }
  if (name_.empty()) {
    std::string original_name;
    if (FindVersionString(version_data, version_size, kOriginalFileNameKey,
                          &original_name)) {
      SetName(original_name);
    }
  }
  if (!FindVersionString(version_data, version_size, kFileVersionKey,
                         &version_)) {
    LOG(INFO) << "Could not find version info in " << LogName();
  }
  return true;
}

std::string ModuleInfoImpl::GetName() const { return name_; }

uint64_t ModuleInfoImpl::GetBaseAddress() const { return base_; }

uint32_t ModuleInfoImpl::GetSize() const { return size_; }

uint64_t ModuleInfoImpl::GetStartAddress() const { return base_; }

uint64_t ModuleInfoImpl::GetCodeEnd() const { return code_end_; }

std::string ModuleInfoImpl::GetVersion() const { return version_; }

uint32_t ModuleInfoImpl::GetTimestamp() const { return timestamp_; }

}  // namespace crash_reporter
