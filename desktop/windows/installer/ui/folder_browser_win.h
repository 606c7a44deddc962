// The shell's folder browser as the installer window uses it: file-system
// folders only, with an edit box, in the new dialog style, opened at a
// given folder. UI thread, with COM initialised apartment-threaded.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_FOLDER_BROWSER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_FOLDER_BROWSER_WIN_H_

#include <windows.h>

#include <string>

namespace installer {

// Shows the browser owned by |owner| with |title|, starting at |start|
// (nothing selected when it is empty). True with the chosen folder's path
// in |folder|; false when the user cancelled or the choice has no path.
bool ShowFolderBrowser(HWND owner, const std::u16string& title,
                       const std::u16string& start, std::u16string* folder);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_FOLDER_BROWSER_WIN_H_
