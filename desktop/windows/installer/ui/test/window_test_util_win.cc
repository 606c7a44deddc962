#include "desktop/windows/installer/ui/test/window_test_util_win.h"

#include <commctrl.h>
#include <objidl.h>
#include <shlobj.h>
// After objidl.h.
#include <gdiplus.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <memory>

#include "base/base_paths.h"
#include "base/bind.h"
#include "base/files/file_util.h"
#include "base/location.h"
#include "base/message_loop/message_loop.h"
#include "base/path_service.h"
#include "base/run_loop.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/time/time.h"
#include "desktop/windows/installer/ui/win32_dialog_dispatcher_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"

namespace installer {
namespace test {

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr int kPollMilliseconds = 10;

ScopedDialogHandler* g_dialog_handler = nullptr;

void Poll(const std::function<bool()>* done, base::TimeTicks deadline,
          const base::Closure* quit) {
  if ((*done)() || base::TimeTicks::Now() >= deadline) {
    quit->Run();
    return;
  }
  base::MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION, base::Bind(&Poll, done, deadline, quit),
      base::TimeDelta::FromMilliseconds(kPollMilliseconds));
}

bool GetPngEncoder(CLSID* encoder) {
  UINT count = 0, size = 0;
  if (Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &size) !=
          Gdiplus::Ok ||
      size == 0) {
    return false;
  }
  std::vector<char> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::DllExports::GdipGetImageEncoders(count, size, codecs) !=
      Gdiplus::Ok) {
    return false;
  }
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      *encoder = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

void RunUiFor(int milliseconds) {
  base::RunLoop run_loop(Win32DialogDispatcher::GetInstance());
  base::MessageLoop::current()->PostDelayedTask(
      CURRENT_LOCATION, run_loop.QuitClosure(),
      base::TimeDelta::FromMilliseconds(milliseconds));
  run_loop.Run();
}

bool RunUiUntil(const std::function<bool()>& done, int timeout_ms) {
  if (done()) return true;
  base::RunLoop run_loop(Win32DialogDispatcher::GetInstance());
  const base::Closure quit = run_loop.QuitClosure();
  Poll(&done,
       base::TimeTicks::Now() + base::TimeDelta::FromMilliseconds(timeout_ms),
       &quit);
  run_loop.Run();
  return done();
}

std::u16string WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::u16string text(length + 1, u'\0');
  text.resize(GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()),
                             length + 1));
  return text;
}

std::u16string WithoutCarriageReturns(const std::u16string& text) {
  std::u16string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r') {
      result += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != u'\n') {
      result += u'\n';
    }
  }
  return result;
}

std::vector<std::u16string> ChildTexts(HWND window) {
  std::vector<std::u16string> texts;
  EnumChildWindows(
      window,
      [](HWND child, LPARAM data) -> BOOL {
        reinterpret_cast<std::vector<std::u16string>*>(data)->push_back(
            WindowText(child));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&texts));
  return texts;
}

std::u16string StripMnemonics(const std::u16string& text) {
  std::u16string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'&' && i + 1 < text.size()) ++i;
    result += text[i];
  }
  return result;
}

void TypeText(HWND window, const std::u16string& text) {
  for (char16_t c : text) {
    PostMessageW(window, WM_CHAR, c, 1);
    RunUiUntil([window] {
      MSG msg;
      return !PeekMessageW(&msg, window, WM_CHAR, WM_CHAR, PM_NOREMOVE);
    });
  }
}

void ClickAt(HWND window, POINT point) {
  const LPARAM position = MAKELPARAM(point.x, point.y);
  PostMessageW(window, WM_MOUSEMOVE, 0, position);
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, position);
  PostMessageW(window, WM_LBUTTONUP, 0, position);
}

POINT CharacterPoint(HWND rich_edit, size_t position) {
  POINTL point = {};
  SendMessageW(rich_edit, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point),
               static_cast<LPARAM>(position));
  return {point.x + 2, point.y + 4};
}

HWND ComboEdit(HWND combo) {
  COMBOBOXINFO info = {sizeof(info)};
  GetComboBoxInfo(combo, &info);
  return info.hwndItem;
}

int LanguageIndex(HWND list, const std::u16string& code) {
  const std::vector<std::u16string> codes =
      RcL10nHandler::GetAvailableLanguages();
  const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT data = SendMessageW(list, CB_GETITEMDATA, i, 0);
    if (data >= 0 && static_cast<size_t>(data) < codes.size() &&
        codes[data] == code) {
      return i;
    }
  }
  return -1;
}

