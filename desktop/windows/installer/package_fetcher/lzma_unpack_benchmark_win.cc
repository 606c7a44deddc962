// Whole-package unpack speed of LzmaUtil (folders, files and times
// written), to compare under Wine with `7zz x -mmt1`. Run by hand:
//   lzma_unpack_benchmark ARCHIVE|FULL_INSTALLER OUTPUT_FOLDER
// A full installer's package is unpacked where it lies, as the fetcher
// does. The output folder must not exist; it is left behind for
// inspection.

#include <stdio.h>

#include <chrono>

#include "base/files/file_path.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"
#include "desktop/windows/installer/package_fetcher/payload_reader.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fprintf(stderr,
            "usage: lzma_unpack_benchmark ARCHIVE|FULL_INSTALLER "
            "OUTPUT_FOLDER\n");
    return 2;
  }
  const base::FilePath archive(base::as_u16cstr(argv[1]));
  const base::FilePath output(base::as_u16cstr(argv[2]));
  const auto start = std::chrono::steady_clock::now();
  installer::LzmaUtil util;
  uint64_t offset = 0;
  uint64_t length = installer::FileInStream::kWholeFile;
  installer::PayloadReader payload(archive);
  if (base::ToLowerASCII(archive.Extension()) == u".exe" && payload.Read() &&
      payload.IsFullPackage()) {
    offset = payload.payload_offset();
    length = payload.payload_length();
  }
  if (util.OpenArchive(archive, offset, length) != 0) {
    fprintf(stderr, "cannot open the archive\n");
    return 1;
  }
  const int result = util.UnPack(output);
  const std::chrono::duration<double> elapsed =
      std::chrono::steady_clock::now() - start;
  printf("UnPack result %d in %.3f s\n", result, elapsed.count());
  return result == 0 ? 0 : 1;
}
