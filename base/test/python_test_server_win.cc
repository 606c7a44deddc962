#include "base/test/python_test_server_win.h"

#include <windows.h>

#include <utility>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/threading/platform_thread.h"
#include "base/time/time.h"

namespace base {

namespace {

// Wine starts a Linux program given by its path on the drive that maps the
// Linux root.
constexpr char16_t kPython[] = u"Z:\\usr\\bin\\python3";

std::u16string Quote(const std::string& text) {
  return u"\"" + UTF8ToUTF16(text) + u"\"";
}

// Polls every 20 ms until |condition| holds or |limit| has passed.
template <typename Condition>
bool WaitFor(Condition condition, TimeDelta limit) {
  const TimeTicks deadline = TimeTicks::Now() + limit;
  while (!condition()) {
    if (TimeTicks::Now() > deadline) return false;
    PlatformThread::Sleep(TimeDelta::FromMilliseconds(20));
  }
  return true;
}

}  // namespace

std::string GetWineUnixPath(const FilePath& path) {
  using ToUnixFunction = char*(__cdecl*)(const wchar_t*);
  auto to_unix =
      reinterpret_cast<ToUnixFunction>(reinterpret_cast<void*>(::GetProcAddress(
          ::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!to_unix) return std::string();
  char* unix_path = to_unix(as_wcstr(path.value()));
  if (!unix_path) return std::string();
  std::string result(unix_path);
  ::HeapFree(::GetProcessHeap(), 0, unix_path);
  return result;
}

PythonTestServer::PythonTestServer(std::string script)
    : script_(std::move(script)) {}

PythonTestServer::~PythonTestServer() { Stop(); }

bool PythonTestServer::CreateStateDir() {
  return state_dir_.CreateUniqueTempDir();
}

bool PythonTestServer::Start(const std::u16string& arguments) {
  if (running_ || (!state_dir_.IsValid() && !CreateStateDir())) return false;
  const std::string unix_state_dir = GetWineUnixPath(state_dir_.GetPath());
  if (unix_state_dir.empty()) {
    LOG(ERROR) << "Not running under Wine: no Linux path for the server";
    return false;
  }
  std::u16string command = std::u16string(kPython) + u" " + Quote(script_) +
                           u" --state-dir " + Quote(unix_state_dir) + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, as_writable_wcstr(command), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &process)) {
    PLOG(ERROR) << "Cannot start the test server";
    return false;
  }
  // For a Linux program Wine returns no real handles: hProcess is null and
  // hThread holds a stale value that may name another handle of this
  // process (closing it once closed WinINet's URL-cache mutex in the middle
  // of a download). Neither is closed; the server ends through its stop
  // file.
  running_ = true;

  const FilePath port_file = state_dir_.GetPath().AppendASCII("port");
  std::string port_text;
  if (!WaitFor(
          [&] {
            return FileUtil::ReadFileToString(port_file, &port_text) &&
                   StringToInt(port_text, &port_) && port_ > 0;
          },
          TimeDelta::FromSeconds(30))) {
    LOG(ERROR) << "The test server did not start";
    Stop();
    return false;
  }
  return true;
}

bool PythonTestServer::Stop() {
  if (!running_) return true;
  running_ = false;
  const FilePath stop = state_dir_.GetPath().AppendASCII("stop");
  WriteBufferToFile(stop, "stop", 4);
  const FilePath stopped = state_dir_.GetPath().AppendASCII("stopped");
  const bool ended =
      WaitFor([&] { return PathExists(stopped); }, TimeDelta::FromSeconds(10));
  state_dir_.Delete();
  return ended;
}

}  // namespace base
