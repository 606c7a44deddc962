#include "desktop/windows/installer/ui/test/window_test_util_win.h"

#include <commctrl.h>
#include <objidl.h>
#include <richedit.h>
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

bool RunUiUntilInputHandled() {
  return RunUiUntil([] {
    MSG msg;
    return !PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE) &&
           !PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST,
                         PM_NOREMOVE);
  });
}

bool TakesKeys(HWND dialog) {
  return GetActiveWindow() == dialog &&
         Win32DialogDispatcher::GetInstance()->current_dialog() == dialog;
}

bool WaitUntilActive(HWND dialog) {
  return RunUiUntil([dialog] {
    if (GetForegroundWindow() != dialog) SetForegroundWindow(dialog);
    return TakesKeys(dialog);
  });
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
  GetWindowRect(GetDlgItem(box, 0xFFFF), &content.text_place);
  GetWindowRect(GetDlgItem(box, IDYES), &content.yes_place);
  GetWindowRect(GetDlgItem(box, IDNO), &content.no_place);
  for (HWND child = GetWindow(box, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        SendMessageW(child, STM_GETICON, 0, 0)) {
      GetWindowRect(child, &content.icon_place);
    }
  }
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
  // Pressed instead of |id| when the tree never showed |name|.
  int otherwise_id;
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
  PressButton(browser, selected ? pending->id : pending->otherwise_id);
  delete pending;
}

std::u16string LastComponent(const std::u16string& folder) {
  const size_t slash = folder.find_last_of(u"\\/");
  return slash == std::u16string::npos ? folder : folder.substr(slash + 1);
}

}  // namespace

void PressButtonOnceSelected(HWND browser, int id, const std::u16string& folder,
                             bool* selected) {
  auto* pending =
      new PendingPress{id, LastComponent(folder), 100, selected, u"", id};
  SetTimer(browser, reinterpret_cast<UINT_PTR>(pending), kPressCheckMs,
           PressWhenSelected);
}

void SelectAndPressButton(HWND browser, int id, const std::u16string& folder,
                          bool* selected, int otherwise_id, UINT wait_ms) {
  SendMessageW(browser, BFFM_SETSELECTIONW, TRUE,
               reinterpret_cast<LPARAM>(folder.c_str()));
  auto* pending = new PendingPress{id,
                                   LastComponent(folder),
                                   static_cast<int>(wait_ms / kPressCheckMs),
                                   selected,
                                   folder,
                                   otherwise_id ? otherwise_id : id};
  SetTimer(browser, reinterpret_cast<UINT_PTR>(pending), kPressCheckMs,
           PressWhenSelected);
}

namespace {

// |rect| of the screen relative to |window|'s client area as the screen
// shows it (also for a mirrored window).
RECT ScreenToClientArea(RECT rect, HWND window) {
  WINDOWINFO info = {};
  info.cbSize = sizeof(info);
  GetWindowInfo(window, &info);
  OffsetRect(&rect, -info.rcClient.left, -info.rcClient.top);
  return rect;
}

// Whether |window| (or a window of its own) is what the screen shows over
// its whole client area: nine points checked.
bool ShowsOnScreen(HWND window) {
  WINDOWINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetWindowInfo(window, &info) || !IsWindowVisible(window)) return false;
  const RECT& client = info.rcClient;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const POINT point = {
          client.left + 1 + (client.right - client.left - 3) * i / 2,
          client.top + 1 + (client.bottom - client.top - 3) * j / 2};
      HWND shown = WindowFromPoint(point);
      if (shown != window && !IsChild(window, shown)) return false;
    }
  }
  return true;
}

}  // namespace

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
  // What the user sees: the screen itself, unless another window covers
  // the window. Wine copies a window's drawing to the screen a little after
  // it was drawn, when the thread next waits, and on a busy machine in more
  // than one go: the screen is taken again until two takes agree.
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(60);
  MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
  if (ShowsOnScreen(window)) {
    from_screen_ = true;
    const size_t count = static_cast<size_t>(width_) * height_;
    const uint32_t* taken = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> previous;
    for (int take = 0; take < 40; ++take) {
      if (take > 0) {
        Sleep(60);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 0, QS_ALLINPUT);
      }
      const RECT area = ScreenToClientArea({0, 0, 0, 0}, window);
      HDC screen_dc = GetDC(nullptr);
      BitBlt(dc_, 0, 0, width_, height_, screen_dc, -area.left, -area.top,
             SRCCOPY);
      ReleaseDC(nullptr, screen_dc);
      GdiFlush();
      if (!taken) break;
      std::vector<uint32_t> now(taken, taken + count);
      if (now == previous) break;
      previous = std::move(now);
    }
  } else {
    Print(window_, dc_);
    PrintChildren(window);
  }
  GdiFlush();
}

