// The installer's message boxes: MessageBoxW whose Yes, No and OK buttons
// carry the texts of the current language (strings 37003, 37004, 37001)
// instead of the system's. UI thread.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_MESSAGE_BOX_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_MESSAGE_BOX_WIN_H_

#include <windows.h>

#include <string>

namespace installer {

// Shows the box (|owner| may be null) and returns MessageBoxW's answer. A
// CBT hook of the calling thread renames the buttons when the box is
// activated, and with MB_RTLREADING lays the box out from the right (icon
// and buttons mirrored) where the system has not, with its texts embedded
// in a right-to-left run; it is removed when the box has closed.
int ShowLocalizedMessageBox(HWND owner, const std::u16string& text,
                            const std::u16string& caption, UINT type);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_MESSAGE_BOX_WIN_H_