ScopedDialogHandler::ScopedDialogHandler(std::function<void(HWND)> handler)
    : handler_(std::move(handler)) {
  g_dialog_handler = this;
  hook_ = SetWindowsHookExW(WH_CBT, &Hook, nullptr, GetCurrentThreadId());
}

ScopedDialogHandler::~ScopedDialogHandler() {
  if (hook_) UnhookWindowsHookEx(hook_);
  g_dialog_handler = nullptr;
}

// static
LRESULT CALLBACK ScopedDialogHandler::Hook(int code, WPARAM wparam,
                                           LPARAM lparam) {
  ScopedDialogHandler* self = g_dialog_handler;
  if (code == HCBT_ACTIVATE && self) {
    HWND window = reinterpret_cast<HWND>(wparam);
    wchar_t class_name[16] = {};
    GetClassNameW(window, class_name, 16);
    if (wcscmp(class_name, kDialogClass) == 0 &&
        std::find(self->ignored_.begin(), self->ignored_.end(), window) ==
            self->ignored_.end()) {
      // Each dialog once: it may be activated again.
      self->ignored_.push_back(window);
      ++self->handled_;
      self->handler_(window);
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

MessageBoxContent ReadMessageBox(HWND box) {
  MessageBoxContent content;
  content.owner = GetWindow(box, GW_OWNER);
  content.caption = WindowText(box);
  // The message's static has the id 0xFFFF.
  content.text = WindowText(GetDlgItem(box, 0xFFFF));
  content.yes = WindowText(GetDlgItem(box, IDYES));
  content.no = WindowText(GetDlgItem(box, IDNO));
  content.ok = WindowText(GetDlgItem(box, IDOK));
  return content;
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

namespace {

struct PendingPress {
  int id;
  std::u16string name;
  int ticks_left;
  bool* selected;
  // Selected again while the tree does not show it; empty: never.
  std::u16string reselect;
};

constexpr UINT kPressCheckMs = 50;

// The text of the selected item of |browser|'s tree, empty when none.
std::u16string SelectedTreeItem(HWND browser) {
  HWND tree = FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
  HTREEITEM item = tree ? TreeView_GetSelection(tree) : nullptr;
  if (!item) return std::u16string();
  wchar_t text[MAX_PATH] = {};
  TVITEMW data = {};
  data.mask = TVIF_TEXT;
  data.hItem = item;
  data.pszText = text;
  data.cchTextMax = MAX_PATH;
  TreeView_GetItem(tree, &data);
  return base::as_u16cstr(text);
}

void CALLBACK PressWhenSelected(HWND browser, UINT, UINT_PTR timer, DWORD) {
  auto* pending = reinterpret_cast<PendingPress*>(timer);
  const bool selected = SelectedTreeItem(browser) == pending->name;
  if (!selected && --pending->ticks_left > 0) {
    if (!pending->reselect.empty()) {
      SendMessageW(browser, BFFM_SETSELECTIONW, TRUE,
                   reinterpret_cast<LPARAM>(pending->reselect.c_str()));
    }
    return;
  }
  if (pending->selected) *pending->selected = selected;
  KillTimer(browser, timer);
  PressButton(browser, pending->id);
  delete pending;
}

std::u16string LastComponent(const std::u16string& folder) {
  const size_t slash = folder.find_last_of(u"\\/");
  return slash == std::u16string::npos ? folder : folder.substr(slash + 1);
}

}  // namespace

void PressButtonOnceSelected(HWND browser, int id, const std::u16string& folder,
                             bool* selected) {
  auto* pending = new PendingPress{id, LastComponent(folder), 100, selected};
  SetTimer(browser, reinterpret_cast<UINT_PTR>(pending), kPressCheckMs,
           PressWhenSelected);
}

void SelectAndPressButton(HWND browser, int id, const std::u16string& folder) {
  SendMessageW(browser, BFFM_SETSELECTIONW, TRUE,
               reinterpret_cast<LPARAM>(folder.c_str()));
  auto* pending = new PendingPress{id, LastComponent(folder),
                                   60000 / kPressCheckMs, nullptr, folder};
  SetTimer(browser, reinterpret_cast<UINT_PTR>(pending), kPressCheckMs,
           PressWhenSelected);
}

WindowImage::WindowImage(HWND window) : window_(window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  width_ = rect.right;
  height_ = rect.bottom;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -height_;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(nullptr);
  dc_ = CreateCompatibleDC(screen);
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  old_bitmap_ = SelectObject(dc_, bitmap_);
  PrintWindow(window, dc_, PW_CLIENTONLY);
  PrintChildren(window);
  GdiFlush();
}

void WindowImage::PrintChildren(HWND parent) {
  for (HWND child = GetWindow(GetWindow(parent, GW_CHILD), GW_HWNDLAST); child;
       child = GetWindow(child, GW_HWNDPREV)) {
    if (!IsWindowVisible(child)) continue;
    RECT rect;
    GetClientRect(child, &rect);
    MapWindowPoints(child, window_, reinterpret_cast<POINT*>(&rect), 2);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    // Printed on its own, over what lies under it (controls may clip to
    // their own client area in device units, and transparent ones draw
    // only their text).
    HDC child_dc = CreateCompatibleDC(dc_);
    HBITMAP child_bitmap = CreateCompatibleBitmap(dc_, width, height);
    HGDIOBJ old = SelectObject(child_dc, child_bitmap);
    BitBlt(child_dc, 0, 0, width, height, dc_, rect.left, rect.top, SRCCOPY);
    PrintWindow(child, child_dc, PW_CLIENTONLY);
    BitBlt(dc_, rect.left, rect.top, width, height, child_dc, 0, 0, SRCCOPY);
    SelectObject(child_dc, old);
    DeleteObject(child_bitmap);
    DeleteDC(child_dc);
    PrintChildren(child);
  }
}

WindowImage::~WindowImage() {
  SelectObject(dc_, old_bitmap_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

COLORREF WindowImage::Pixel(int x, int y) const { return GetPixel(dc_, x, y); }

bool WindowImage::SavePng(const base::FilePath& path) const {
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
    return false;
  bool saved = false;
  CLSID encoder;
  Gdiplus::GpBitmap* image = nullptr;
  if (GetPngEncoder(&encoder) &&
      Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap_, nullptr,
                                                       &image) == Gdiplus::Ok) {
    saved = Gdiplus::DllExports::GdipSaveImageToFile(
                image, base::as_wcstr(path.value()), &encoder, nullptr) ==
            Gdiplus::Ok;
    Gdiplus::DllExports::GdipDisposeImage(image);
  }
  Gdiplus::GdiplusShutdown(token);
  return saved;
}

bool ShowsOpaquePixels(const WindowImage& image, HBITMAP picture, int left,
                       int top) {
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels =
      ReadBitmapPixels(picture, &width, &height);
  if (pixels.empty()) return false;
  int compared = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = pixels[y * width + x];
      if ((pixel >> 24) != 0xFF) continue;
      const COLORREF expected =
          RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
      if (image.Pixel(left + x, top + y) != expected) return false;
      ++compared;
    }
  }
  return compared > 0;
}

RECT RectIn(HWND control, HWND parent) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

base::FilePath ScreenshotFolder() {
  base::FilePath folder;
  base::PathService::Get(base::DIR_EXE, &folder);
  folder = folder.Append(u"ui_screenshots");
  base::FileUtil::CreateDirectory(folder);
  return folder;
}

base::FilePath FromUnixPath(const char* unix_path) {
  using ToDosFunction = wchar_t*(CDECL*)(const char*);
  auto to_dos =
      reinterpret_cast<ToDosFunction>(reinterpret_cast<void*>(GetProcAddress(
          GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (!to_dos) return base::FilePath();
  wchar_t* dos_path = to_dos(unix_path);
  if (!dos_path) return base::FilePath();
  base::FilePath result(base::as_u16cstr(dos_path));
  HeapFree(GetProcessHeap(), 0, dos_path);
  return result;
}

std::u16string ReadTermsFile() {
  std::string bytes;
  if (!base::FileUtil::ReadFileToString(FromUnixPath(VELNA_TERMS_FILE), &bytes))
    return std::u16string();
  base::ReplaceSubstringsAfterOffset(&bytes, "\r\n", "\n", true);
  return base::UTF8ToUTF16(bytes);
}

std::vector<uint32_t> ReadBitmapPixels(HBITMAP bitmap, int* width,
                                       int* height) {
  BITMAP info = {};
  if (!GetObjectW(bitmap, sizeof(info), &info) || info.bmBitsPixel != 32)
    return {};
  *width = info.bmWidth;
  *height = std::abs(info.bmHeight);
  BITMAPINFO request = {};
  request.bmiHeader.biSize = sizeof(request.bmiHeader);
  request.bmiHeader.biWidth = *width;
  request.bmiHeader.biHeight = -*height;
  request.bmiHeader.biPlanes = 1;
  request.bmiHeader.biBitCount = 32;
  request.bmiHeader.biCompression = BI_RGB;
  std::vector<uint32_t> pixels(static_cast<size_t>(*width) * *height);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, *height, pixels.data(),
                             &request, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != *height) return {};
  return pixels;
}

}  // namespace test
}  // namespace installer
