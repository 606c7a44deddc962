// PeImageReader: reads what the crash log needs from the bytes of a PE file
// (an executable or DLL as it lies on disk, not as it is loaded): the link
// time stamp, the end of its code, the export directory's module name and
// strings of its version resource.
//
// The bytes are untrusted: the file may be truncated, replaced, or named by
// the crashed process itself. Every offset and size taken from the file is
// checked against the view before it is used; whatever does not fit is
// reported as missing. The reader does not own the bytes.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_PE_IMAGE_READER_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_PE_IMAGE_READER_H_

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"

namespace crash_reporter {

// The longest name or version text kept, in characters.
inline constexpr size_t kModuleTextMaxLength = 127;

class PeImageReader {
 public:
  PeImageReader(const uint8_t* data, size_t size);
  PeImageReader(const PeImageReader&) = delete;
  PeImageReader& operator=(const PeImageReader&) = delete;

  // Checks the MZ signature, e_lfanew and the PE signature, and reads the
  // file and optional headers. False when the image has no valid headers;
  // every other call then finds nothing.
  bool ReadHeaders();

  uint32_t timestamp() const { return timestamp_; }
  // BaseOfCode + SizeOfCode; 0 without an optional header.
  uint64_t code_end() const { return code_end_; }

  // The name in the export directory, printable ASCII, at most
  // kModuleTextMaxLength characters. False without an export directory
  // (or when it lies outside the file).
  bool GetExportName(std::string* name) const;

  enum class VersionLookup {
    kFound,
    kNoResourceDirectory,
    kNoVersionResource,
  };
  // The raw data of the version resource: the first name and the first
  // language under resource type 16.
  VersionLookup FindVersionResource(const uint8_t** data, size_t* size) const;

  // The file position of |rva| through the section table; false when no
  // section holds it.
  bool RvaToOffset(uint32_t rva, uint64_t* offset) const;

 private:
  bool ReadU16(uint64_t offset, uint16_t* value) const;
  bool ReadU32(uint64_t offset, uint32_t* value) const;
  // The file position and size of data directory |index|; false when the
  // directory is absent or its start lies outside the file.
  bool GetDirectory(uint32_t index, uint64_t* offset, uint32_t* size) const;

  const uint8_t* const data_;
  const size_t size_;
  bool valid_ = false;
  uint32_t timestamp_ = 0;
  uint64_t code_end_ = 0;
  uint64_t sections_offset_ = 0;
  uint16_t section_count_ = 0;
  uint64_t directories_offset_ = 0;
  uint32_t directory_count_ = 0;
};

// Searches the raw data of a version resource, read as UTF-16 text, for
// |key| (ASCII, compared ignoring case), skips the NUL characters after it
// and returns the following text, at most kModuleTextMaxLength characters;
// characters outside printable ASCII become '?'. False when the key is not
// there.
bool FindVersionString(const uint8_t* data, size_t size, base::StringPiece key,
                       std::string* value);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_PE_IMAGE_READER_H_
