#include "desktop/windows/installer/ui/test/ui_script_win.h"

#include "base/bind.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/time/time.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

namespace {
constexpr int kCheckMilliseconds = 10;
}  // namespace

UIScript::UIScript() = default;

UIScript::~UIScript() = default;

UIScript& UIScript::Then(const std::string& name, std::function<bool()> ready,
                         std::function<void()> action) {
  steps_.push_back({name, std::move(ready), std::move(action)});
  return *this;
}

void UIScript::Start(std::function<void()> give_up, int step_timeout_ms) {
  give_up_ = std::move(give_up);
  step_timeout_ms_ = step_timeout_ms;
  step_started_ = GetTickCount();
  ScheduleCheck();
}

void UIScript::ScheduleCheck() {
  base::MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION,
      base::Bind(&UIScript::Check, weak_factory_.GetWeakPtr()),
      base::TimeDelta::FromMilliseconds(kCheckMilliseconds));
}

void UIScript::Check() {
  if (finished()) return;
  Step& step = steps_[next_];
  if (step.ready && !step.ready()) {
    if (GetTickCount() - step_started_ > static_cast<DWORD>(step_timeout_ms_)) {
      ADD_FAILURE() << "Timed out waiting for step \"" << step.name << "\"";
      next_ = steps_.size();
      if (give_up_) give_up_();
      return;
    }
    ScheduleCheck();
    return;
  }
  ++next_;
  step_started_ = GetTickCount();
  if (step.action) step.action();
  ScheduleCheck();
}

void PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void PostChooseEntry(HWND dialog, int id, int index) {
  HWND combo = GetDlgItem(dialog, id);
  SendMessageW(combo, CB_SETCURSEL, index, 0);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

void PostTyping(HWND window, const std::u16string& text) {
  for (char16_t c : text) PostMessageW(window, WM_CHAR, c, 1);
}

}  // namespace test
}  // namespace installer
