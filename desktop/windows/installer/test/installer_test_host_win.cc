// A helper program for the installer's tests, started as a child process.
// "--host-mode" chooses what it does:
//   download-folder  prints the folder GetTempInstallerFolder() finds for
//                    "--folder-name" with "--test-program" (or "failed");
//   wait             waits up to a minute, for a test to end it;
//   exit             ends at once with "--exit-code";
//   master-shortcut  makes the Installer's master shortcut (see
//                    installer_test_host.h).
// Without a mode it runs the installer engine with the seams that the
// environment variable VELNA_TEST_INSTALLER_SEAMS names, when it is set
// (installer_test_host.h);
// otherwise it records its own command line, as UTF-8, into the file that
// the environment variable VELNA_TEST_HOST_RECORD names (or, when that ends
// with a separator, into that folder's "<program file name>.txt"): a
// stand-in for a program the installer starts.

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "base/bind.h"
#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/important_file_writer.h"
#include "base/json/json_reader.h"
#include "base/logging.h"
#include "base/message_loop/message_loop.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/values.h"
#include "base/win/scoped_com_initializer.h"
#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/common/branding_config.h"
#include "desktop/windows/installer/core/installer.h"
#include "desktop/windows/installer/download_folder_win.h"
#include "desktop/windows/installer/installer_main.h"
#include "desktop/windows/installer/service/transactions/copy_file_operation.h"
#include "desktop/windows/installer/test/installer_test_host.h"
#include "desktop/windows/installer/test/test_host_seams_win.h"
#include "desktop/windows/installer/test/test_installer_steps.h"

namespace {

using namespace installer::test;

void Print(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(),
            static_cast<DWORD>(text.size()), &written, nullptr);
}

int PrintDownloadFolder(const base::CommandLine& command_line) {
  base::FilePath folder;
  if (!installer::GetTempInstallerFolder(
          command_line.GetSwitchValueNative(kHostFolderName),
          command_line.GetSwitchValuePath(kHostTestProgram), &folder)) {
    Print("failed");
    return 1;
  }
  Print(folder.AsUTF8());
  return 0;
}

void RecordOwnLinks() {
  wchar_t path[MAX_PATH] = {};
  wchar_t program[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(kHostRecordLinksVariable, path, MAX_PATH) ||
      !GetModuleFileNameW(nullptr, program, MAX_PATH)) {
    return;
  }
  HANDLE file =
      CreateFileW(program, FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool known =
      file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &info);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  const std::string text = known ? std::to_string(info.nNumberOfLinks) : "?";
  base::WriteBufferToFile(base::FilePath(base::as_u16cstr(path)), text.data(),
                          static_cast<int>(text.size()));
}

int RecordCommandLine() {
  RecordOwnLinks();
  wchar_t path[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(kHostRecordVariable, path, MAX_PATH)) return 2;
  const std::string text =
      base::UTF16ToUTF8(base::as_u16cstr(GetCommandLineW()));
  base::FilePath record(base::as_u16cstr(path));
  // A folder (with its trailing separator) collects one file per program.
  if (!record.value().empty() &&
      base::FilePath::IsSeparator(record.value().back())) {
    wchar_t program[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    record = record.Append(
        base::FilePath(base::as_u16cstr(program)).BaseName().value() + u".txt");
  }
  if (base::WriteBufferToFile(record, text.data(),
                              static_cast<int>(text.size())) !=
      static_cast<int>(text.size())) {
    return 3;
  }
  wchar_t value[MAX_PATH] = {};
  if (GetEnvironmentVariableW(kHostReleaseEventVariable, value, MAX_PATH)) {
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, value);
    if (release) {
      WaitForSingleObject(release, 60000);
      CloseHandle(release);
    }
  }
  unsigned code = 0;
  if (GetEnvironmentVariableW(kHostExitCodeVariable, value, MAX_PATH))
    base::StringToUint(base::UTF16ToUTF8(base::as_u16cstr(value)), &code);
  return static_cast<int>(code);
}

std::string* g_log_lines = nullptr;

bool CollectLogLine(logging::LogSeverity severity, const char* file, int line,
                    size_t message_start, const std::string& text) {
  g_log_lines->append(text.substr(message_start));
  return true;
}

int MakeMasterShortcut(const base::CommandLine& command_line) {
  std::string log;
  g_log_lines = &log;
  logging::SetMinLogLevel(-1);
  logging::SetLogMessageHandler(&CollectLogLine);
  base::MessageLoop message_loop;
  base::win::ScopedComInitializer com;
  installer::Installer installer;
  base::FilePath copy;
  std::vector<installer::Installer::ShortcutLocation> locations = {
      {command_line.GetSwitchValuePath(kHostLocation), &copy}};
  bool with_version = false;
  const bool created = installer.CreateMasterShortcut(
      &locations, command_line.HasSwitch(kHostPin), &with_version,
      command_line.GetSwitchValuePath(kHostTarget));
  Print(std::string("created=") + (created ? "1" : "0") + " with_version=" +
        (with_version ? "1" : "0") + " copy=" + copy.AsUTF8() + "\n" + log);
  // The copy is an operation of the Installer's transaction: it stays.
  return 0;
}

