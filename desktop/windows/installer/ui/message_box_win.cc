#include "desktop/windows/installer/ui/message_box_win.h"

#include <iterator>
#include <utility>
#include <vector>

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

// A right-to-left embedding: the text between the two reads right to left.
constexpr char16_t kRightToLeftEmbedding = u'\u202B';
constexpr char16_t kPopDirectionalFormatting = u'\u202C';

// Set for the call of a box that reads right to left: the box's owner.
struct MirroredBox {
  bool wanted = false;
  HWND owner = nullptr;
};
thread_local MirroredBox g_mirrored_box;

bool IsMessageBox(HWND window) {
  wchar_t name[8] = {};
  return GetClassNameW(window, name, std::size(name)) &&
         lstrcmpW(name, L"#32770") == 0 &&
         GetWindow(window, GW_OWNER) == g_mirrored_box.owner;
}

// Lays |box| out from the right, as Windows creates a box that reads right
// to left; some systems only align its text. Every control keeps its place
// in the box's coordinates, which the mirrored box shows from the right,
// and takes the box's layout as a control created in it would.
void Mirror(HWND box) {
  std::vector<std::pair<HWND, RECT>> controls;
  for (HWND child = GetWindow(box, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
    controls.emplace_back(child, rect);
  }
  constexpr UINT kFrameChanged =
      SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_NOSIZE;
  SetWindowLongPtrW(box, GWL_EXSTYLE,
                    GetWindowLongPtrW(box, GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
  SetWindowPos(box, nullptr, 0, 0, 0, 0, kFrameChanged | SWP_NOMOVE);
  for (const auto& [control, rect] : controls) {
    SetWindowLongPtrW(
        control, GWL_EXSTYLE,
        GetWindowLongPtrW(control, GWL_EXSTYLE) | WS_EX_LAYOUTRTL);
    SetWindowPos(control, nullptr, rect.left, rect.top, 0, 0, kFrameChanged);
  }
}

LRESULT CALLBACK MessageBoxHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE) {
    HWND box = reinterpret_cast<HWND>(wparam);
    for (const auto& entry : kButtonTexts) {
      const std::u16string text = RcL10nHandler::GetString(entry.string_id);
      // A box without this button: nothing to rename.
      if (!text.empty() && GetDlgItem(box, entry.button))
        SetDlgItemTextW(box, entry.button, base::as_wcstr(text));
    }
    // Once, when the box is first shown with its controls in place.
    if (g_mirrored_box.wanted && IsMessageBox(box) &&
        (GetWindowLongPtrW(box, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) == 0) {
      Mirror(box);
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

}  // namespace

int ShowLocalizedMessageBox(HWND owner, const std::u16string& text,
                            const std::u16string& caption, UINT type) {
  HHOOK hook =
      SetWindowsHookExW(WH_CBT, &MessageBoxHook, nullptr, GetCurrentThreadId());
  if (!hook) PLOG(ERROR) << "Could not hook the message box";
  // Some systems draw a box's texts left to right whatever the flag says:
  // embedded, they read right to left everywhere.
  const bool right_to_left = (type & MB_RTLREADING) != 0;
  const std::u16string shown_text =
      right_to_left ? kRightToLeftEmbedding + text + kPopDirectionalFormatting
                    : text;
  const std::u16string shown_caption =
      right_to_left
          ? kRightToLeftEmbedding + caption + kPopDirectionalFormatting
          : caption;
  g_mirrored_box = {right_to_left, owner};
  const int result = MessageBoxW(owner, base::as_wcstr(shown_text),
                                 base::as_wcstr(shown_caption), type);
  g_mirrored_box = {};
  if (hook) UnhookWindowsHookEx(hook);
  return result;
}

}  // namespace installer
