#include "desktop/windows/installer/ui/folder_browser_win.h"

#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include "base/logging.h"
#include "base/strings/string_util_win.h"

namespace installer {

namespace {

int CALLBACK SelectStartFolder(HWND browser, UINT message, LPARAM lparam,
                               LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    const auto* start = reinterpret_cast<const std::u16string*>(data);
    SendMessageW(browser, BFFM_SETSELECTIONW, TRUE,
                 reinterpret_cast<LPARAM>(base::as_wcstr(*start)));
  }
  return 0;
}

// The folder's parsing name as the desktop folder gives it, else its
// file-system path.
bool GetFolderPath(PCIDLIST_ABSOLUTE item, std::u16string* folder) {
  Microsoft::WRL::ComPtr<IShellFolder> desktop;
  STRRET name = {};
  if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
      SUCCEEDED(desktop->GetDisplayNameOf(item, SHGDN_FORPARSING, &name))) {
    if (name.uType == STRRET_WSTR) {
      *folder = base::as_u16cstr(name.pOleStr);
      CoTaskMemFree(name.pOleStr);
      return true;
    }
  }
  wchar_t path[MAX_PATH] = {};
  if (!SHGetPathFromIDListW(item, path)) return false;
  *folder = base::as_u16cstr(path);
  return true;
}

}  // namespace

bool ShowFolderBrowser(HWND owner, const std::u16string& title,
                       const std::u16string& start, std::u16string* folder) {
  wchar_t display_name[MAX_PATH] = {};
  BROWSEINFOW info = {};
  info.hwndOwner = owner;
  info.pszDisplayName = display_name;
  info.lpszTitle = base::as_wcstr(title);
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
  if (!start.empty()) {
    info.lpfn = &SelectStartFolder;
    info.lParam = reinterpret_cast<LPARAM>(&start);
  }
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return false;
  const bool found = GetFolderPath(item, folder);
  if (!found) LOG(ERROR) << "The chosen folder has no path";
  CoTaskMemFree(item);
  return found;
}

}  // namespace installer
