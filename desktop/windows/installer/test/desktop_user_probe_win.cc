// For the tests of what an elevated installer starts for its user. With
// "--take-shell-window=<event name> <process id>" it is the desktop's shell,
// which the test system lacks: it takes the shell window, sets the named
// event (exit code 1 when it cannot), and serves its window until the
// process of that id ends. Otherwise it stands in for a launcher: it
// appends "elevated=<0|1>", its token's elevation, to "<its path>.ran".

#include <stdlib.h>
#include <windows.h>

#include <string>

// user32 exports it; the headers do not declare it.
extern "C" BOOL WINAPI SetShellWindow(HWND window);

namespace {

constexpr wchar_t kTakeShellWindow[] = L"--take-shell-window=";

int TakeShellWindow(const wchar_t* event_name, DWORD until_ends) {
  HANDLE until = OpenProcess(SYNCHRONIZE, FALSE, until_ends);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.lpszClassName = L"VelnaTestDesktopShell";
  const HWND window =
      RegisterClassW(&window_class)
          ? CreateWindowW(window_class.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0,
                          nullptr, nullptr, nullptr, nullptr)
          : nullptr;
  HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, event_name);
  if (!until || !window || !SetShellWindow(window) || !SetEvent(event))
    return 1;
  // The installer's broadcasts reach its window.
  while (MsgWaitForMultipleObjects(1, &until, FALSE, INFINITE, QS_ALLINPUT) ==
         WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
      DispatchMessageW(&message);
  }
  return 0;
}

int RecordElevation() {
  HANDLE token = nullptr;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  wchar_t path[MAX_PATH] = {};
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) ||
      !GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation),
                           &size) ||
      !GetModuleFileNameW(nullptr, path, MAX_PATH)) {
    return 1;
  }
  const std::string line =
      elevation.TokenIsElevated ? "elevated=1\r\n" : "elevated=0\r\n";
  const HANDLE record =
      CreateFileW((std::wstring(path) + L".ran").c_str(), FILE_APPEND_DATA,
                  FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
  DWORD written = 0;
  return record != INVALID_HANDLE_VALUE &&
                 WriteFile(record, line.data(), static_cast<DWORD>(line.size()),
                           &written, nullptr)
             ? 0
             : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const size_t prefix = wcslen(kTakeShellWindow);
  if (argc == 3 && wcsncmp(argv[1], kTakeShellWindow, prefix) == 0)
    return TakeShellWindow(argv[1] + prefix, wcstoul(argv[2], nullptr, 10));
  return RecordElevation();
}
