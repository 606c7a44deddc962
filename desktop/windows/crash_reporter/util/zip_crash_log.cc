#include "desktop/windows/crash_reporter/util/zip_crash_log.h"

#include <stdio.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "minizip/zip.h"

namespace crash_reporter {

namespace {

constexpr size_t kCopyChunkSize = 1024 * 1024;

// The archive as minizip writes it: it seeks back to complete an entry's
// header, so writes may land inside what is there already.
struct MemoryArchive {
  std::string bytes;
  size_t position = 0;
};

voidpf ZCALLBACK OpenArchive(voidpf opaque, const void* /*name*/,
                             int /*mode*/) {
  return opaque;
}

uLong ZCALLBACK ReadArchive(voidpf /*opaque*/, voidpf stream, void* buffer,
                            uLong size) {
  MemoryArchive* archive = static_cast<MemoryArchive*>(stream);
  const size_t read =
      std::min<size_t>(size, archive->bytes.size() - archive->position);
  archive->bytes.copy(static_cast<char*>(buffer), read, archive->position);
  archive->position += read;
  return static_cast<uLong>(read);
}

uLong ZCALLBACK WriteArchive(voidpf /*opaque*/, voidpf stream,
                             const void* buffer, uLong size) {
  MemoryArchive* archive = static_cast<MemoryArchive*>(stream);
  const size_t overwritten =
      std::min<size_t>(size, archive->bytes.size() - archive->position);
  archive->bytes.replace(archive->position, overwritten,
                         static_cast<const char*>(buffer), size);
  archive->position += size;
  return size;
}

ZPOS64_T ZCALLBACK TellArchive(voidpf /*opaque*/, voidpf stream) {
  return static_cast<MemoryArchive*>(stream)->position;
}

long ZCALLBACK SeekArchive(voidpf /*opaque*/, voidpf stream, ZPOS64_T offset,
                           int origin) {
  MemoryArchive* archive = static_cast<MemoryArchive*>(stream);
  ZPOS64_T base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = archive->position;
  if (origin == ZLIB_FILEFUNC_SEEK_END) base = archive->bytes.size();
  // Beyond the end would leave a gap that no write fills.
  if (offset > archive->bytes.size() - base) return -1;
  archive->position = static_cast<size_t>(base + offset);
  return 0;
}

int ZCALLBACK CloseArchive(voidpf /*opaque*/, voidpf /*stream*/) { return 0; }

int ZCALLBACK ArchiveError(voidpf /*opaque*/, voidpf /*stream*/) { return 0; }

// Copies the whole log into the open entry; false when nothing or not
// everything was copied.
bool CopyLogIntoEntry(const base::FilePath& log_path, zipFile zip) {
  FILE* log = base::OpenFile(log_path, "rb");
  if (!log) {
    LOG(ERROR) << "Cannot open the crash log " << log_path;
    return false;
  }
  auto buffer = std::make_unique<char[]>(kCopyChunkSize);
  size_t total = 0;
  bool copied = true;
  size_t read;
  while ((read = fread(buffer.get(), 1, kCopyChunkSize, log)) > 0) {
    if (zipWriteInFileInZip(zip, buffer.get(), static_cast<unsigned>(read)) !=
        ZIP_OK) {
      copied = false;
      break;
    }
    total += read;
  }
  if (ferror(log)) copied = false;
  fclose(log);
  if (total == 0) LOG(ERROR) << "The crash log is empty: " << log_path;
  return copied && total > 0;
}

}  // namespace

bool ZipCrashLog(const base::FilePath& log_path, std::string* archive) {
  MemoryArchive memory;
  zlib_filefunc64_def functions = {&OpenArchive,  &ReadArchive, &WriteArchive,
                                   &TellArchive,  &SeekArchive, &CloseArchive,
                                   &ArchiveError, &memory};
  archive->clear();
  // The name is not used: the functions open the memory archive.
  zipFile zip = zipOpen2_64(&memory, APPEND_STATUS_CREATE, nullptr, &functions);
  if (!zip) {
    LOG(ERROR) << "Cannot start the zip of " << log_path;
    return false;
  }
  bool zipped =
      zipOpenNewFileInZip(zip, kCrashLogEntryName, nullptr, nullptr, 0, nullptr,
                          0, nullptr, Z_DEFLATED, 9) == ZIP_OK &&
      CopyLogIntoEntry(log_path, zip);
  zipped = zipCloseFileInZip(zip) == ZIP_OK && zipped;
  zipped = zipClose(zip, nullptr) == ZIP_OK && zipped;
  if (zipped) archive->swap(memory.bytes);
  return zipped;
}

}  // namespace crash_reporter
