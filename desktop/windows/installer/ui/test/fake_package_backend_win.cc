// A stand-in for the package's own "installer.exe": started by the front
// end's installer runner with the backend's switches, it reports over the
// install folder's mailslot what the script beside it says, then ends.
//
// The script, "fake_backend.txt" in the program's folder, is one line:
// "<string id> <exit code>". A string id of 0 reports no error; otherwise
// an ERROR with that id, the install folder as its text and the detail
// "Could not create installation folder" follows the STARTED message.

#include <windows.h>

#include <memory>
#include <string>

#include "base/at_exit.h"
#include "base/base_paths.h"
#include "base/command_line.h"
#include "base/files/file_util.h"
#include "base/path_service.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_split.h"
#include "desktop/windows/installer/common/installer_switches.h"
#include "desktop/windows/installer/ipc/installer_message.h"
#include "desktop/windows/installer/ipc/ipc_sender.h"

namespace {

constexpr char16_t kScriptFileName[] = u"fake_backend.txt";
constexpr char kDetail[] = "Could not create installation folder";

}  // namespace

int main() {
  base::AtExitManager at_exit;
  base::CommandLine::Init();
  const base::CommandLine& command_line =
      *base::CommandLine::ForCurrentProcess();
  base::FilePath folder;
  base::PathService::Get(base::DIR_EXE, &folder);
  std::string script;
  if (!base::FileUtil::ReadFileToString(folder.Append(kScriptFileName),
                                        &script)) {
    return 2;
  }
  const std::vector<std::string> words =
      base::SplitString(script, " \r\n", base::SplitWhitespace::kTrim,
                        base::SplitFilter::kNonEmpty);
  unsigned string_id = 0;
  int exit_code = 0;
  if (words.size() != 2 || !base::StringToUint(words[0], &string_id) ||
      !base::StringToInt(words[1], &exit_code)) {
    return 2;
  }

  const std::u16string install_folder =
      command_line.GetSwitchValueNative(installer::switches::kInstallFolder);
  {
    installer::IpcSender sender;
    if (!sender.Connect(installer::kInstallerMailslotNamePrefix +
                        install_folder)) {
      return 2;
    }
    sender.Send(installer::BuildInstallerMessage(installer::kMessageStarted));
    if (string_id != 0) {
      sender.Send(
          installer::BuildErrorMessage(string_id, install_folder, kDetail));
    }
    // Destruction writes what is queued.
  }
  return exit_code;
}
