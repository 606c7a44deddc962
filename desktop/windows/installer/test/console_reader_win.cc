// installer_console_reader.exe PROGRAM [ARGUMENTS...]: starts a program that
// opens a console of its own (the installer's help), reads what that
// console shows once a prompt stands on the cursor's row and the text stands
// still, prints it (one line per console row, trailing blanks removed) after
// a first line "width=<columns>", presses a key in the console, and ends
// with the program's exit code (100 and up when something failed here).

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 30000;
constexpr DWORD kPollMs = 50;
// The text counts as complete when a prompt stands on the cursor's row (the
// help ends with a line end; the pause that follows writes its prompt after
// it, once its interpreter has started, which a loaded machine may take
// seconds to do) and the text has not changed for this long.
constexpr DWORD kSettleMs = 1000;

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                       static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string utf8(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      utf8.data(), size, nullptr, nullptr);
  return utf8;
}

// The console's rows up to the cursor, trailing blanks removed.
bool ReadRows(HANDLE console, SHORT* width, std::vector<std::wstring>* rows) {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  if (!GetConsoleScreenBufferInfo(console, &info)) return false;
  *width = info.dwSize.X;
  rows->clear();
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    std::wstring row(info.dwSize.X, L' ');
    DWORD read = 0;
    if (!ReadConsoleOutputCharacterW(console, row.data(), info.dwSize.X, {0, y},
                                     &read)) {
      return false;
    }
    row.resize(read);
    row.erase(row.find_last_not_of(L' ') + 1);
    rows->push_back(row);
  }
  return true;
}

void PressKey() {
  HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) return;
  INPUT_RECORD records[2] = {};
  for (int i = 0; i < 2; ++i) {
    records[i].EventType = KEY_EVENT;
    records[i].Event.KeyEvent.bKeyDown = i == 0;
    records[i].Event.KeyEvent.wRepeatCount = 1;
    records[i].Event.KeyEvent.wVirtualKeyCode = VK_RETURN;
    records[i].Event.KeyEvent.uChar.UnicodeChar = L'\r';
  }
  DWORD written = 0;
  WriteConsoleInputW(input, records, 2, &written);
  CloseHandle(input);
}

int Run(const std::wstring& command_line, HANDLE output) {
  FreeConsole();
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION process = {};
  std::wstring writable = command_line;
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &process)) {
    return 100;
  }
  CloseHandle(process.hThread);
  // Wait until the program has its console.
  DWORD waited = 0;
  while (!AttachConsole(process.dwProcessId)) {
    if (waited >= kTimeoutMs ||
        WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 1);
      return 101;
    }
    waited += kPollMs;
  }
  HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
  SHORT width = 0;
  std::vector<std::wstring> rows;
  std::vector<std::wstring> previous;
  DWORD stable = 0;
  for (waited = 0; waited < kTimeoutMs && stable < kSettleMs;
       waited += kPollMs) {
    Sleep(kPollMs);
    if (!ReadRows(console, &width, &rows)) break;
    const bool prompted = !rows.empty() && !rows.back().empty();
    stable = (prompted && rows == previous) ? stable + kPollMs : 0;
    previous = rows;
  }
  CloseHandle(console);
  std::string text = "width=" + std::to_string(width) + "\n";
  for (const std::wstring& row : rows) text += ToUtf8(row) + "\n";
  DWORD written = 0;
  WriteFile(output, text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);

  PressKey();
  FreeConsole();
  if (WaitForSingleObject(process.hProcess, kTimeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    return 102;
  }
  DWORD exit_code = 103;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hProcess);
  return static_cast<int>(exit_code);
}

// The command line after this program's own name.
std::wstring ArgumentsAfterProgram() {
  const wchar_t* text = GetCommandLineW();
  bool quoted = false;
  for (; *text && (quoted || (*text != L' ' && *text != L'\t')); ++text) {
    if (*text == L'"') quoted = !quoted;
  }
  while (*text == L' ' || *text == L'\t') ++text;
  return text;
}

}  // namespace

int wmain() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  return Run(ArgumentsAfterProgram(), output);
}
