#include "desktop/windows/installer/download_folder_win.h"

#include <windows.h>
// After windows.h.
#include <knownfolders.h>

#include <string>
#include <vector>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/utils.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A folder name of this test alone, so that parallel tests never meet.
std::u16string UniqueName() {
  return u"VelnaTest " +
         base::UTF8ToUTF16(base::Uint64ToString(base::RandUint64())) +
         u" Installer";
}

base::FilePath PathServiceFolder(int key) {
  base::FilePath path;
  EXPECT_TRUE(base::PathService::Get(key, &path));
  return path;
}

base::FilePath DownloadsFolder() {
  base::FilePath path;
  EXPECT_TRUE(GetKnownFolderPath(FOLDERID_Downloads, -1, &path, true));
  return path;
}

// Every folder GetTempInstallerFolder() may create for |name|.
std::vector<base::FilePath> Candidates(const std::u16string& name) {
  return {PathServiceFolder(base::DIR_TEMP).Append(name),
          DownloadsFolder().Append(name),
          PathServiceFolder(base::DIR_HOME).Append(name),
          PathServiceFolder(base::DIR_EXE).Append(name)};
}

// Removes the candidates of |name| at the end of a test.
class ScopedCandidates {
 public:
  ScopedCandidates() : name_(UniqueName()) {}
  ~ScopedCandidates() {
    for (const base::FilePath& folder : Candidates(name_))
      base::DeleteFileOrDirectory(folder, true);
  }
  const std::u16string& name() const { return name_; }

 private:
  const std::u16string name_;
};

base::FilePath TestHost() {
  return base::FilePath(base::GetTestExecutableFolder() +
                        u"installer_test_host.exe");
}

TEST(DownloadFolderTest, WithoutTestProgramTheTemporaryFolderWins) {
  ScopedCandidates candidates;
  base::FilePath folder;
  ASSERT_TRUE(
      GetTempInstallerFolder(candidates.name(), base::FilePath(), &folder));
  EXPECT_EQ(Candidates(candidates.name())[0], folder);
  EXPECT_TRUE(base::DirectoryExists(folder));
}

TEST(DownloadFolderTest, AnExistingFolderIsReusedAndItsFilesStay) {
  ScopedCandidates candidates;
  const base::FilePath existing = Candidates(candidates.name())[0];
  ASSERT_TRUE(base::FileUtil::CreateDirectory(existing));
  const base::FilePath kept = existing.Append(u"earlier download.exe");
  ASSERT_EQ(4, base::WriteBufferToFile(kept, "keep", 4));

  base::FilePath folder;
  ASSERT_TRUE(GetTempInstallerFolder(candidates.name(), TestHost(), &folder));
  EXPECT_EQ(existing, folder);
  std::string contents;
  EXPECT_TRUE(base::FileUtil::ReadFileToString(kept, &contents));
  EXPECT_EQ("keep", contents);
  // The test run's copy is gone again.
  EXPECT_FALSE(base::PathExists(folder.Append(u"installer_test_host.exe")));
}

TEST(DownloadFolderTest, ACopyOfTheSameNameInUseOrLeftBehindIsNoHindrance) {
  // Another run's copy, still in use, keeps its name and this run takes one
  // of its own; a copy an earlier run could not delete is replaced. Neither
  // run loses the folder.
  for (const bool in_use : {true, false}) {
    SCOPED_TRACE(in_use ? "in use" : "left behind");
    ScopedCandidates candidates;
    const base::FilePath candidate = Candidates(candidates.name())[0];
    ASSERT_TRUE(base::FileUtil::CreateDirectory(candidate));
    const base::FilePath other = candidate.Append(u"installer_test_host.exe");
    ASSERT_TRUE(base::CopyOneFile(TestHost(), other));
    base::win::ScopedHandle held;
    if (in_use) {
      held.Set(CreateFileW(base::as_wcstr(other.value()), GENERIC_READ,
                           FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr));
      ASSERT_TRUE(held.IsValid());
    }
    base::FilePath folder;
    ASSERT_TRUE(GetTempInstallerFolder(candidates.name(), TestHost(), &folder));
    EXPECT_EQ(candidate, folder);
    EXPECT_EQ(in_use, base::PathExists(other));
    held.Close();
    // Only the other run's copy was there to stay.
    if (in_use) {
      ASSERT_TRUE(base::DeleteFileOrDirectory(other, false));
    }
    EXPECT_TRUE(RemoveDirectoryW(base::as_wcstr(folder.value())));
  }
}