// static
void WindowImage::Print(HWND window, HDC dc) {
  // A mirrored window draws in mirrored coordinates.
  const bool mirrored =
      (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
  const DWORD layout = GetLayout(dc);
  SetLayout(dc, mirrored ? LAYOUT_RTL : 0);
  PrintWindow(window, dc, PW_CLIENTONLY);
  SetLayout(dc, layout);
}

void WindowImage::PrintChildren(HWND parent) {
  for (HWND child = GetWindow(GetWindow(parent, GW_CHILD), GW_HWNDLAST); child;
       child = GetWindow(child, GW_HWNDPREV)) {
    if (!IsWindowVisible(child)) continue;
    WINDOWINFO info = {};
    info.cbSize = sizeof(info);
    GetWindowInfo(child, &info);
    const RECT rect = ScreenToClientArea(info.rcClient, window_);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    // Printed on its own, over what lies under it (controls may clip to
    // their own client area in device units, and transparent ones draw
    // only their text).
    HDC child_dc = CreateCompatibleDC(dc_);
    HBITMAP child_bitmap = CreateCompatibleBitmap(dc_, width, height);
    HGDIOBJ old = SelectObject(child_dc, child_bitmap);
    BitBlt(child_dc, 0, 0, width, height, dc_, rect.left, rect.top, SRCCOPY);
    Print(child, child_dc);
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
    // Without an alpha channel: the captured alpha bytes are no picture's,
    // and most viewers would show such a file blank.
    Gdiplus::GpBitmap* opaque = nullptr;
    if (Gdiplus::DllExports::GdipCloneBitmapAreaI(0, 0, width_, height_,
                                                  PixelFormat24bppRGB, image,
                                                  &opaque) == Gdiplus::Ok) {
      saved = Gdiplus::DllExports::GdipSaveImageToFile(
                  opaque, base::as_wcstr(path.value()), &encoder, nullptr) ==
              Gdiplus::Ok;
      Gdiplus::DllExports::GdipDisposeImage(opaque);
    }
    Gdiplus::DllExports::GdipDisposeImage(image);
  }
  Gdiplus::GdiplusShutdown(token);
  return saved;
}

namespace {

constexpr int kProbeSize = 96;
// Unassigned in every version of Unicode so far: no font has a glyph.
constexpr char16_t kUnassigned = 0x0378;

// Letters, digits and punctuation outside ASCII: what a font may lack.
// Marks that only combine with a letter (they may draw nothing alone) and
// format characters (the bidirectional embeddings) are left out.
bool NeedsGlyph(char16_t c) {
  if (c < 0x80) return false;
  WORD type1 = 0, type3 = 0;
  const wchar_t wide = c;
  GetStringTypeW(CT_CTYPE1, &wide, 1, &type1);
  GetStringTypeW(CT_CTYPE3, &wide, 1, &type3);
  return (type1 & (C1_ALPHA | C1_DIGIT | C1_PUNCT)) != 0 &&
         (type3 & C3_NONSPACING) == 0;
}

}  // namespace

GlyphProbe::GlyphProbe(HFONT font) : font_(font) {
  CreateCanvas();
  box_ = Draw(kUnassigned);
}

// static
GlyphProbe GlyphProbe::ForRichEdit(HWND model) {
  GlyphProbe probe;
  probe.rich_edit_ = CreateWindowExW(
      0, L"RICHEDIT50W", L"", WS_POPUP | ES_MULTILINE | ES_READONLY, 0, 0,
      kProbeSize, kProbeSize, nullptr, nullptr, GetModuleHandleW(nullptr),
      nullptr);
  CHARFORMAT2W format = {};
  format.cbSize = sizeof(format);
  SendMessageW(model, EM_GETCHARFORMAT, SCF_DEFAULT,
               reinterpret_cast<LPARAM>(&format));
  // The default format: the text each Draw sets takes it.
  SendMessageW(probe.rich_edit_, EM_SETCHARFORMAT, SCF_DEFAULT,
               reinterpret_cast<LPARAM>(&format));
  probe.CreateCanvas();
  probe.box_ = probe.Draw(kUnassigned);
  return probe;
}

GlyphProbe::GlyphProbe(GlyphProbe&& other)
    : font_(other.font_),
      rich_edit_(std::exchange(other.rich_edit_, nullptr)),
      dc_(std::exchange(other.dc_, nullptr)),
      bitmap_(std::exchange(other.bitmap_, nullptr)),
      old_bitmap_(std::exchange(other.old_bitmap_, nullptr)),
      bits_(std::exchange(other.bits_, nullptr)),
      box_(std::move(other.box_)),
      known_(std::move(other.known_)) {}

GlyphProbe::~GlyphProbe() {
  if (rich_edit_) DestroyWindow(rich_edit_);
  if (dc_) {
    SelectObject(dc_, old_bitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
}

void GlyphProbe::CreateCanvas() {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = kProbeSize;
  info.bmiHeader.biHeight = -kProbeSize;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  dc_ = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bits_ = static_cast<uint32_t*>(bits);
  old_bitmap_ = SelectObject(dc_, bitmap_);
}

std::vector<uint32_t> GlyphProbe::Draw(char16_t c) {
  RECT rect = {0, 0, kProbeSize, kProbeSize};
  FillRect(dc_, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const wchar_t text[] = {static_cast<wchar_t>(c), 0};
  if (rich_edit_) {
    SetWindowTextW(rich_edit_, text);
    SendMessageW(rich_edit_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_),
                 PRF_CLIENT);
  } else {
    HGDIOBJ old_font = SelectObject(dc_, font_);
    DrawTextW(dc_, text, 1, &rect, DT_NOPREFIX | DT_SINGLELINE);
    SelectObject(dc_, old_font);
  }
  GdiFlush();
  std::vector<uint32_t> pixels(bits_, bits_ + kProbeSize * kProbeSize);
  for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
  return pixels;
}

std::u16string GlyphProbe::Missing(const std::u16string& text) {
  std::u16string missing;
  for (char16_t c : text) {
    if (!NeedsGlyph(c) || missing.find(c) != std::u16string::npos) continue;
    auto known =
        std::find_if(known_.begin(), known_.end(),
                     [c](const auto& entry) { return entry.first == c; });
    if (known == known_.end()) {
      const std::vector<uint32_t> pixels = Draw(c);
      const bool blank =
          std::all_of(pixels.begin(), pixels.end(),
                      [](uint32_t pixel) { return pixel == 0xFFFFFF; });
      known_.emplace_back(c, blank || pixels == box_);
      known = known_.end() - 1;
    }
    if (known->second) missing += c;
  }
  return missing;
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

RECT ScreenRectIn(HWND control, HWND window) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  return ScreenToClientArea(rect, window);
}

bool IsOpaquePng(const base::FilePath& path) {
  std::string bytes;
  // The header chunk's colour type: 2 is RGB, 6 RGB with alpha.
  return base::FileUtil::ReadFileToString(path, &bytes) && bytes.size() > 25 &&
         bytes.compare(0, 4, "\x89PNG") == 0 &&
         bytes.compare(12, 4, "IHDR") == 0 && bytes[25] == 2;
}

HWND FocusedControl(HWND dialog) {
  HWND focus = GetFocus();
  if (focus != dialog && !IsChild(dialog, focus)) return nullptr;
  // A combo box's edit field stands for the combo box: up to the child of
  // a dialog.
  while (focus && focus != dialog) {
    HWND parent = GetParent(focus);
    wchar_t name[16] = {};
    GetClassNameW(parent, name, 16);
    if (wcscmp(name, kDialogClass) == 0) break;
    focus = parent;
  }
  return focus == dialog ? nullptr : focus;
}

void PressKey(HWND window, UINT key) {
  const UINT scan = MapVirtualKeyW(key, MAPVK_VK_TO_VSC);
  PostMessageW(window, WM_KEYDOWN, key, 1 | (scan << 16));
  PostMessageW(window, WM_KEYUP, key, 1 | (scan << 16) | 0xC0000000);
  RunUiUntilInputHandled();
}

std::vector<HWND> TabCycle(HWND dialog) {
  std::vector<HWND> cycle;
  // Each key and each reading in the active dialog, which gives the focus
  // back to the control that had it when it was active last.
  if (!WaitUntilActive(dialog)) return cycle;
  HWND first = FocusedControl(dialog);
  if (!first) return cycle;
  cycle.push_back(first);
  for (int i = 0; i < 30; ++i) {
    PressKey(GetFocus(), VK_TAB);
    if (!WaitUntilActive(dialog)) break;
    HWND next = FocusedControl(dialog);
    if (next == first || !next) break;
    cycle.push_back(next);
  }
  return cycle;
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
