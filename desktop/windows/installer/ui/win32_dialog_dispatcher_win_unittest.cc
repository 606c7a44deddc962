#include "desktop/windows/installer/ui/win32_dialog_dispatcher_win.h"

#include <thread>
#include <vector>

#include "base/at_exit.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG;
}

// The installer's main dialog with no behaviour of its own: controls and
// their tab order as the template makes them.
class PlainDialog {
 public:
  PlainDialog() {
    LoadLibraryW(L"Msftedit.dll");
    dialog_ = CreateDialogParamW(GetModuleHandleW(nullptr),
                                 MAKEINTRESOURCEW(kMainDialogId), nullptr,
                                 &PlainDialogProc, 0);
  }
  ~PlainDialog() { DestroyWindow(dialog_); }
  HWND get() const { return dialog_; }

 private:
  HWND dialog_ = nullptr;
};

MSG KeyDown(HWND target, WPARAM key) {
  MSG msg = {};
  msg.hwnd = target;
  msg.message = WM_KEYDOWN;
  msg.wParam = key;
  msg.lParam = 1;
  return msg;
}

TEST(Win32DialogDispatcherTest, OneInstanceForEveryThread) {
  base::AtExitManager at_exit;
  std::vector<Win32DialogDispatcher*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back(
        [&seen, i] { seen[i] = Win32DialogDispatcher::GetInstance(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (Win32DialogDispatcher* instance : seen)
    EXPECT_EQ(Win32DialogDispatcher::GetInstance(), instance);
}

TEST(Win32DialogDispatcherTest, ReleaseForgetsOnlyTheCurrentDialog) {
  base::AtExitManager at_exit;
  Win32DialogDispatcher* dispatcher = Win32DialogDispatcher::GetInstance();
  EXPECT_EQ(nullptr, dispatcher->current_dialog());
  PlainDialog first, second;
  dispatcher->Select(first.get());
  // A dialog that is not current goes away: the current one stays.
  dispatcher->Release(second.get());
  EXPECT_EQ(first.get(), dispatcher->current_dialog());
  dispatcher->Select(second.get());
  EXPECT_EQ(second.get(), dispatcher->current_dialog());
  dispatcher->Release(second.get());
  EXPECT_EQ(nullptr, dispatcher->current_dialog());
}

TEST(Win32DialogDispatcherTest, NavigationKeysGoToTheCurrentDialog) {
  base::AtExitManager at_exit;
  Win32DialogDispatcher* dispatcher = Win32DialogDispatcher::GetInstance();
  PlainDialog dialog;
  ASSERT_TRUE(dialog.get());
  ShowWindow(dialog.get(), SW_SHOW);
  HWND options = GetDlgItem(dialog.get(), controls::kOptionsButton);
  SetFocus(options);
  ASSERT_EQ(options, GetFocus());

  // No dialog current: the message is translated and dispatched as usual,
  // and the focus stays.
  const MSG tab = KeyDown(options, VK_TAB);
  EXPECT_EQ(Win32DialogDispatcher::POST_DISPATCH_PERFORM_DEFAULT,
            dispatcher->Dispatch(tab));
  EXPECT_EQ(options, GetFocus());

  // The current dialog consumes Tab and moves the focus on.
  dispatcher->Select(dialog.get());
  EXPECT_EQ(Win32DialogDispatcher::POST_DISPATCH_NONE,
            dispatcher->Dispatch(tab));
  EXPECT_NE(options, GetFocus());
  EXPECT_TRUE(IsChild(dialog.get(), GetFocus()));

  // A message for a window outside the dialog is not the dialog's.
  const MSG outside = KeyDown(nullptr, VK_TAB);
  EXPECT_EQ(Win32DialogDispatcher::POST_DISPATCH_PERFORM_DEFAULT,
            dispatcher->Dispatch(outside));
  dispatcher->Release(dialog.get());
}

}  // namespace
}  // namespace installer
