#include "desktop/windows/installer/core/protected_folder_win.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/command_line.h"
#include "base/files/file_attributes_win.h"
#include "base/files/file_enumerator.h"
#include "base/files/file_util.h"
#include "base/json/json_writer.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "base/values.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/core/folder_permission_win.h"
#include "desktop/windows/installer/core/protected_package_win.h"
#include "desktop/windows/installer/core/uninstall_batch.h"
#include "desktop/windows/installer/core/uninstall_batch_win.h"
#include "desktop/windows/installer/service/folder_security_win.h"
#include "desktop/windows/installer/service/name_utils.h"
#include "desktop/windows/installer/service/test/machine_state_snapshot.h"
#include "desktop/windows/installer/service/test/recorded_folder_security_win.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/process_test_util_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// A user's folder (the package) and a protected root of the test's own,
// with the access lists the installer gives folders recorded.
class ProtectedFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    source_ = dir().Append(u"package");
    root_ = dir().Append(u"protected");
    record_ = dir().Append(u"security.txt");
    ASSERT_TRUE(base::FileUtil::CreateDirectory(root_));
    security_ = std::make_unique<test::RecordedFolderSecurity>(record_);
    internal::SetFolderSecurityForTesting(security_.get());
    internal::SetProtectedFolderRootForTesting(root_);
    for (const char16_t* name :
         {u"installer.exe", u"files_list", u"a\\b\\deep.dll",
          u"\u00e5rsak \u4e2d.pak", u"empty\\"}) {
      const base::FilePath path = source_.Append(name);
      if (path.value().back() == u'\\') {
        ASSERT_TRUE(base::FileUtil::CreateDirectory(path));
      } else {
        ASSERT_TRUE(test::WriteTextFile(path, path.BaseName().AsUTF8()));
      }
    }
  }
  void TearDown() override {
    internal::SetFolderSecurityForTesting(nullptr);
    internal::SetProtectedFolderRootForTesting(base::FilePath());
    internal::SetEngineSignedForTesting(-1);
    base::internal::SetWalkAttributesHookForTesting(nullptr);
  }

  const base::FilePath& dir() const { return dir_.GetPath(); }

  base::ScopedTempDir dir_;
  base::FilePath source_;
  base::FilePath root_;
  base::FilePath record_;
  std::unique_ptr<test::RecordedFolderSecurity> security_;
};

TEST_F(ProtectedFolderTest, NewFoldersAreProtectedAndKnownAsSuch) {
  const base::FilePath first = CreateProtectedFolder();
  const base::FilePath second = CreateProtectedFolder();
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(root_, first.DirName());
  EXPECT_EQ(std::vector<std::u16string>{kProtectedFolderSecurity},
            test::RecordedFolderSecurity::History(record_, first));
  EXPECT_TRUE(IsInProtectedFolder(first));
  EXPECT_TRUE(IsInProtectedFolder(first.Append(u"sub\\deeper")));
  // Another name, another place, or a list that others may change.
  const base::FilePath other = root_.Append(u"Velna Installer 0123");
  ASSERT_TRUE(security_->Create(other, kProtectedFolderSecurity));
  EXPECT_FALSE(IsInProtectedFolder(other));
  EXPECT_FALSE(IsInProtectedFolder(source_));
  EXPECT_FALSE(IsInProtectedFolder(root_));
  ASSERT_TRUE(
      security_->Write(second, u"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)"));
  EXPECT_FALSE(IsInProtectedFolder(second));
}

