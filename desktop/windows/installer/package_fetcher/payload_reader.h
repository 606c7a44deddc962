// PayloadReader: finds the payload that an installer executable carries
// behind its image, tells whether it is the browser package (a 7z archive)
// or tracking data (text), and hands it out.
//
// The payload sits in a trailer that ends at E, the end of the file or, in
// a signed executable, the start of the Authenticode signature:
//   E-7-L: "VLN"   E-4-L: the L payload bytes   E-4: L, 32-bit little-endian
// A length of 2^31 or more never matches. A 7z archive counts only inside
// the signed region of a signed file, so that nothing can be appended to a
// signed full installer; tracking data may follow the signature.
//
// A file that holds no trailer but has bytes after its image (other than
// its signature and the few zero bytes of padding before it), or that ends
// before its image does, is a damaged installer file (a full installer cut
// short or with bytes appended), never a net installer: a net installer
// without tracking data is the bare image.
//
// Read() maps the whole file (read-only; files of 2 GiB or more cannot be
// mapped and read as having no payload) and keeps it mapped until the reader
// is destroyed. Used by one thread at a time.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_

#include <stdint.h>

#include <memory>
#include <string>

#include "base/files/file_path.h"

namespace base {
class MemoryMappedFile;
}

namespace installer {

class PayloadReader {
 public:
  // What Scan() found in an image's bytes.
  struct ScanResult {
    enum Outcome {
      // No trailer and nothing after the image.
      kNoPayload,
      kFullPackage,
      kTrackingData,
      // The security directory entry or the region it names lies outside
      // the file.
      kCorrupt,
      // The file is cut short, holds bytes after its image that are no
      // payload, or a 7z payload outside its signed region.
      kDamaged,
    };
    Outcome outcome = kNoPayload;
    // The payload's place in the file (kFullPackage, kTrackingData).
    uint64_t offset = 0;
    uint64_t length = 0;
  };

  // The trailer search of Read() over |length| bytes at |image|; portable
  // and never reads outside them, whatever they hold.
  static ScanResult Scan(const uint8_t* image, uint64_t length);

  explicit PayloadReader(const base::FilePath& path);
  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;
  // Unmaps the file.
  ~PayloadReader();

  // True when a payload was found (or the reader was read before, or given
  // tracking data). False when the file cannot be mapped, holds no payload,
  // or is corrupt or damaged (IsCorrupt(); the reader then counts as read).
  bool Read();

  // Takes |tracking_data| in place of the payload's (the executable had
  // none) and marks the reader as read.
  void SetTrackingData(const std::string& tracking_data);

  // Empty unless read and not corrupt; the tracking data given to
  // SetTrackingData() when not empty, else the payload bytes.
  std::string GetTrackingData() const;

  // Creates or replaces |path| with the payload: the archive bytes of a
  // full package, else GetTrackingData(). False unless read and not
  // corrupt, or when not every byte was written.
  bool WritePayload(const base::FilePath& path) const;

  bool IsFullPackage() const { return full_package_; }
  bool IsCorrupt() const { return corrupt_; }
  // The payload's place in the file, once Read() found one.
  uint64_t payload_offset() const { return payload_offset_; }
  uint64_t payload_length() const { return payload_length_; }

 private:
  const base::FilePath path_;
  std::unique_ptr<base::MemoryMappedFile> file_;
  std::string tracking_data_override_;
  uint64_t payload_offset_ = 0;
  uint64_t payload_length_ = 0;
  bool read_ = false;
  bool full_package_ = false;
  bool corrupt_ = false;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_PAYLOAD_READER_H_
