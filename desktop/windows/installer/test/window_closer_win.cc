#include "desktop/windows/installer/test/window_closer_win.h"

#include "base/strings/string_util_win.h"
#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

namespace {
// The message of a message box is the static with this id.
constexpr int kMessageBoxTextId = 0xFFFF;
constexpr DWORD kPollMilliseconds = 20;
}  // namespace

WindowCloser::WindowCloser(const base::FilePath& program)
    : program_(program), thread_([this] { Run(); }) {}

WindowCloser::~WindowCloser() {
  done_ = true;
  thread_.join();
}

void WindowCloser::Run() {
  while (!done_) {
    EnumWindows(&WindowCloser::Visit, reinterpret_cast<LPARAM>(this));
    Sleep(kPollMilliseconds);
  }
}

// static
BOOL CALLBACK WindowCloser::Visit(HWND window, LPARAM data) {
  auto* self = reinterpret_cast<WindowCloser*>(data);
  if (!IsWindowVisible(window) || self->seen_.count(window)) return TRUE;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  base::win::ScopedHandle process(
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  wchar_t image[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (!process.IsValid() ||
      !QueryFullProcessImageNameW(process.Get(), 0, image, &size) ||
      base::FilePath::CompareIgnoreCase(base::as_u16cstr(image),
                                        self->program_.value()) != 0) {
    return TRUE;
  }
  // Once per window: a message box is answered, a window closed.
  self->seen_.insert(window);
  if (GetDlgItem(window, kMessageBoxTextId))
    PostMessageW(window, WM_COMMAND, IDYES, 0);
  else
    PostMessageW(window, WM_CLOSE, 0, 0);
  ++self->closed_;
  return TRUE;
}

}  // namespace test
}  // namespace installer