// Waits (at most a minute) until something other than this process holds
// |folder|: it no longer opens alone.
bool WaitUntilHeld(const base::FilePath& folder) {
  for (int waited = 0; waited < 60000; waited += 20) {
    const HANDLE alone = CreateFileW(
        base::as_wcstr(folder.value()), FILE_LIST_DIRECTORY | DELETE, 0,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (alone == INVALID_HANDLE_VALUE &&
        GetLastError() == ERROR_SHARING_VIOLATION) {
      return true;
    }
    // Not held while the other process tries to take it.
    if (alone != INVALID_HANDLE_VALUE) CloseHandle(alone);
    Sleep(20);
  }
  return false;
}

// A protected folder a killed run left goes at the next run that makes one;
// one that is held (by its maker, an installer running from it, or a
// process whose current folder it is), that a user made, that is a link or
// that has another name stays. Once nothing holds it, it goes too.
TEST_F(ProtectedFolderTest, LeftFoldersGoOnceNothingHoldsThem) {
  const base::FilePath own = CreateProtectedFolder();
  ASSERT_FALSE(own.empty());
  auto named = [this](const char16_t* digits) {
    return root_.Append(std::u16string(u"Velna Installer ") + digits);
  };
  const base::FilePath killed = named(u"00000000000000a1");
  const base::FilePath by_user = named(u"00000000000000a2");
  const base::FilePath link = named(u"1111111111111111");
  const base::FilePath other_name = named(u"0123");
  const base::FilePath running = named(u"00000000000000a3");
  const base::FilePath current = named(u"00000000000000a4");
  for (const base::FilePath& folder :
       {killed, link, other_name, running, current}) {
    ASSERT_TRUE(security_->Create(folder, kProtectedFolderSecurity));
  }
  ASSERT_TRUE(security_->Create(
      by_user, u"O:S-1-5-21-1-2-3-1001D:PAI(A;OICI;FA;;;S-1-5-21-1-2-3-1001)"));
  for (const base::FilePath& folder :
       {own, killed, by_user, link, other_name, running, current}) {
    ASSERT_TRUE(test::WriteTextFile(folder.Append(u"sub\\f.txt"), "left"));
  }
  base::internal::SetWalkAttributesHookForTesting(
      [](const base::FilePath& path, uint32_t attributes) -> uint32_t {
        return path.BaseName().value() == u"Velna Installer 1111111111111111"
                   ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                   : attributes;
      });

  // The utility, started from |running|, waits there for a package.
  const base::FilePath granted = dir().Append(u"granted");
  base::win::ScopedHandle ready(
      CreateEventW(nullptr, TRUE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(
                       granted.value(), kPackageReadyEvent, true))));
  base::win::ScopedHandle interrupted(
      CreateEventW(nullptr, TRUE, FALSE,
                   base::as_wcstr(MakeKernelObjectName(
                       granted.value(), kInstallationInterruptedEvent, true))));
  ASSERT_TRUE(ready.IsValid() && interrupted.IsValid());
  const base::FilePath host(base::GetTestExecutableFolder() +
                            u"installer_test_host.exe");
  ASSERT_TRUE(base::CopyOneFile(host, running.Append(u"installer.exe")));
  base::DictionaryValue seams;
  seams.SetString("protected_root", root_.value());
  std::string json;
  ASSERT_TRUE(base::JSONWriter::Write(seams, &json));
  const base::FilePath seams_file = dir().Append(u"seams.json");
  ASSERT_TRUE(test::WriteTextFile(seams_file, json));
  SetEnvironmentVariableW(test::kHostSeamsVariable,
                          base::as_wcstr(seams_file.value()));
  base::Process utility = base::LaunchProcess(
      u"\"" + running.Append(u"installer.exe").value() +
          u"\" --crash-reporter-pid=77 --set-folder-permission=\"" +
          granted.value() +
          u"\" --permissions-for-user=someone --wait-for-package=\"" +
          source_.value() + u"\\\\\" --initial-pid=" +
          base::UintToString16(GetCurrentProcessId()),
      base::LaunchOptions());
  SetEnvironmentVariableW(test::kHostSeamsVariable, nullptr);
  base::LaunchOptions in_current;
  in_current.current_directory = current;
  base::Process waiting = base::LaunchProcess(
      u"\"" + host.value() + u"\" --host-mode=wait", in_current);
  ASSERT_TRUE(utility.IsValid() && waiting.IsValid());
  ASSERT_TRUE(WaitUntilHeld(running));
  ASSERT_TRUE(WaitUntilHeld(current));

  EXPECT_EQ(1, RemoveLeftProtectedFolders());
  EXPECT_FALSE(base::PathExists(killed));
  for (const base::FilePath& folder :
       {own, by_user, link, other_name, running, current}) {
    EXPECT_EQ("left", test::ReadFileContents(folder.Append(u"sub\\f.txt")))
        << folder;
  }

  ASSERT_TRUE(SetEvent(interrupted.Get()));
  int exit_code = -1;
  EXPECT_TRUE(utility.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_TRUE(waiting.Terminate(0, true));
  EXPECT_EQ(2, RemoveLeftProtectedFolders());
  EXPECT_FALSE(base::PathExists(running));
  EXPECT_FALSE(base::PathExists(current));
  for (const base::FilePath& folder : {own, by_user, link, other_name})
    EXPECT_TRUE(base::PathExists(folder.Append(u"sub\\f.txt"))) << folder;
  EXPECT_TRUE(RemoveProtectedFolder(own));
  EXPECT_FALSE(base::PathExists(own));
}

// A protected folder made in a folder that the command line names (made
// when missing): while it exists, neither it nor any folder on its path
// can be renamed away and replaced; once it is removed nothing holds them.
// A path that leads through a link, or names no drive, is refused.
TEST_F(ProtectedFolderTest, AFolderInANamedFolderKeepsItsPath) {
  const base::FilePath named = dir().Append(u"named\\deeper");
  const base::FilePath folder = CreateProtectedFolderIn(named);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(named, folder.DirName());
  EXPECT_EQ(0u, folder.BaseName().value().find(u"Velna Installer "));
  ASSERT_TRUE(test::WriteTextFile(folder.Append(u"package.exe"), "MZ"));
  for (const base::FilePath& held : {folder, named, named.DirName(), dir()}) {
    EXPECT_FALSE(MoveFileExW(base::as_wcstr(held.value()),
                             base::as_wcstr(held.value() + u" moved"), 0))
        << held;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
  }
  EXPECT_TRUE(RemoveProtectedFolder(folder));
  EXPECT_FALSE(base::PathExists(folder));
  const base::FilePath moved = dir().Append(u"moved");
  EXPECT_TRUE(MoveFileExW(base::as_wcstr(named.DirName().value()),
                          base::as_wcstr(moved.value()), 0));

  base::internal::SetWalkAttributesHookForTesting(
      [](const base::FilePath& path, uint32_t attributes) -> uint32_t {
        return path.BaseName().value() == u"deeper"
                   ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                   : attributes;
      });
  EXPECT_TRUE(CreateProtectedFolderIn(moved.Append(u"deeper")).empty());
  EXPECT_TRUE(CreateProtectedFolderIn(base::FilePath(u"moved")).empty());
  EXPECT_TRUE(base::FileEnumerator(moved.Append(u"deeper"), false,
                                   base::FileEnumerator::DIRECTORIES)
                  .Next()
                  .empty());
}

// A clean-up batch file holds its protected folder while it runs (the
// interpreter reads it anew line by line, and keeps nothing else open
// there): another run's removal of left folders spares it, and the folder
// goes at the batch file's end.
TEST_F(ProtectedFolderTest, AFolderWhoseBatchFileRunsStays) {
  // The batch file tries this once a second until it is let go.
  const base::FilePath in_use = dir().Append(u"in use.dll");
  ASSERT_TRUE(test::WriteTextFile(in_use, "MZ"));
  base::win::ScopedHandle holder(
      CreateFileW(base::as_wcstr(in_use.value()), GENERIC_READ, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(holder.IsValid());
  UninstallBatchPlan plan;
  plan.files.emplace_back();
  ASSERT_TRUE(ToBatchPath(in_use, &plan.files.back()));
  const base::FilePath batch = WriteUninstallBatch(std::move(plan), true);
  ASSERT_FALSE(batch.empty());
  const base::FilePath folder = batch.DirName();
  ASSERT_EQ(root_, folder.DirName());
  ASSERT_TRUE(LaunchUninstallBatch(batch));
  base::Process interpreter = test::WaitForChildProcess(
      GetCurrentProcessId(), GetSystemCommandInterpreter());
  ASSERT_TRUE(interpreter.IsValid());
  // As at the end of the uninstaller that made it.
  internal::ReleaseProtectedFolderForTesting(folder);
  EXPECT_TRUE(WaitUntilHeld(folder));

  EXPECT_EQ(0, RemoveLeftProtectedFolders());
  EXPECT_TRUE(base::PathExists(batch));
  holder.Close();
  int exit_code = -1;
  EXPECT_TRUE(interpreter.WaitForExitWithTimeout(60000, &exit_code));
  EXPECT_FALSE(base::PathExists(in_use));
  // Removed by an interpreter it starts, two seconds after its end.
  for (int waited = 0; waited < 60000 && base::PathExists(folder);
       waited += 100) {
    Sleep(100);
  }
  EXPECT_FALSE(base::PathExists(folder));
}

// The first protected folder a process makes comes after what earlier runs
// left has gone.
TEST_F(ProtectedFolderTest, TheFirstNewFolderComesAfterTheLeftOnesGo) {
  const base::FilePath left = root_.Append(u"Velna Installer 00000000000000b1");
  ASSERT_TRUE(security_->Create(left, kProtectedFolderSecurity));
  ASSERT_TRUE(test::WriteTextFile(left.Append(u"installer.exe"), "MZ"));
  const base::FilePath made = CreateProtectedFolder();
  ASSERT_FALSE(made.empty());
  EXPECT_FALSE(base::PathExists(left));
  EXPECT_TRUE(base::DirectoryExists(made));
}

TEST_F(ProtectedFolderTest, APackageIsCopiedAsItIsAndTheCopyGoes) {
  // Enough files in enough folders for every copying thread to have some,
  // some larger than one read.
  for (int i = 0; i < 240; ++i) {
    const base::FilePath path = source_.Append(
        u"bulk\\" + base::IntToString16(i % 6) + u"\\" +
        base::IntToString16(i % 4) + u"\\file" + base::IntToString16(i));
    const size_t size = i % 40 == 0 ? 700 * 1024 + i : 3 * i;
    ASSERT_TRUE(test::WriteTextFile(path, std::string(size, 'a' + i % 26)));
  }
  std::unique_ptr<ProtectedPackage> package = ProtectedPackage::Copy(source_);
  ASSERT_TRUE(package);
  const base::FilePath copy = package->folder();
  EXPECT_EQ(test::TakeFileTreeSnapshot(source_),
            test::TakeFileTreeSnapshot(copy));
  EXPECT_EQ(copy.Append(u"installer.exe"), package->installer());
  package.reset();
  EXPECT_FALSE(base::PathExists(copy));
}

// A package that holds a link, or a file a writer still holds, is not
// copied at all; nothing of it stays.
TEST_F(ProtectedFolderTest, APackageWithALinkIsRefused) {
  const base::FilePath secret = dir().Append(u"secret.txt");
  ASSERT_TRUE(test::WriteTextFile(secret, "secret"));
  const struct {
    const char* name;
    void (*plant)(const base::FilePath& source, const base::FilePath& secret);
  } cases[] = {
      {"a second name of another file",
       [](const base::FilePath& source, const base::FilePath& secret) {
         ASSERT_TRUE(CreateHardLinkW(
             base::as_wcstr(source.Append(u"a\\link.dll").value()),
             base::as_wcstr(secret.value()), nullptr));
       }},
      {"a reparse point",
       [](const base::FilePath& source, const base::FilePath& secret) {
         base::internal::SetWalkAttributesHookForTesting(
             [](const base::FilePath& path, uint32_t attributes) -> uint32_t {
               return path.BaseName().value() == u"b"
                          ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
                          : attributes;
             });
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.plant(source_, secret);
    EXPECT_FALSE(ProtectedPackage::Copy(source_));
    base::internal::SetWalkAttributesHookForTesting(nullptr);
    base::DeleteFileOrDirectory(source_.Append(u"a\\link.dll"), false);
    EXPECT_TRUE(test::TakeFileTreeSnapshot(root_).empty());
  }
  {
    SCOPED_TRACE("a file a writer holds");
    base::win::ScopedHandle writer(
        CreateFileW(base::as_wcstr(source_.Append(u"a\\b\\deep.dll").value()),
                    GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer.IsValid());
    EXPECT_FALSE(ProtectedPackage::Copy(source_));
    EXPECT_TRUE(test::TakeFileTreeSnapshot(root_).empty());
  }
  // An unchanged package is copied again.
  EXPECT_TRUE(ProtectedPackage::Copy(source_));
}

// A package copied while it is unpacked: a file its writer holds waits, a
// file to be written later waits for the end, and what changes or goes
// after its copy is taken again or removed, so that the copy ends as the
// package is at the end.
TEST_F(ProtectedFolderTest, APackageBeingUnpackedIsCopiedAsItEnds) {
  const base::FilePath target = CreateProtectedFolder();
  ASSERT_FALSE(target.empty());
  FolderCopyWhileFilled copy(source_, target, {u"files_list"});
  // As the unpack writes a file: alone, until it is closed.
  const base::FilePath written = source_.Append(u"a\\being written.dll");
  base::win::ScopedHandle writer(
      CreateFileW(base::as_wcstr(written.value()), GENERIC_WRITE, 0, nullptr,
                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer.IsValid());
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(writer.Get(), "half", 4, &done, nullptr));

  EXPECT_EQ(3u, copy.CopyLetGoFiles());
  EXPECT_FALSE(base::PathExists(target.Append(u"a\\being written.dll")));
  EXPECT_FALSE(base::PathExists(target.Append(u"files_list")));
  EXPECT_EQ("deep.dll",
            test::ReadFileContents(target.Append(u"a\\b\\deep.dll")));
  EXPECT_TRUE(base::DirectoryExists(target.Append(u"empty")));
  EXPECT_EQ(0u, copy.CopyLetGoFiles());

  // After their copy: one file grows, one keeps its size but gets other
  // bytes and time, one goes with its folder, and more comes.
  ASSERT_TRUE(test::WriteTextFile(source_.Append(u"\u00e5rsak \u4e2d.pak"),
                                  "longer now"));
  ASSERT_TRUE(test::WriteTextFile(source_.Append(u"files_list"), "listed"));
  {
    base::win::ScopedHandle same_size(
        CreateFileW(base::as_wcstr(source_.Append(u"installer.exe").value()),
                    GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(same_size.IsValid());
    ASSERT_TRUE(WriteFile(same_size.Get(), "INSTALLER", 9, &done, nullptr));
    FILETIME time = {0x12345678, 0x01d00000};
    ASSERT_TRUE(SetFileTime(same_size.Get(), nullptr, nullptr, &time));
  }
  ASSERT_TRUE(base::DeleteFileOrDirectory(source_.Append(u"a\\b"), true));
  ASSERT_TRUE(base::DeleteFileOrDirectory(source_.Append(u"empty"), true));
  ASSERT_TRUE(test::WriteTextFile(source_.Append(u"late\\x.txt"), "late"));
  ASSERT_TRUE(WriteFile(writer.Get(), " and whole", 10, &done, nullptr));
  writer.Close();

  EXPECT_TRUE(copy.Finish());
  EXPECT_EQ(test::TakeFileTreeSnapshot(source_),
            test::TakeFileTreeSnapshot(target));
  EXPECT_EQ("half and whole",
            test::ReadFileContents(target.Append(u"a\\being written.dll")));
  EXPECT_EQ("INSTALLER.exe",
            test::ReadFileContents(target.Append(u"installer.exe")));
}

// A package folder made anew in its place (a retried unpack) is copied
// anew, even where its files have the sizes and times of those copied
// before.
TEST_F(ProtectedFolderTest, APackageFolderMadeAnewIsCopiedAnew) {
  const base::FilePath target = CreateProtectedFolder();
  ASSERT_FALSE(target.empty());
  FolderCopyWhileFilled copy(source_, target);
  EXPECT_EQ(4u, copy.CopyLetGoFiles());
  // The earlier folder stays until the end, so that the new one cannot
  // take its number.
  const base::FilePath earlier = dir().Append(u"earlier");
  ASSERT_TRUE(MoveFileW(base::as_wcstr(source_.value()),
                        base::as_wcstr(earlier.value())));
  for (const char16_t* name : {u"installer.exe", u"a\\b\\deep.dll"}) {
    const base::FilePath path = source_.Append(name);
    std::string text = path.BaseName().AsUTF8();
    text[0] = 'X';
    ASSERT_TRUE(test::WriteTextFile(path, text));
    base::win::ScopedHandle before(
        CreateFileW(base::as_wcstr(earlier.Append(name).value()), GENERIC_READ,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    base::win::ScopedHandle now(CreateFileW(base::as_wcstr(path.value()),
                                            GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    FILETIME time = {};
    ASSERT_TRUE(GetFileTime(before.Get(), nullptr, nullptr, &time));
    ASSERT_TRUE(SetFileTime(now.Get(), nullptr, nullptr, &time));
  }
  EXPECT_TRUE(copy.Finish());
  EXPECT_EQ(test::TakeFileTreeSnapshot(source_),
            test::TakeFileTreeSnapshot(target));
  EXPECT_EQ("Xnstaller.exe",
            test::ReadFileContents(target.Append(u"installer.exe")));
}

// The same on a thread of its own, while the test goes on filling the
// package; a copy that is never finished (a cancelled run) goes whole.
TEST_F(ProtectedFolderTest, AStartedCopyRunsUntilFinishedOrDropped) {
  std::unique_ptr<ProtectedPackage> package =
      ProtectedPackage::StartCopy(source_);
  ASSERT_TRUE(package);
  const base::FilePath copied = package->folder().Append(u"a\\b\\deep.dll");
  // Within a minute, however loaded the machine.
  for (int i = 0; i < 6000 && !base::PathExists(copied); ++i) Sleep(10);
  EXPECT_TRUE(base::PathExists(copied));
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(
        test::WriteTextFile(source_.Append(u"more\\" + base::IntToString16(i)),
                            std::string(i * 1000, 'm')));
  }
  EXPECT_TRUE(package->FinishCopy());
  EXPECT_EQ(test::TakeFileTreeSnapshot(source_),
            test::TakeFileTreeSnapshot(package->folder()));

  std::unique_ptr<ProtectedPackage> dropped =
      ProtectedPackage::StartCopy(source_);
  ASSERT_TRUE(dropped);
  const base::FilePath folder = dropped->folder();
  dropped.reset();
  EXPECT_FALSE(base::PathExists(folder));
  // A copy whose package has a file its writer still holds at the end
  // fails as a whole copy does.
  std::unique_ptr<ProtectedPackage> held = ProtectedPackage::StartCopy(source_);
  ASSERT_TRUE(held);
  base::win::ScopedHandle writer(CreateFileW(
      base::as_wcstr(source_.Append(u"more\\unfinished").value()),
      GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr));
  ASSERT_TRUE(writer.IsValid());
  EXPECT_FALSE(held->FinishCopy());
}

TEST_F(ProtectedFolderTest, AFileIsMovedThroughOneHandleOrNotAtAll) {
  const base::FilePath target_folder = CreateProtectedFolder();
  const base::FilePath source = source_.Append(u"files_list");
  const base::FilePath target = target_folder.Append(u"k.bat");
  {
    // Still open for writing elsewhere: refused, nothing changes.
    base::win::ScopedHandle writer(
        CreateFileW(base::as_wcstr(source.value()), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.IsValid());
    EXPECT_FALSE(MoveFileWithoutLinks(source, target));
    EXPECT_TRUE(base::PathExists(source));
    EXPECT_FALSE(base::PathExists(target));
  }
  const base::FilePath linked = source_.Append(u"linked.bat");
  ASSERT_TRUE(CreateHardLinkW(base::as_wcstr(linked.value()),
                              base::as_wcstr(source.value()), nullptr));
  EXPECT_FALSE(MoveFileWithoutLinks(linked, target));
  EXPECT_FALSE(base::PathExists(target));
  ASSERT_TRUE(base::DeleteFileOrDirectory(linked, false));
  {
    // A target that is there already stays as it is, and so does the
    // source.
    const base::FilePath taken = target_folder.Append(u"taken.bat");
    ASSERT_TRUE(test::WriteTextFile(taken, "was here"));
    EXPECT_FALSE(MoveFileWithoutLinks(source, taken));
    EXPECT_EQ("was here", test::ReadFileContents(taken));
    EXPECT_TRUE(base::PathExists(source));
  }

  EXPECT_TRUE(MoveFileWithoutLinks(source, target));
  EXPECT_FALSE(base::PathExists(source));
  EXPECT_EQ("files_list", test::ReadFileContents(target));
}

// The package is used when this engine is unsigned (a development build)
// and, from a signed engine, only when its programs pass the signer check;
// the test host and the package's library here are unsigned.
TEST_F(ProtectedFolderTest, TheInstallerOfASignedEngineMustBeSigned) {
  std::unique_ptr<ProtectedPackage> package = ProtectedPackage::Copy(source_);
  ASSERT_TRUE(package);
  ASSERT_TRUE(base::CopyOneFile(base::FilePath(base::GetTestExecutableFolder() +
                                               u"installer_test_host.exe"),
                                package->installer()));
  internal::SetEngineSignedForTesting(0);
  std::string refusal;
  EXPECT_TRUE(package->Verify(&refusal));
  EXPECT_EQ("", refusal);
  internal::SetEngineSignedForTesting(1);
  EXPECT_FALSE(package->Verify(&refusal));
  EXPECT_NE(std::string::npos, refusal.find("a\\b\\deep.dll")) << refusal;
  // The test executable is unsigned.
  internal::SetEngineSignedForTesting(-1);
  EXPECT_FALSE(IsEngineSigned());
}

}  // namespace
}  // namespace installer
