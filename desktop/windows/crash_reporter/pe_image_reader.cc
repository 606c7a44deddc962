#include "desktop/windows/crash_reporter/pe_image_reader.h"

#include <string.h>

#include "desktop/windows/crash_reporter/printable_ascii.h"

namespace crash_reporter {

namespace {

// Offsets and values of the PE format.
constexpr uint16_t kDosSignature = 0x5A4D;  // "MZ"
constexpr uint64_t kDosHeaderSize = 0x40;
constexpr uint64_t kNewHeaderOffsetField = 0x3C;  // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;     // "PE\0\0"
constexpr uint64_t kFileHeaderSize = 20;
constexpr uint64_t kSectionCountField = 2;
constexpr uint64_t kTimestampField = 4;
constexpr uint64_t kOptionalHeaderSizeField = 16;
constexpr uint64_t kSectionHeaderSize = 40;
constexpr uint64_t kSectionVirtualSizeField = 8;
constexpr uint64_t kSectionVirtualAddressField = 12;
constexpr uint64_t kSectionRawDataField = 20;

// The optional header: its magic, and where each layout keeps the fields
// read here.
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint64_t kSizeOfCodeField = 4;
constexpr uint64_t kBaseOfCodeField = 20;
struct OptionalHeaderLayout {
  uint64_t directory_count_field;
  uint64_t directories;
};
constexpr OptionalHeaderLayout kPe32Layout = {92, 96};
constexpr OptionalHeaderLayout kPe32PlusLayout = {108, 112};
constexpr uint64_t kDirectoryEntrySize = 8;

constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint64_t kExportNameField = 12;

// Resource directories: a 16-byte header with the named and id entry
// counts, then 8-byte entries {name or id, offset}; the offset's high bit
// marks a subdirectory. Offsets count from the resource directory's start.
constexpr uint64_t kResourceHeaderSize = 16;
constexpr uint64_t kResourceNamedCountField = 12;
constexpr uint64_t kResourceIdCountField = 14;
constexpr uint64_t kResourceEntrySize = 8;
constexpr uint32_t kResourceSubdirectoryBit = 0x80000000u;
constexpr uint32_t kResourceNameIsStringBit = 0x80000000u;
constexpr uint32_t kVersionResourceType = 16;

}  // namespace

PeImageReader::PeImageReader(const uint8_t* data, size_t size)
    : data_(data), size_(data ? size : 0) {}

bool PeImageReader::ReadU16(uint64_t offset, uint16_t* value) const {
  if (offset > size_ || size_ - offset < sizeof(*value)) return false;
  memcpy(value, data_ + offset, sizeof(*value));
  return true;
}

bool PeImageReader::ReadU32(uint64_t offset, uint32_t* value) const {
  if (offset > size_ || size_ - offset < sizeof(*value)) return false;
  memcpy(value, data_ + offset, sizeof(*value));
  return true;
}

bool PeImageReader::ReadHeaders() {
  valid_ = false;
  uint16_t dos_signature = 0;
  uint32_t new_header = 0;
  uint32_t pe_signature = 0;
  if (size_ < kDosHeaderSize || !ReadU16(0, &dos_signature) ||
      dos_signature != kDosSignature ||
      !ReadU32(kNewHeaderOffsetField, &new_header) ||
      !ReadU32(new_header, &pe_signature) || pe_signature != kPeSignature) {
    return false;
  }
  const uint64_t file_header = uint64_t{new_header} + 4;
  uint16_t optional_size = 0;
  if (!ReadU16(file_header + kSectionCountField, &section_count_) ||
      !ReadU32(file_header + kTimestampField, &timestamp_) ||
      !ReadU16(file_header + kOptionalHeaderSizeField, &optional_size)) {
    return false;
  }
  valid_ = true;
  const uint64_t optional = file_header + kFileHeaderSize;
  sections_offset_ = optional + optional_size;

  // Fields are read only where the optional header says it has them.
  uint16_t magic = 0;
  if (optional_size < 2 || !ReadU16(optional, &magic)) return true;
  const OptionalHeaderLayout* layout = nullptr;
  if (magic == kPe32Magic) layout = &kPe32Layout;
  if (magic == kPe32PlusMagic) layout = &kPe32PlusLayout;
  if (!layout) return true;
  uint32_t size_of_code = 0;
  uint32_t base_of_code = 0;
  if (optional_size >= kBaseOfCodeField + 4 &&
      ReadU32(optional + kSizeOfCodeField, &size_of_code) &&
      ReadU32(optional + kBaseOfCodeField, &base_of_code)) {
    code_end_ = uint64_t{base_of_code} + size_of_code;
  }
  uint32_t directory_count = 0;
  if (optional_size >= layout->directories &&
      ReadU32(optional + layout->directory_count_field, &directory_count)) {
    const uint64_t room =
        (optional_size - layout->directories) / kDirectoryEntrySize;
    directory_count_ =
        static_cast<uint32_t>(directory_count < room ? directory_count : room);
    directories_offset_ = optional + layout->directories;
  }
  return true;
}

bool PeImageReader::RvaToOffset(uint32_t rva, uint64_t* offset) const {
  if (!valid_) return false;
  for (uint16_t i = 0; i < section_count_; ++i) {
    const uint64_t header = sections_offset_ + i * kSectionHeaderSize;
    uint32_t virtual_size = 0;
    uint32_t virtual_address = 0;
    uint32_t raw_data = 0;
    if (!ReadU32(header + kSectionVirtualSizeField, &virtual_size) ||
        !ReadU32(header + kSectionVirtualAddressField, &virtual_address) ||
        !ReadU32(header + kSectionRawDataField, &raw_data)) {
      return false;
    }
    if (rva >= virtual_address &&
        uint64_t{rva} < uint64_t{virtual_address} + virtual_size) {
      *offset = uint64_t{rva} - virtual_address + raw_data;
      return true;
    }
  }
  return false;
}

bool PeImageReader::GetDirectory(uint32_t index, uint64_t* offset,
                                 uint32_t* size) const {
  if (!valid_ || index >= directory_count_) return false;
  const uint64_t entry = directories_offset_ + index * kDirectoryEntrySize;
  uint32_t rva = 0;
  if (!ReadU32(entry, &rva) || !ReadU32(entry + 4, size) || rva == 0)
    return false;
  return RvaToOffset(rva, offset) && *offset < size_;
}

bool PeImageReader::GetExportName(std::string* name) const {
  uint64_t directory = 0;
  uint32_t directory_size = 0;
  uint32_t name_rva = 0;
  uint64_t name_offset = 0;
  if (!GetDirectory(kExportDirectory, &directory, &directory_size) ||
      !ReadU32(directory + kExportNameField, &name_rva) ||
      !RvaToOffset(name_rva, &name_offset)) {
    return false;
  }
  name->clear();
  for (uint64_t at = name_offset;
       at < size_ && data_[at] != 0 && name->size() < kModuleTextMaxLength;
       ++at) {
    name->push_back(IsPrintableAscii(data_[at]) ? static_cast<char>(data_[at])
                                                : '?');
  }
  return true;
}

PeImageReader::VersionLookup PeImageReader::FindVersionResource(
    const uint8_t** data, size_t* size) const {
  uint64_t root = 0;
  uint32_t root_size = 0;
  if (!GetDirectory(kResourceDirectory, &root, &root_size))
    return VersionLookup::kNoResourceDirectory;

  // The entry of the directory at |directory| (relative to the root) with
  // |id|, or its first entry when |id| is 0; its offset field, or false.
  auto find_entry = [&](uint64_t directory, uint32_t id, uint32_t* target) {
    uint16_t named = 0;
    uint16_t ids = 0;
    const uint64_t at = root + directory;
    if (!ReadU16(at + kResourceNamedCountField, &named) ||
        !ReadU16(at + kResourceIdCountField, &ids)) {
      return false;
    }
    const uint32_t count = uint32_t{named} + ids;
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t entry = at + kResourceHeaderSize + i * kResourceEntrySize;
      uint32_t name = 0;
      if (!ReadU32(entry, &name) || !ReadU32(entry + 4, target)) return false;
      if (id == 0 || (!(name & kResourceNameIsStringBit) && name == id))
        return true;
    }
    return false;
  };

