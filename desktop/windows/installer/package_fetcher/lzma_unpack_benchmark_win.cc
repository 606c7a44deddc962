// Whole-package unpack speed of LzmaUtil (file-backed blocks, folders,
// files and times written), to compare under Wine with `7zz x -mmt1`. Run
// by hand:
//   lzma_unpack_benchmark ARCHIVE OUTPUT_FOLDER
// The output folder must not exist; it is left behind for inspection.

#include <stdio.h>

#include <chrono>

#include "base/files/file_path.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/package_fetcher/lzma_util.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: lzma_unpack_benchmark ARCHIVE OUTPUT_FOLDER\n");
    return 2;
  }
  const base::FilePath archive(base::as_u16cstr(argv[1]));
  const base::FilePath output(base::as_u16cstr(argv[2]));
  const auto start = std::chrono::steady_clock::now();
  installer::LzmaUtil util;
  if (util.OpenArchive(archive) != 0) {
    fprintf(stderr, "cannot open the archive\n");
    return 1;
  }
  const int result = util.UnPack(output);
  const std::chrono::duration<double> elapsed =
      std::chrono::steady_clock::now() - start;
  printf("UnPack result %d in %.3f s\n", result, elapsed.count());
  return result == 0 ? 0 : 1;
}
