// The backend half of the error page's way to the user: a package backend
// (the fake one beside the tests, copied as the package's "installer.exe")
// reports its error over the install folder's mailslot and ends with a
// failing code. The front end's real installer runner, which turns these
// into the UI controller's calls, is not part of this build yet; the
// controller's handling of the same calls is the German error page test.

#include <windows.h>

#include <memory>
#include <string>

#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/message_loop/message_loop.h"
#include "base/observer_list.h"
#include "base/process/launch.h"
#include "base/process/process.h"
#include "base/test/child_process_win.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_receiver.h"
#include "desktop/windows/installer/test/installation_test_util.h"
#include "desktop/windows/installer/test/recording_installer_observer.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Hands every message of the mailslot to the recording observer.
class MessageRelay : public IpcReceiver::Delegate {
 public:
  explicit MessageRelay(test::RecordingInstallerObserver* observer) {
    observers_.AddObserver(observer);
  }
  void OnMessageReceived(const base::Pickle& pickle) override {
    InstallerMessage message;
    if (ParseInstallerMessage(pickle, &message))
      NotifyInstallerMessage(message, &observers_);
  }

 private:
  base::ObserverList<InstallerObserver> observers_;
};

TEST(PackageBackendChannelTest, ErrorReachesTheFrontEndBeforeTheEnd) {
  base::MessageLoop loop(base::MessageLoop::TYPE_UI);
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath package = dir.GetPath().Append(u"package");
  const base::FilePath folder = dir.GetPath().Append(u"Nicht erstellt");
  const base::FilePath backend = package.Append(u"installer.exe");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(package));
  ASSERT_TRUE(
      base::CopyOneFile(base::FilePath(base::GetTestExecutableFolder() +
                                       u"installer_ui_fake_backend.exe"),
                        backend));

  const struct {
    const char* script;
    int exit_code;
    std::vector<std::string> events;
  } cases[] = {
      {"37059 1",
       1,
       {"Started", "Error(37059," + folder.AsUTF8() +
                       ",Could not create installation folder)"}},
      {"0 3", 3, {"Started"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    ASSERT_TRUE(
        test::WriteTextFile(package.Append(u"fake_backend.txt"), c.script));
    test::RecordingInstallerObserver observer;
    MessageRelay relay(&observer);
    IpcReceiver receiver(&relay);
    ASSERT_TRUE(
        receiver.Connect(kInstallerMailslotNamePrefix + folder.value()));
    // The receiver creates the mailslot on its thread: wait for it.
    ASSERT_TRUE(test::RunUiUntil([&folder] {
      HANDLE probe = CreateFileW(
          reinterpret_cast<const wchar_t*>(
              (std::u16string(kMailslotPathPrefix) +
               kInstallerMailslotNamePrefix + folder.value())
                  .c_str()),
          GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
      if (probe == INVALID_HANDLE_VALUE) return false;
      CloseHandle(probe);
      return true;
    }));
    base::LaunchOptions options;
    base::Process process = base::LaunchProcess(
        u"\"" + backend.value() + u"\" --backend --installfolder=\"" +
            folder.value() + u"\"",
        options);
    ASSERT_TRUE(process.IsValid());
    int exit_code = -1;
    ASSERT_TRUE(process.WaitForExitWithTimeout(60000, &exit_code));
    EXPECT_EQ(c.exit_code, exit_code);
    bool flushed = false;
    receiver.Flush(
        base::Bind([](bool* flushed) { *flushed = true; }, &flushed));
    ASSERT_TRUE(test::RunUiUntil([&flushed] { return flushed; }));
    EXPECT_EQ(c.events, observer.events());
    receiver.Close();
  }
}

}  // namespace
}  // namespace installer
