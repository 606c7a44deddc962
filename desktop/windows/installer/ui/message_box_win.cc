#include "desktop/windows/installer/ui/message_box_win.h"

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// The button ids of a message box and their texts.
constexpr struct {
  int button;
  uint32_t string_id;
} kButtonTexts[] = {
    {IDYES, kIdsYes},
    {IDNO, kIdsNo},
    {IDOK, kIdsOk},
};

LRESULT CALLBACK RenameButtonsHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    for (const auto& entry : kButtonTexts) {
      const std::u16string text = RcL10nHandler::GetString(entry.string_id);
      // A box without this button: nothing to rename.
      if (!text.empty() && GetDlgItem(box, entry.button))
        SetDlgItemTextW(box, entry.button, base::as_wcstr(text));
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

int ShowLocalizedMessageBox(HWND owner, const std::u16string& text,
                            const std::u16string& caption, UINT type) {
  HHOOK hook = SetWindowsHookExW(WH_CBT, &RenameButtonsHook, nullptr,
                                 GetCurrentThreadId());
  if (!hook) PLOG(ERROR) << "Could not hook the message box";
  const int result =
      MessageBoxW(owner, base::as_wcstr(text), base::as_wcstr(caption), type);
  if (hook) UnhookWindowsHookEx(hook);
  return result;
}

}  // namespace installer
