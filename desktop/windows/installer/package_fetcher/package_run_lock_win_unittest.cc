#include "desktop/windows/installer/package_fetcher/package_run_lock_win.h"

#include <windows.h>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class PackageRunLockTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.CreateUniqueTempDir()); }

  // The download, archive and package folder (with a file) of the run
  // "velna_installer_<time>".
  base::FilePath MakeRun(const char16_t* time) {
    const base::FilePath download = temp_.GetPath().Append(
        std::u16string(u"velna_installer_") + time + u".exe");
    const base::FilePath folder = download.RemoveExtension();
    EXPECT_TRUE(base::FileUtil::CreateDirectory(folder.Append(u"resources")));
    for (const base::FilePath& file :
         {download, download.ReplaceExtension(u"7z"),
          folder.Append(u"installer.exe"),
          folder.Append(u"resources\\engine.pak")}) {
      EXPECT_EQ(1, base::WriteBufferToFile(file, "x", 1));
    }
    return download;
  }

  bool RunExists(const base::FilePath& download) const {
    return base::PathExists(download) ||
           base::PathExists(download.ReplaceExtension(u"7z")) ||
           base::PathExists(download.RemoveExtension());
  }

  base::ScopedTempDir temp_;
};

TEST_F(PackageRunLockTest, OnlyUnheldRunsAreRemoved) {
  const base::FilePath killed = MakeRun(u"20240101000000");
  const base::FilePath alive = MakeRun(u"20240101000001");
  const base::FilePath unlocked = MakeRun(u"20240101000002");
  // A run killed while it held its lock leaves the lock file, unheld.
  ASSERT_EQ(0,
            base::WriteBufferToFile(killed.ReplaceExtension(u"lock"), "", 0));
  PackageRunLock live_lock(alive);
  ASSERT_TRUE(live_lock.held());

  EXPECT_EQ(1, PackageRunLock::RemoveStaleRuns(temp_.GetPath()));
  EXPECT_FALSE(RunExists(killed));
  EXPECT_FALSE(base::PathExists(killed.ReplaceExtension(u"lock")));
  // Held: a run that lives, or a backend of it.
  EXPECT_TRUE(
      base::PathExists(alive.RemoveExtension().Append(u"installer.exe")));
  EXPECT_TRUE(base::PathExists(alive));
  // Without a lock: a run of another installer, left alone.
  EXPECT_TRUE(base::PathExists(unlocked.RemoveExtension()));
  EXPECT_TRUE(base::PathExists(unlocked));
}

// A file of a stale run that is still in use keeps its lock for a later try.
TEST_F(PackageRunLockTest, AnUnfinishedRemovalKeepsTheLock) {
  const base::FilePath run = MakeRun(u"20240101000003");
  const base::FilePath lock_file = run.ReplaceExtension(u"lock");
  ASSERT_EQ(0, base::WriteBufferToFile(lock_file, "", 0));
  const base::FilePath held = run.RemoveExtension().Append(u"installer.exe");
  base::win::ScopedHandle open(CreateFileW(base::as_wcstr(held.value()),
                                           GENERIC_READ, FILE_SHARE_READ,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(open.IsValid());
  EXPECT_EQ(0, PackageRunLock::RemoveStaleRuns(temp_.GetPath()));
  EXPECT_TRUE(base::PathExists(lock_file));
  open.Close();
  EXPECT_EQ(1, PackageRunLock::RemoveStaleRuns(temp_.GetPath()));
  EXPECT_FALSE(RunExists(run));
  EXPECT_FALSE(base::PathExists(lock_file));
}

// The owner deletes its lock at its end, also while a backend that
// inherited the handle still holds it.
TEST_F(PackageRunLockTest, TheOwnerRemovesItsLock) {
  const base::FilePath run = MakeRun(u"20240101000004");
  const base::FilePath lock_file = run.ReplaceExtension(u"lock");
  HANDLE inherited = nullptr;
  {
    PackageRunLock lock(run);
    ASSERT_TRUE(lock.held());
    // Stands in for the handle a backend inherits.
    base::win::ScopedHandle other(
        CreateFileW(base::as_wcstr(lock_file.value()), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(other.IsValid());
    inherited = other.Take();
  }
  // Still held by the other handle: not stale.
  EXPECT_EQ(0, PackageRunLock::RemoveStaleRuns(temp_.GetPath()));
  EXPECT_TRUE(base::PathExists(run.RemoveExtension()));
  CloseHandle(inherited);
  EXPECT_FALSE(base::PathExists(lock_file));
}

}  // namespace
}  // namespace installer