TEST(DownloadFolderTest, AProgramThatCannotStartLeavesNoFolderBehind) {
  ScopedCandidates candidates;
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath broken = dir.GetPath().Append(u"broken.exe");
  ASSERT_EQ(7, base::WriteBufferToFile(broken, "no code", 7));

  base::FilePath folder;
  EXPECT_FALSE(GetTempInstallerFolder(candidates.name(), broken, &folder));
  for (const base::FilePath& candidate : Candidates(candidates.name()))
    EXPECT_FALSE(base::PathExists(candidate)) << candidate;

  // A folder that holds something is never removed.
  const base::FilePath existing = Candidates(candidates.name())[0];
  ASSERT_TRUE(base::FileUtil::CreateDirectory(existing));
  ASSERT_EQ(1, base::WriteBufferToFile(existing.Append(u"f"), "x", 1));
  base::FilePath base = PathServiceFolder(base::DIR_TEMP);
  EXPECT_FALSE(TryInstallerFolderCandidate(candidates.name(), broken, &base));
  EXPECT_TRUE(base::PathExists(existing.Append(u"f")));
  EXPECT_FALSE(base::PathExists(existing.Append(u"broken.exe")));
}

TEST(DownloadFolderTest, TheTestRunStartsACopyOfItsOwn) {
  // The copy is a file of its own (one name), so that it can be deleted while
  // the program runs; a file of its name left behind that is a second name
  // of another file is removed, never written through.
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath links = dir.GetPath().Append(u"links.txt");
  ASSERT_TRUE(SetEnvironmentVariableW(test::kHostRecordLinksVariable,
                                      base::as_wcstr(links.value())));
  ASSERT_TRUE(SetEnvironmentVariableW(
      test::kHostRecordVariable,
      base::as_wcstr(dir.GetPath().Append(u"command.txt").value())));
  const base::FilePath other = dir.GetPath().Append(u"other.exe");
  ASSERT_EQ(4, base::WriteBufferToFile(other, "keep", 4));
  const struct {
    bool read_only;
    bool leftover_link;
  } kCases[] = {{false, false}, {true, false}, {false, true}};
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(testing::Message()
                 << test_case.read_only << " " << test_case.leftover_link);
    ScopedCandidates candidates;
    const base::FilePath candidate = Candidates(candidates.name())[0];
    const base::FilePath program = dir.GetPath().Append(u"program.exe");
    ASSERT_TRUE(base::CopyOneFile(TestHost(), program));
    if (test_case.read_only) {
      ASSERT_TRUE(SetFileAttributesW(base::as_wcstr(program.value()),
                                     FILE_ATTRIBUTE_READONLY));
    }
    if (test_case.leftover_link) {
      ASSERT_TRUE(base::FileUtil::CreateDirectory(candidate));
      ASSERT_TRUE(CreateHardLinkW(
          base::as_wcstr(candidate.Append(u"program.exe").value()),
          base::as_wcstr(other.value()), nullptr));
    }
    base::FilePath folder;
    ASSERT_TRUE(GetTempInstallerFolder(candidates.name(), program, &folder));
    EXPECT_EQ(candidate, folder);
    std::string recorded;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(links, &recorded));
    EXPECT_EQ("1", recorded);
    EXPECT_FALSE(base::PathExists(folder.Append(u"program.exe")));
    std::string kept;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(other, &kept));
    EXPECT_EQ("keep", kept);
    SetFileAttributesW(base::as_wcstr(program.value()), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(base::DeleteFileOrDirectory(program, false));
    ASSERT_TRUE(base::DeleteFileOrDirectory(links, false));
  }
  SetEnvironmentVariableW(test::kHostRecordLinksVariable, nullptr);
  SetEnvironmentVariableW(test::kHostRecordVariable, nullptr);
}

