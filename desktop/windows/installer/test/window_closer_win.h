// WindowCloser: plays a user who quits every window a program shows, for
// tests that run installer.exe in its interactive role. While it lives, a
// thread of its own closes each visible top-level window of the processes
// running |program| (WM_CLOSE) and answers each of their message boxes
// with Yes, once per window.

#ifndef DESKTOP_WINDOWS_INSTALLER_TEST_WINDOW_CLOSER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_TEST_WINDOW_CLOSER_WIN_H_

#include <windows.h>

#include <atomic>
#include <set>
#include <thread>

#include "base/files/file_path.h"

namespace installer {
namespace test {

class WindowCloser {
 public:
  explicit WindowCloser(const base::FilePath& program);
  WindowCloser(const WindowCloser&) = delete;
  WindowCloser& operator=(const WindowCloser&) = delete;
  ~WindowCloser();

  // How many windows and message boxes it has closed.
  int closed() const { return closed_; }

 private:
  void Run();
  static BOOL CALLBACK Visit(HWND window, LPARAM data);

  const base::FilePath program_;
  std::set<HWND> seen_;
  std::atomic<bool> done_{false};
  std::atomic<int> closed_{0};
  std::thread thread_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_TEST_WINDOW_CLOSER_WIN_H_
