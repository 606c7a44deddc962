// Speed of the package copy an elevated installer makes before it reads
// anything of the package (ProtectedPackage::Copy), on a package folder of
// the caller's. Run by hand:
//   protected_package_benchmark PACKAGE_FOLDER [ROOT]
// The copy is made in ROOT (default: the system's temporary folder) and
// removed again, both timed; then the same folder is copied by name with
// base::CopyDirectory, for comparison.

#include <stdio.h>

#include <chrono>
#include <memory>

#include "base/files/file_enumerator.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/core/protected_folder_win.h"
#include "desktop/windows/installer/core/protected_package_win.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    fprintf(stderr,
            "usage: protected_package_benchmark PACKAGE_FOLDER [ROOT]\n");
    return 2;
  }
  const base::FilePath source(base::as_u16cstr(argv[1]));
  if (argc == 3) {
    installer::internal::SetProtectedFolderRootForTesting(
        base::FilePath(base::as_u16cstr(argv[2])));
  }
  int64_t bytes = 0;
  int files = 0;
  base::FileEnumerator walk(source, true, base::FileEnumerator::FILES);
  for (base::FilePath path = walk.Next(); !path.empty(); path = walk.Next()) {
    const base::FileEnumerator::FileInfo info = walk.GetInfo();
    bytes +=
        (static_cast<int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    ++files;
  }
  const auto start = std::chrono::steady_clock::now();
  std::unique_ptr<installer::ProtectedPackage> copy =
      installer::ProtectedPackage::Copy(source);
  const std::chrono::duration<double> elapsed =
      std::chrono::steady_clock::now() - start;
  if (!copy) {
    fprintf(stderr, "the copy failed\n");
    return 1;
  }
  printf("%d files, %.1f MB copied in %.3f s (%.0f files/s, %.0f MB/s)\n",
         files, bytes / 1e6, elapsed.count(), files / elapsed.count(),
         bytes / 1e6 / elapsed.count());
  const base::FilePath plain = copy->folder().DirName().Append(u"plain copy");
  const auto remove_start = std::chrono::steady_clock::now();
  copy.reset();
  const std::chrono::duration<double> remove_elapsed =
      std::chrono::steady_clock::now() - remove_start;
  printf("removed again in %.3f s\n", remove_elapsed.count());
  const auto plain_start = std::chrono::steady_clock::now();
  const bool copied = base::CopyDirectory(source, plain);
  const std::chrono::duration<double> plain_elapsed =
      std::chrono::steady_clock::now() - plain_start;
  base::DeleteFileOrDirectory(plain, true);
  printf("by name with CopyDirectory: %s in %.3f s\n",
         copied ? "copied" : "failed", plain_elapsed.count());
  return 0;
}