// The test program records its links, then waits for |release|.
class HeldTestProgram {
 public:
  HeldTestProgram() {
    EXPECT_TRUE(dir_.CreateUniqueTempDir());
    program_ = dir_.GetPath().Append(u"held.exe");
    EXPECT_TRUE(base::CopyOneFile(TestHost(), program_));
    links_ = dir_.GetPath().Append(u"links.txt");
    const std::u16string event_name =
        u"Local\\VelnaDownloadFolderTest" +
        base::UTF8ToUTF16(base::Uint64ToString(base::RandUint64()));
    release_.Set(
        CreateEventW(nullptr, TRUE, FALSE, base::as_wcstr(event_name)));
    SetEnvironmentVariableW(test::kHostRecordLinksVariable,
                            base::as_wcstr(links_.value()));
    SetEnvironmentVariableW(
        test::kHostRecordVariable,
        base::as_wcstr(dir_.GetPath().Append(u"command.txt").value()));
    SetEnvironmentVariableW(test::kHostReleaseEventVariable,
                            base::as_wcstr(event_name));
  }
  ~HeldTestProgram() {
    SetEvent(release_.Get());
    for (const wchar_t* name :
         {test::kHostRecordLinksVariable, test::kHostRecordVariable,
          test::kHostReleaseEventVariable}) {
      SetEnvironmentVariableW(name, nullptr);
    }
  }
  const base::FilePath& program() const { return program_; }
  const base::FilePath& links() const { return links_; }
  void Release() { SetEvent(release_.Get()); }
  // Whether the program recorded that it runs: its command line, which it
  // writes once its links are written and closed. Each name made in the
  // folder wakes the wait; only a hang runs out the two minutes.
  bool WaitUntilRunning() {
    const base::FilePath command = dir_.GetPath().Append(u"command.txt");
    const HANDLE change =
        FindFirstChangeNotificationW(base::as_wcstr(dir_.GetPath().value()),
                                     FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    if (change == INVALID_HANDLE_VALUE) return false;
    const ULONGLONG deadline = GetTickCount64() + 120000;
    while (!base::PathExists(command)) {
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline ||
          WaitForSingleObject(change, static_cast<DWORD>(deadline - now)) !=
              WAIT_OBJECT_0 ||
          !FindNextChangeNotification(change)) {
        break;
      }
    }
    FindCloseChangeNotification(change);
    return base::PathExists(command) && base::PathExists(links_);
  }

 private:
  base::ScopedTempDir dir_;
  base::FilePath program_;
  base::FilePath links_;
  base::win::ScopedHandle release_;
};

TEST(DownloadFolderTest, ARunStartedAheadIsTakenUpOnce) {
  ScopedCandidates candidates;
  HeldTestProgram held;
  base::AtExitManager at_exit;
  StartTestRunAhead(candidates.name(), held.program());
  const base::FilePath expected = Candidates(candidates.name())[0];
  // It runs before anyone asks for the folder, from the candidate.
  ASSERT_TRUE(held.WaitUntilRunning());
  EXPECT_TRUE(base::PathExists(expected.Append(u"held.exe")));
  ASSERT_TRUE(base::DeleteFileOrDirectory(held.links(), false));
  held.Release();
  base::FilePath folder;
  ASSERT_TRUE(
      GetTempInstallerFolder(candidates.name(), held.program(), &folder));
  EXPECT_EQ(expected, folder);
  EXPECT_FALSE(base::PathExists(folder.Append(u"held.exe")));
  // Not run a second time.
  EXPECT_FALSE(base::PathExists(held.links()));
}

TEST(DownloadFolderTest, ARunAheadNeverTakenUpIsCleanedUpAtExit) {
  ScopedCandidates candidates;
  HeldTestProgram held;
  const base::FilePath candidate = Candidates(candidates.name())[0];
  {
    base::AtExitManager at_exit;
    StartTestRunAhead(candidates.name(), held.program());
    ASSERT_TRUE(held.WaitUntilRunning());
    held.Release();
  }
  // The folder it made goes with the copy.
  EXPECT_FALSE(base::PathExists(candidate));
}

TEST(DownloadFolderTest, TemporaryFolderOnAMissingDriveFallsBackToDownloads) {
  ScopedCandidates candidates;
  std::string output;
  DWORD exit_code = 0;
  ASSERT_TRUE(base::RunChildProcess(
      u"\"" + TestHost().value() +
          u"\" --host-mode=download-folder "
          u"--folder-name=\"" +
          candidates.name() + u"\" --test-program=\"" + TestHost().value() +
          u"\"",
      {{u"TEMP", u"Q:\\missing\\temp"}, {u"TMP", u"Q:\\missing\\temp"}},
      &output, &exit_code));
  EXPECT_EQ(0u, exit_code) << output;
  EXPECT_EQ(DownloadsFolder().Append(candidates.name()).AsUTF8(), output);
}

}  // namespace
}  // namespace installer
