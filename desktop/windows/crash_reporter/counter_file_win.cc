#include "desktop/windows/crash_reporter/counter_file_win.h"

#include <string>

#include "base/files/file_util.h"
#include "base/logging.h"

namespace crash_reporter {

namespace {

constexpr int kReadChunk = 1024;

int WriteThroughFile(base::File* file, int64_t offset, const char* data,
                     int size) {
  return file->Write(offset, data, size);
}

// Writes all of |text| from offset 0, however many calls it takes; false
// as soon as a call writes nothing or fails.
bool WriteWhole(base::File* file, const std::string& text,
                FileWriteFunction write) {
  size_t done = 0;
  while (done < text.size()) {
    const int written =
        write(file, static_cast<int64_t>(done), text.data() + done,
              static_cast<int>(text.size() - done));
    if (written <= 0) return false;
    done += static_cast<size_t>(written);
  }
  return true;
}

bool ReadWhole(base::File* file, std::string* text) {
  if (file->Seek(base::File::FROM_BEGIN, 0) != 0) return false;
  char buffer[kReadChunk];
  int read;
  while ((read = file->ReadAtCurrentPos(buffer, kReadChunk)) > 0)
    text->append(buffer, static_cast<size_t>(read));
  return read == 0;
}

}  // namespace

bool WriteCounterFile(const base::FilePath& path, const CrashCounts& counts) {
  return WriteCounterFileWith(path, counts, &WriteThroughFile);
}

bool WriteCounterFileWith(const base::FilePath& path, const CrashCounts& counts,
                          FileWriteFunction write) {
  bool created = false;
  bool written = false;
  {
    base::File file(path, base::File::FLAG_OPEN_ALWAYS | base::File::FLAG_READ |
                              base::File::FLAG_WRITE |
                              base::File::FLAG_EXCLUSIVE_READ |
                              base::File::FLAG_EXCLUSIVE_WRITE);
    if (!file.IsValid()) {
      LOG(ERROR) << "Could not open the crash counter file " << path.value()
                 << ": " << file.error_details();
      return false;
    }
    created = file.created();
    std::string existing;
    if (!created && !ReadWhole(&file, &existing)) {
      LOG(ERROR) << "Could not read the crash counter file";
      return false;
    }
    std::string merged;
    if (!MergeCrashCounts(created ? nullptr : &existing, counts, &merged)) {
      LOG(ERROR) << "The crash counter file holds no JSON object";
      return false;
    }
    written = file.SetLength(0) && WriteWhole(&file, merged, write);
    if (!written) {
      // A cut text would block every later merge: put the old one back.
      LOG(ERROR) << "Could not write the crash counter file";
      if (!created && file.SetLength(0))
        WriteWhole(&file, existing, &WriteThroughFile);
    }
  }
  if (!written && created) base::DeleteFileOrDirectory(path, false);
  return written;
}

}  // namespace crash_reporter