  uint32_t type = 0;
  uint32_t name = 0;
  uint32_t language = 0;
  if (!find_entry(0, kVersionResourceType, &type) ||
      !(type & kResourceSubdirectoryBit) ||
      !find_entry(type & ~kResourceSubdirectoryBit, 0, &name) ||
      !(name & kResourceSubdirectoryBit) ||
      !find_entry(name & ~kResourceSubdirectoryBit, 0, &language) ||
      (language & kResourceSubdirectoryBit)) {
    return VersionLookup::kNoVersionResource;
  }
  uint32_t data_rva = 0;
  uint32_t data_size = 0;
  uint64_t data_offset = 0;
  if (!ReadU32(root + language, &data_rva) ||
      !ReadU32(root + language + 4, &data_size) ||
      !RvaToOffset(data_rva, &data_offset) || data_offset > size_ ||
      size_ - data_offset < data_size) {
    return VersionLookup::kNoVersionResource;
  }
  *data = data_ + data_offset;
  *size = data_size;
  return VersionLookup::kFound;
}

bool FindVersionString(const uint8_t* data, size_t size, base::StringPiece key,
                       std::string* value) {
  const size_t units = data ? size / 2 : 0;
  auto unit_at = [data](size_t index) {
    return static_cast<uint16_t>(data[2 * index] | (data[2 * index + 1] << 8));
  };
  auto lower = [](uint32_t c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  if (key.empty() || units < key.size()) return false;
  for (size_t start = 0; start + key.size() <= units; ++start) {
    size_t matched = 0;
    while (matched < key.size() &&
           lower(unit_at(start + matched)) ==
               lower(static_cast<unsigned char>(key[matched]))) {
      ++matched;
    }
    if (matched != key.size()) continue;
    size_t at = start + key.size();
    while (at < units && unit_at(at) == 0) ++at;
    value->clear();
    for (;
         at < units && unit_at(at) != 0 && value->size() < kModuleTextMaxLength;
         ++at) {
      const uint16_t c = unit_at(at);
      value->push_back(IsPrintableAscii(c) ? static_cast<char>(c) : '?');
    }
    return true;
  }
  return false;
}

}  // namespace crash_reporter
