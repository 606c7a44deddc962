#include "desktop/windows/crash_reporter/util/test/upload_test_util.h"

#include "base/files/file_util.h"
#include "gtest/gtest.h"
#include "minizip/unzip.h"

#if defined(_WIN32)
#include "minizip/iowin32.h"
#endif

namespace crash_reporter {
namespace test {

namespace {

unzFile OpenZip(const base::FilePath& zip_path) {
#if defined(_WIN32)
  zlib_filefunc64_def functions;
  fill_win32_filefunc64W(&functions);
  return unzOpen2_64(zip_path.value().c_str(), &functions);
#else
  const std::string native = zip_path.NormalizePathSeparatorsTo(u'/').AsUTF8();
  return unzOpen64(native.c_str());
#endif
}

bool ReadCurrentEntry(unzFile zip, std::string* name, std::string* content) {
  unz_file_info64 info;
  char entry_name[256];
  if (unzGetCurrentFileInfo64(zip, &info, entry_name, sizeof(entry_name),
                              nullptr, 0, nullptr, 0) != UNZ_OK ||
      unzOpenCurrentFile(zip) != UNZ_OK) {
    return false;
  }
  *name = entry_name;
  content->clear();
  char buffer[65536];
  int read;
  while ((read = unzReadCurrentFile(zip, buffer, sizeof(buffer))) > 0)
    content->append(buffer, static_cast<size_t>(read));
  // Closing checks the CRC of what was read.
  const bool closed = unzCloseCurrentFile(zip) == UNZ_OK;
  return read == 0 && closed && content->size() == info.uncompressed_size;
}

}  // namespace

base::FilePath WriteTestFile(const base::FilePath& folder,
                             const std::u16string& name,
                             const std::string& data) {
  const base::FilePath path = folder.Append(name);
  EXPECT_EQ(
      static_cast<int>(data.size()),
      base::WriteBufferToFile(path, data.data(), static_cast<int>(data.size())))
      << path;
  return path;
}

bool ReadOnlyZipEntry(const base::FilePath& zip_path, std::string* name,
                      std::string* content) {
  unzFile zip = OpenZip(zip_path);
  if (!zip) return false;
  unz_global_info64 global;
  const bool read =
      unzGetGlobalInfo64(zip, &global) == UNZ_OK && global.number_entry == 1 &&
      unzGoToFirstFile(zip) == UNZ_OK && ReadCurrentEntry(zip, name, content);
  unzClose(zip);
  return read;
}

}  // namespace test
}  // namespace crash_reporter
