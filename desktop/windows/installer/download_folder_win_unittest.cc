#include "desktop/windows/installer/download_folder_win.h"

#include <windows.h>
// After windows.h.
#include <knownfolders.h>

#include <string>
#include <vector>

#include "base/base_paths.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/rand_util.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
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

TEST(DownloadFolderTest, TheTestRunStartsALinkToTheProgram) {
  // A writable program is started through a second name of the same file,
  // with nothing copied; a read-only one through a copy.
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath links = dir.GetPath().Append(u"links.txt");
  ASSERT_TRUE(SetEnvironmentVariableW(test::kHostRecordLinksVariable,
                                      base::as_wcstr(links.value())));
  ASSERT_TRUE(SetEnvironmentVariableW(
      test::kHostRecordVariable,
      base::as_wcstr(dir.GetPath().Append(u"command.txt").value())));
  const struct {
    bool read_only;
    const char* links;
  } kCases[] = {{false, "2"}, {true, "1"}};
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.read_only);
    ScopedCandidates candidates;
    const base::FilePath program = dir.GetPath().Append(u"program.exe");
    ASSERT_TRUE(base::CopyOneFile(TestHost(), program));
    if (test_case.read_only)
      ASSERT_TRUE(SetFileAttributesW(base::as_wcstr(program.value()),
                                     FILE_ATTRIBUTE_READONLY));
    base::FilePath folder;
    ASSERT_TRUE(GetTempInstallerFolder(candidates.name(), program, &folder));
    EXPECT_EQ(Candidates(candidates.name())[0], folder);
    std::string recorded;
    EXPECT_TRUE(base::FileUtil::ReadFileToString(links, &recorded));
    EXPECT_EQ(test_case.links, recorded);
    EXPECT_FALSE(base::PathExists(folder.Append(u"program.exe")));
    SetFileAttributesW(base::as_wcstr(program.value()), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(base::DeleteFileOrDirectory(program, false));
    ASSERT_TRUE(base::DeleteFileOrDirectory(links, false));
  }
  SetEnvironmentVariableW(test::kHostRecordLinksVariable, nullptr);
  SetEnvironmentVariableW(test::kHostRecordVariable, nullptr);
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