// Sets the test's event |name| and waits to be ended from outside, as a
// process that is killed there; should that never come, ends itself.
void StopForGood(const std::u16string& name) {
  LOG(INFO) << "Stopping here for the test";
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, base::as_wcstr(name));
  if (event) {
    SetEvent(event);
    CloseHandle(event);
  }
  Sleep(120000);
  TerminateProcess(GetCurrentProcess(), 9);
}

// Sets the test's event |name| and waits (up to two minutes) until the test
// sets |resume|.
void PauseForTest(const std::u16string& name, const std::u16string& resume) {
  LOG(INFO) << "Pausing here for the test";
  base::win::ScopedHandle resumed(
      ::OpenEventW(SYNCHRONIZE, FALSE, base::as_wcstr(resume)));
  HANDLE stopped =
      ::OpenEventW(EVENT_MODIFY_STATE, FALSE, base::as_wcstr(name));
  if (stopped) {
    ::SetEvent(stopped);
    ::CloseHandle(stopped);
  }
  if (resumed.IsValid()) ::WaitForSingleObject(resumed.Get(), 120000);
}

// Where the writes stop: the first atomic write, or replacement by a copy,
// of a file whose name starts with |g_stop_write_prefix|, once its
// temporary file is written.
std::u16string* g_stop_write_prefix = nullptr;
std::u16string* g_stop_write_event = nullptr;

void StopInWrite(const base::FilePath& temp_path, const base::FilePath& path) {
  const std::u16string name = path.BaseName().value();
  if (name.size() >= g_stop_write_prefix->size() &&
      base::FilePath::CompareIgnoreCase(
          name.substr(0, g_stop_write_prefix->size()), *g_stop_write_prefix) ==
          0) {
    StopForGood(*g_stop_write_event);
  }
}

// Where the run stops, or with |g_stop_log_resume| pauses: at a log line
// that holds |g_stop_log_text|.
std::string* g_stop_log_text = nullptr;
std::u16string* g_stop_log_event = nullptr;
std::u16string* g_stop_log_resume = nullptr;

bool StopAtLogLine(logging::LogSeverity severity, const char* file, int line,
                   size_t message_start, const std::string& text) {
  if (text.find(*g_stop_log_text, message_start) == std::string::npos)
    return false;
  if (g_stop_log_resume->empty())
    StopForGood(*g_stop_log_event);
  else
    PauseForTest(*g_stop_log_event, *g_stop_log_resume);
  return false;
}

// Where a run stops: before the step at an index of the step list, or
// (a negative index) when the run reports success, after the last step's
// work and before its commit. It sets |event| there and stops for good
// (see StopForGood) or, with |resume_event|, only pauses until the test
// sets that.
struct StopPoint {
  int before_step = -1;
  std::u16string event;
  std::u16string resume_event;
};

// Stops the package's backend (or an uninstaller) at chosen points of the
// real step lists.
class StoppingStepFactory : public installer::InstallerStepFactory,
                            public installer::InstallerObserver {
 public:
  explicit StoppingStepFactory(std::vector<StopPoint> points)
      : points_(std::move(points)) {}

  std::vector<base::Closure> BuildSteps(
      installer::Installer* installer,
      installer::InstallationOperation operation) override {
    std::vector<base::Closure> steps =
        installer::internal::GetDefaultInstallerStepFactory()->BuildSteps(
            installer, operation);
    for (const StopPoint& point : points_) {
      if (point.before_step < 0) {
        installer->AddObserver(this);
      } else if (static_cast<size_t>(point.before_step) < steps.size()) {
        steps[point.before_step] = base::Bind(&StoppingStepFactory::Stop, this,
                                              point, steps[point.before_step]);
      }
    }
    return steps;
  }

  void OnSuccess() override {
    for (const StopPoint& point : points_) {
      if (point.before_step < 0) Stop(point, base::Closure());
    }
  }
  void OnStarted() override {}
  void OnStartingNewMainProcess(bool) override {}
  void OnReturnedToPreviousMainProcess() override {}
  void OnTotalSteps(uint32_t) override {}
  void OnStep() override {}
  void OnError(uint32_t, const std::u16string&, const std::string&) override {}
  void OnInstallerTerminated(bool) override {}

 private:
  // Stops at |point|, then runs |paused_step| when there is one.
  void Stop(const StopPoint& point, const base::Closure& paused_step) {
    if (point.resume_event.empty()) {
      StopForGood(point.event);
      return;
    }
    PauseForTest(point.event, point.resume_event);
    if (!paused_step.is_null()) paused_step.Run();
  }

  const std::vector<StopPoint> points_;
};

// A stop point of the seams; false when it is malformed.
bool ReadStopPoint(const base::DictionaryValue& stop, StopPoint* point) {
  bool at_success = false;
  stop.GetString("resume_event", &point->resume_event);
  return stop.GetString("event", &point->event) &&
         (stop.GetInteger("before_step", &point->before_step) ||
          (stop.GetBoolean("at_success", &at_success) && at_success));
}

