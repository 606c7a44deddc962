// SevenZipFolderDecoder: decodes one solid block ("folder") of a 7z archive
// as a stream, so that unpacking needs the decoders' dictionaries and a few
// small buffers instead of the whole block in memory.
//
// The coders it knows: Copy, LZMA, LZMA2, Delta, the branch filters (x86
// BCJ, ARM64, ARM, ARM Thumb, PowerPC, SPARC, IA-64, RISC-V) and BCJ2, in
// any chain of them the format allows. A block with any other coder (PPMd,
// encryption) is not streamable: IsStreamable() says so before anything is
// made, and the caller decodes that block whole instead.
//
// Each pack stream is read with its own seeks on the shared input stream,
// so BCJ2's four streams can be decoded side by side. In a large block the
// main LZMA stream decodes on a thread of its own ("Unpack decoder"), a few
// buffers ahead of the rest of the chain; the input stream then takes
// calls from that thread too, never two at a time. Every coder must produce
// exactly the size the archive gives it; the block's CRC, when the archive
// has one, is checked as its last byte is read.
//
// Portable; called by one thread at a time. Results are the SDK's SRes
// codes: SZ_ERROR_DATA for damaged data, SZ_ERROR_INPUT_EOF for a stream
// that ends early, SZ_ERROR_CRC, SZ_ERROR_READ from the input, SZ_ERROR_MEM.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SEVEN_ZIP_FOLDER_DECODER_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SEVEN_ZIP_FOLDER_DECODER_H_

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <vector>

#include "7z.h"
#include "7zTypes.h"
#include "base/synchronization/lock.h"

namespace installer {

class SevenZipFolderDecoder {
 public:
  // One stage of the chain: a pack stream or a coder's output.
  class Source;

  // True when every coder of |folder| in |archive| is one of those above and
  // the chain is well formed.
  static bool IsStreamable(const CSzArEx& archive, uint32_t folder);

  // |stream| (not owned) reads the archive from its start, as the database
  // was read from it; |archive| (not owned) is its opened database. Both
  // must outlive the decoder. Decoders' memory comes from |alloc| (not
  // owned).
  SevenZipFolderDecoder(const ISeekInStream* stream, const CSzArEx* archive,
                        uint32_t folder, const ISzAlloc* alloc);
  SevenZipFolderDecoder(const SevenZipFolderDecoder&) = delete;
  SevenZipFolderDecoder& operator=(const SevenZipFolderDecoder&) = delete;
  ~SevenZipFolderDecoder();

  // Builds the chain and allocates the decoders; call once, before Read().
  // SZ_ERROR_UNSUPPORTED for a folder that is not streamable.
  SRes Init();

  // Fills |*size| bytes of the block's output unless it ends first; |*size|
  // becomes the count (0 at the end). After an error nothing more is read.
  SRes Read(uint8_t* buffer, size_t* size);

  // Bytes handed out so far, and the block's whole size.
  uint64_t position() const { return position_; }
  uint64_t size() const { return size_; }

 private:
  const ISeekInStream* const stream_;
  const CSzArEx* const archive_;
  const uint32_t folder_;
  const ISzAlloc* const alloc_;
  // Seeks and reads of |stream_| come from the decoder's own thread too.
  base::Lock stream_lock_;
  std::vector<std::unique_ptr<Source>> sources_;
  Source* output_ = nullptr;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
  uint32_t crc_ = 0;
  bool check_crc_ = false;
  SRes error_ = SZ_OK;
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_SEVEN_ZIP_FOLDER_DECODER_H_