// Installs the seams of the file |path| names. False when it cannot be
// read or parsed.
bool InstallSeams(const base::FilePath& path) {
  std::string text;
  if (!base::FileUtil::ReadFileToString(path, &text)) return false;
  std::unique_ptr<base::Value> root = base::JSONReader::Read(text);
  base::DictionaryValue* seams = nullptr;
  if (!root || !root->GetAsDictionary(&seams)) return false;
  base::DictionaryValue* branding = nullptr;
  if (seams->GetDictionary("branding", &branding)) {
    for (base::DictionaryValue::Iterator it(*branding); !it.IsAtEnd();
         it.Advance()) {
      installer::BrandingConfig::OverrideForTesting(
          it.key(), it.value().CreateDeepCopy());
    }
  }
  if (!installer::test::InstallHostSeams(*seams)) return false;
  const base::ListValue* list = nullptr;
  if (seams->GetList("steps", &list)) {
    std::vector<installer::test::TestStep> steps;
    if (!installer::test::ParseTestSteps(*list, &steps)) return false;
    // Lives as long as the process: the engine's Installer uses it.
    static installer::test::TestStepFactory* factory =
        new installer::test::TestStepFactory(std::move(steps));
    installer::internal::SetInstallerStepFactoryForTesting(factory);
  }
  const base::DictionaryValue* stop = nullptr;
  const base::ListValue* stops = nullptr;
  std::vector<StopPoint> points;
  if (seams->GetDictionary("stop", &stop)) {
    std::u16string write_prefix;
    if (stop->GetString("during_write", &write_prefix) &&
        !write_prefix.empty()) {
      std::u16string event;
      if (!stop->GetString("event", &event)) return false;
      // Live as long as the process: any thread may write.
      g_stop_write_prefix = new std::u16string(write_prefix);
      g_stop_write_event = new std::u16string(event);
      base::internal::SetBeforeRenameHookForTesting(&StopInWrite);
      installer::internal::SetBeforeReplaceHookForTesting(&StopInWrite);
      return true;
    }
    if (stop->GetString("between_renames", &write_prefix) &&
        !write_prefix.empty()) {
      std::u16string event;
      if (!stop->GetString("event", &event)) return false;
      g_stop_write_prefix = new std::u16string(write_prefix);
      g_stop_write_event = new std::u16string(event);
      installer::internal::SetBetweenRenamesHookForTesting(&StopInWrite);
      return true;
    }
    std::string log_text;
    if (stop->GetString("at_log", &log_text) && !log_text.empty()) {
      std::u16string event;
      if (!stop->GetString("event", &event)) return false;
      // Live as long as the process: any thread may log.
      g_stop_log_text = new std::string(log_text);
      g_stop_log_event = new std::u16string(event);
      g_stop_log_resume = new std::u16string();
      stop->GetString("resume_event", g_stop_log_resume);
      // The line may be a verbose one.
      logging::SetMinLogLevel(-1);
      logging::SetLogMessageHandler(&StopAtLogLine);
      return true;
    }
    points.emplace_back();
    if (!ReadStopPoint(*stop, &points.back())) return false;
  } else if (seams->GetList("stop", &stops)) {
    for (size_t i = 0; i < stops->GetSize(); ++i) {
      points.emplace_back();
      if (!stops->GetDictionary(i, &stop) ||
          !ReadStopPoint(*stop, &points.back())) {
        return false;
      }
    }
  }
  if (!points.empty()) {
    static StoppingStepFactory* stopping =
        new StoppingStepFactory(std::move(points));
    installer::internal::SetInstallerStepFactoryForTesting(stopping);
  }
  return true;
}

int RunEngine(const base::FilePath& seams) {
  if (!InstallSeams(seams) || !installer::test::InstallUnelevatedRights())
    return 4;
  return installer::RunInstallerMain() ? 0 : 1;
}

int Run(const base::CommandLine& command_line) {
  const std::string mode = command_line.GetSwitchValueASCII(kHostMode);
  if (mode == kHostModeDownloadFolder) return PrintDownloadFolder(command_line);
  if (mode == kHostModeWait) {
    Sleep(60000);
    return 0;
  }
  if (mode == kHostModeMasterShortcut) return MakeMasterShortcut(command_line);
  if (mode == kHostModeExit) {
    unsigned code = 0;
    base::StringToUint(command_line.GetSwitchValueASCII(kHostExitCode), &code);
    return static_cast<int>(code);
  }
  wchar_t seams[MAX_PATH] = {};
  if (GetEnvironmentVariableW(kHostSeamsVariable, seams, MAX_PATH))
    return RunEngine(base::FilePath(base::as_u16cstr(seams)));
  return RecordCommandLine();
}

}  // namespace

int main() {
  base::CommandLine::Init();
  ExitProcess(static_cast<UINT>(Run(*base::CommandLine::ForCurrentProcess())));
}
