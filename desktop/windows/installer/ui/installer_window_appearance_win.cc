// How the installer window looks: pictures, fonts, icons, the painted
// background, control colours, the logo, the slogan and the rich-edit
// links.

#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <richedit.h>
#include <uxtheme.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/installer_window_win.h"
#include "desktop/windows/installer/ui/resource_image_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/resource_reader_win.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

using namespace controls;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
// The error badge's bottom-right corner lies this far right of and below
// the logo's, at 96 pixels per inch.
constexpr int kBadgeOffset = 10;
constexpr int kDefaultDpi = 96;

struct FontSpec {
  const wchar_t* face;
  int points;
  int weight;
  DWORD quality;
  DWORD pitch;
};

constexpr FontSpec kSmallFont = {L"MS Shell Dlg", 8, 378, DEFAULT_QUALITY,
                                 DEFAULT_PITCH};
constexpr FontSpec kBoldFont = {L"MS Shell Dlg", 8, FW_BOLD,
                                ANTIALIASED_QUALITY, VARIABLE_PITCH};
constexpr FontSpec kHeadingFont = {L"MS Shell Dlg 2", 14, FW_MEDIUM,
                                   ANTIALIASED_QUALITY, VARIABLE_PITCH};
constexpr FontSpec kSloganFont = {L"Segoe UI", 22, FW_HEAVY,
                                  ANTIALIASED_QUALITY, VARIABLE_PITCH};

HFONT CreateFontFromSpec(const FontSpec& spec, int pixels_per_inch) {
  return CreateFontW(-MulDiv(spec.points, pixels_per_inch, 72), 0, 0, 0,
                     spec.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_OUTLINE_PRECIS, CLIP_DEFAULT_PRECIS, spec.quality,
                     spec.pitch, spec.face);
}

SIZE BitmapSize(HBITMAP bitmap) {
  BITMAP info = {};
  GetObjectW(bitmap, sizeof(info), &info);
  return {info.bmWidth, std::abs(info.bmHeight)};
}

// Draws |bitmap| with its per-pixel alpha at |x|, |y| of |dc|, stretched to
// |width| by |height| (its own size when 0).
void DrawWithAlpha(HDC dc, HBITMAP bitmap, int x, int y, int width = 0,
                   int height = 0) {
  const SIZE size = BitmapSize(bitmap);
  if (width == 0) width = size.cx;
  if (height == 0) height = size.cy;
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, bitmap);
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  AlphaBlend(dc, x, y, width, height, source, 0, 0, size.cx, size.cy, blend);
  SelectObject(source, old);
  DeleteDC(source);
}

// A copy of |rect| of |bitmap|.
HBITMAP CopyBitmapRect(HBITMAP bitmap, const RECT& rect) {
  HDC screen = GetDC(nullptr);
  HDC source = CreateCompatibleDC(screen);
  HDC target = CreateCompatibleDC(screen);
  HBITMAP copy = CreateCompatibleBitmap(screen, rect.right - rect.left,
                                        rect.bottom - rect.top);
  HGDIOBJ old_source = SelectObject(source, bitmap);
  HGDIOBJ old_target = SelectObject(target, copy);
  BitBlt(target, 0, 0, rect.right - rect.left, rect.bottom - rect.top, source,
         rect.left, rect.top, SRCCOPY);
  SelectObject(target, old_target);
  SelectObject(source, old_source);
  DeleteDC(target);
  DeleteDC(source);
  ReleaseDC(nullptr, screen);
  return copy;
}

// A 32-bit top-down DIB section selected into a memory DC of its own.
class ScopedDib {
 public:
  ScopedDib(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint8_t*>(bits);
    if (bitmap_) old_ = SelectObject(dc_, bitmap_);
  }
  ScopedDib(const ScopedDib&) = delete;
  ScopedDib& operator=(const ScopedDib&) = delete;
  ~ScopedDib() {
    if (old_) SelectObject(dc_, old_);
    if (bitmap_) DeleteObject(bitmap_);
    DeleteDC(dc_);
  }

  bool valid() const { return bits_ != nullptr; }
  HDC dc() const { return dc_; }
  // Blue, green, red and an unused byte per pixel, row by row from the top.
  uint8_t* bits() const { return bits_; }
  size_t size() const { return static_cast<size_t>(width_) * height_ * 4; }

 private:
  const int width_;
  const int height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint8_t* bits_ = nullptr;
};

// Which controls keep a left-to-right layout in a mirrored window: the logo
// and the rich edits are painted by this window, and the terms of service
// are English.
bool KeepsItsLayout(int id) {
  return id == kLogo || id == kSlogan || id == kTermsLine || id == kTermsText;
}

// Which controls keep left-to-right reading: the terms of service and the
// install path (a path reads left to right in every language).
bool KeepsItsReadingOrder(int id) {
  return id == kTermsText || id == kInstallPath;
}

void SetLayoutStyle(HWND window, bool right_to_left) {
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  const LONG_PTR changed =
      right_to_left ? style | WS_EX_LAYOUTRTL : style & ~WS_EX_LAYOUTRTL;
  if (changed == style) return;
  SetWindowLongPtrW(window, GWL_EXSTYLE, changed);
  // The frame (a list's scroll bar) is laid out again on the new side only
  // when the system is told that it changed.
  SetWindowPos(window, nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                   SWP_FRAMECHANGED);
}

// Turns |parent|'s layout to right-to-left or back, and its children's that
// follow it (theirs too): every child keeps its place in logical
// coordinates, which moves it to the mirrored place on the screen. The
// system mirrors a child's position only when it is created. The children
// of a control that keeps its reading order (the install path's edit field)
// keep their reading and their layout: a path reads left to right. Every
// layout is set, not only changed: a window created in a mirrored dialog
// starts mirrored. A combo box's list is no child of it, and follows it.
void SetChildrenLayout(HWND parent, bool right_to_left, bool keep_reading) {
  std::vector<std::pair<HWND, RECT>> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    children.emplace_back(child, rect);
  }
  SetLayoutStyle(parent, right_to_left);
  for (const auto& [child, rect] : children) {
    SetWindowPos(child, nullptr, rect.left, rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    const int id = GetDlgCtrlID(child);
    const bool keeps_reading = keep_reading || KeepsItsReadingOrder(id);
    LONG_PTR child_style = GetWindowLongPtrW(child, GWL_EXSTYLE);
    const LONG_PTR reading = keeps_reading ? 0 : WS_EX_RTLREADING;
    child_style =
        right_to_left ? child_style | reading : child_style & ~reading;
    SetWindowLongPtrW(child, GWL_EXSTYLE, child_style);
    if (!keep_reading && !KeepsItsLayout(id))
      SetChildrenLayout(child, right_to_left, keeps_reading);
    else
      SetLayoutStyle(child, false);
    COMBOBOXINFO combo = {sizeof(combo)};
    if (GetComboBoxInfo(child, &combo) && combo.hwndList)
      SetLayoutStyle(combo.hwndList, right_to_left && !keeps_reading);
  }
}

void SetSelectionColor(HWND rich_edit, LONG start, LONG end, COLORREF color,
                       bool link) {
  SendMessageW(rich_edit, EM_SETSEL, start, end);
  CHARFORMAT2W format = {};
  format.cbSize = sizeof(format);
  format.dwMask = CFM_COLOR | (link ? CFM_LINK : 0);
  format.dwEffects = link ? CFE_LINK : 0;
  format.crTextColor = color;
  SendMessageW(rich_edit, EM_SETCHARFORMAT, SCF_SELECTION,
               reinterpret_cast<LPARAM>(&format));
}

}  // namespace

void InstallerWindow::OnInitDialog() {
  dpi_ = QueryDpi();
  LoadPictures();
  CreateFonts();
  SetIcons();

  SetWindowSubclass(GetDlgItem(dialog_, kLogo), &LogoSubclassProc, 0,
                    reinterpret_cast<DWORD_PTR>(this));
  HWND terms_line = GetDlgItem(dialog_, kTermsLine);
  const LRESULT events = SendMessageW(terms_line, EM_GETEVENTMASK, 0, 0);
  SendMessageW(terms_line, EM_SETEVENTMASK, 0, events | ENM_LINK);
  for (int id : {kTermsLine, kSlogan}) {
    SetWindowSubclass(GetDlgItem(dialog_, id), &RichEditSubclassProc, 0,
                      reinterpret_cast<DWORD_PTR>(this));
  }
  ApplyFonts();
}

int InstallerWindow::QueryDpi() const {
  // Each display's own from Windows 10 1607 on; one for all before.
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window =
      reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi_for_window) {
    if (const UINT dpi = get_dpi_for_window(dialog_)) return dpi;
  }
  HDC dc = GetDC(dialog_);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(dialog_, dc);
  return dpi > 0 ? dpi : kDefaultDpi;
}

void InstallerWindow::LoadPictures() {
  logo_.reset(LoadResourceBitmapForDpi(kLogoPictureId, kPngResourceType, dpi_));
  error_badge_.reset(
      LoadResourceBitmapForDpi(kErrorBadgePictureId, kPngResourceType, dpi_));
  // Stretched over the whole window anyway.
  background_picture_.reset(
      LoadResourceBitmap(kBackgroundPictureId, kJpgResourceType));
}

void InstallerWindow::CreateFonts() {
  small_font_.reset(CreateFontFromSpec(kSmallFont, dpi_));
  bold_font_.reset(CreateFontFromSpec(kBoldFont, dpi_));
  heading_font_.reset(CreateFontFromSpec(kHeadingFont, dpi_));
  slogan_font_.reset(CreateFontFromSpec(kSloganFont, dpi_));
}

void InstallerWindow::ApplyFonts() {
  for (int bold : {kUninstallQuestion, kRedText}) {
    SendDlgItemMessageW(dialog_, bold, WM_SETFONT,
                        reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
  }
  for (int heading :
       {kProgressHeading, kErrorHeading, kUninstallErrorHeading}) {
    SendDlgItemMessageW(dialog_, heading, WM_SETFONT,
                        reinterpret_cast<WPARAM>(heading_font_.get()), FALSE);
  }
  SendDlgItemMessageW(dialog_, kSlogan, WM_SETFONT,
                      reinterpret_cast<WPARAM>(slogan_font_.get()), FALSE);
  if (options_dialog_) {
    SendDlgItemMessageW(options_dialog_, kInvalidPath, WM_SETFONT,
                        reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
  }
}

void InstallerWindow::OnDpiChanged(int dpi, const RECT& suggested) {
  LOG(INFO) << "Display resolution changed to " << dpi << " dpi";
  dpi_ = dpi;
  LoadPictures();
  // The controls let go of the old fonts before they are deleted.
  ScopedFont old_fonts[] = {
      ScopedFont(small_font_.release()), ScopedFont(bold_font_.release()),
      ScopedFont(heading_font_.release()), ScopedFont(slogan_font_.release())};
  CreateFonts();
  ApplyFonts();
  SetIcons();
  SetWindowPos(dialog_, nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  BuildBackground(true);
  // The rich edits lay their text out again in the new fonts.
  OnLanguageChanged();
  if (!settings_->IsStatusPending()) RefreshControls();
}

void InstallerWindow::SetLayoutDirection(bool right_to_left) {
  if (right_to_left == right_to_left_) return;
  right_to_left_ = right_to_left;
  SetChildrenLayout(dialog_, right_to_left, false);
  SetRichEditDirection(GetDlgItem(dialog_, kSlogan));
  SetRichEditDirection(GetDlgItem(dialog_, kTermsLine));
  BuildBackground(true);
  RedrawWindow(dialog_, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void InstallerWindow::SetRichEditDirection(HWND rich_edit) {
  PARAFORMAT2 format = {};
  format.cbSize = sizeof(format);
  format.dwMask = PFM_RTLPARA;
  format.wEffects = right_to_left_ ? PFE_RTLPARA : 0;
  SendMessageW(rich_edit, EM_SETSEL, 0, -1);
  SendMessageW(rich_edit, EM_SETPARAFORMAT, 0,
               reinterpret_cast<LPARAM>(&format));
  SendMessageW(rich_edit, EM_SETSEL, 0, 0);
}

void InstallerWindow::SetIcons() {
  HINSTANCE module = GetModuleHandleW(nullptr);
  const struct {
    WPARAM which;
    int width_metric;
    int height_metric;
    ScopedIcon* icon;
  } icons[] = {{ICON_SMALL, SM_CXSMICON, SM_CYSMICON, &small_icon_},
               {ICON_BIG, SM_CXICON, SM_CYICON, &big_icon_}};
  for (const auto& entry : icons) {
    HICON icon = static_cast<HICON>(
        LoadImageW(module, MAKEINTRESOURCEW(kInstallerIconId), IMAGE_ICON,
                   GetSystemMetrics(entry.width_metric),
                   GetSystemMetrics(entry.height_metric), LR_DEFAULTCOLOR));
    if (!icon) continue;
    SendMessageW(dialog_, WM_SETICON, entry.which,
                 reinterpret_cast<LPARAM>(icon));
    // Destroys the icon set before, which this window owned too.
    entry.icon->reset(icon);
  }
}

void InstallerWindow::LoadTermsText() {
  std::string bytes;
  if (!ReadResourceBytes(nullptr, kTermsTextId, kTextResourceType, &bytes)) {
    LOG(ERROR) << "Terms of service not found";
    return;
  }
  // The resource holds the file's bytes and no terminating zero; a zero
  // inside it ends the text.
  const size_t zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  base::ReplaceSubstringsAfterOffset(&bytes, "\r\n", "\n", true);
  SetDlgItemTextW(dialog_, kTermsText,
                  base::as_wcstr(base::UTF8ToUTF16(bytes)));
}

void InstallerWindow::SetSlogan() {
  HWND slogan = GetDlgItem(dialog_, kSlogan);
  const std::u16string product = RcL10nHandler::GetString(kIdsSloganProduct);
  const std::u16string text =
      RcL10nHandler::GetStringWithArgs(kIdsSlogan, product);
  SetWindowTextW(slogan, base::as_wcstr(text));
  SetSelectionColor(slogan, 0, -1, kSloganColor, false);
  const size_t word =
      product.empty() ? std::u16string::npos : text.find(product);
  if (word != std::u16string::npos) {
    SetSelectionColor(slogan, static_cast<LONG>(word),
                      static_cast<LONG>(word + product.size()),
                      kSloganProductColor, false);
  }
  SetRichEditDirection(slogan);
}

std::vector<TextLink> InstallerWindow::SetRichTextWithLinks(
    HWND rich_edit, const std::u16string& markup, COLORREF link_color) {
  // Rich edit drops an RTF hyperlink field together with its label on some
  // systems; a label marked as a link through its character format shows
  // everywhere. Positions match the text's: it has no line breaks.
  LinkedText parsed = ParseAnchorMarkup(markup);
  SetWindowTextW(rich_edit, base::as_wcstr(parsed.text));
  for (const TextLink& link : parsed.links) {
    SetSelectionColor(rich_edit, static_cast<LONG>(link.start),
                      static_cast<LONG>(link.start + link.length), link_color,
                      true);
  }
  SetRichEditDirection(rich_edit);
  return std::move(parsed.links);
}

// --- Background and colours.

void InstallerWindow::BuildBackground(bool force) {
  if (background_ && !force) return;
  RECT client;
  GetClientRect(dialog_, &client);
  HDC dialog_dc = GetDC(dialog_);
  HDC dc = CreateCompatibleDC(dialog_dc);
  HBITMAP bitmap =
      CreateCompatibleBitmap(dialog_dc, client.right, client.bottom);
  ReleaseDC(dialog_, dialog_dc);
  HGDIOBJ old = SelectObject(dc, bitmap);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  if (background_picture_) {
    DrawWithAlpha(dc, background_picture_.get(), 0, 0, client.right,
                  client.bottom);
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  background_.reset(bitmap);

  if (!IsAppThemed()) return;
  brushes_.clear();
  HWND control = GetControl(kDeleteProfile);
  if (!control) return;
  auto brush = std::make_unique<ControlBackgroundBrush>();
  brush->bitmap.reset(
      CopyBitmapRect(background_.get(), BackgroundRect(control)));
  brush->brush.reset(CreatePatternBrush(brush->bitmap.get()));
  brushes_[control] = std::move(brush);
}

bool InstallerWindow::EraseBackground(HDC dc) {
  if (page_ == InstallerPage::kOptions) return false;
  BuildBackground(false);
  RECT client;
  GetClientRect(dialog_, &client);
  HDC source = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(source, background_.get());
  // The picture stays as it is in a mirrored window: it is no layout. It is
  // copied in device coordinates: a mirrored DC maps the client area one
  // pixel to the left on some systems, which leaves the right-hand column
  // unpainted.
  const DWORD layout = GetLayout(dc);
  SetLayout(dc, 0);
  BitBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY);
  SetLayout(dc, layout);
  SelectObject(source, old);
  DeleteDC(source);
  return true;
}

RECT InstallerWindow::BackgroundRect(HWND control) const {
  RECT rect = {};
  GetWindowRect(control, &rect);
  WINDOWINFO info = {};
  info.cbSize = sizeof(info);
  GetWindowInfo(dialog_, &info);
  OffsetRect(&rect, -info.rcClient.left, -info.rcClient.top);
  return rect;
}

HBRUSH InstallerWindow::MainControlColor(UINT message, HDC dc, HWND control) {
  if (message != WM_CTLCOLORSTATIC)
    return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  const int id = GetDlgCtrlID(control);
  if (id == kTermsText) return GetSysColorBrush(COLOR_WINDOW);
  SetTextColor(dc, id == kRedText ? kRed : kBlack);
  auto brush = brushes_.find(control);
  if (brush != brushes_.end()) return brush->second->brush.get();
  SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH));
}

HBRUSH InstallerWindow::OptionsControlColor(UINT message, HDC dc,
                                            HWND control) {
  if (message != WM_CTLCOLORSTATIC)
    return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  const int id = GetDlgCtrlID(control);
  if (id == kDefaultBrowser || id == kImportData || id == kUsageData)
    return static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  SetTextColor(dc, id == kInvalidPath ? kRed : kBlack);
  SetBkMode(dc, TRANSPARENT);
  return static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH));
}

// --- The logo.

void InstallerWindow::PaintLogo(HWND logo, HDC dc) {
  RECT client;
  GetClientRect(logo, &client);
  // The background under the control first, so that the picture's
  // translucent edges do not build up when it is painted again.
  if (background_) {
    const RECT rect = BackgroundRect(logo);
    HDC source = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(source, background_.get());
    BitBlt(dc, 0, 0, client.right, client.bottom, source, rect.left, rect.top,
           SRCCOPY);
    SelectObject(source, old);
    DeleteDC(source);
  }
  if (!logo_) return;
  const SIZE size = BitmapSize(logo_.get());
  const int left = client.right / 2 - size.cx / 2;
  const int top = client.bottom / 2 - size.cy / 2;
  DrawWithAlpha(dc, logo_.get(), left, top);
  if (error_page_ && error_badge_) {
    const SIZE badge = BitmapSize(error_badge_.get());
    const int offset = MulDiv(kBadgeOffset, dpi_, kDefaultDpi);
    DrawWithAlpha(dc, error_badge_.get(), left + size.cx + offset - badge.cx,
                  top + size.cy + offset - badge.cy);
  }
}

void InstallerWindow::PaintRichEdit(HWND rich_edit, HDC dc) {
  RECT client;
  GetClientRect(rich_edit, &client);
  const int width = client.right;
  const int height = client.bottom;
  if (width <= 0 || height <= 0) return;
  BuildBackground(false);
  ScopedDib result(width, height), on_black(width, height),
      on_white(width, height);
  if (!result.valid() || !on_black.valid() || !on_white.valid()) return;
  const RECT under = BackgroundRect(rich_edit);
  HDC background = CreateCompatibleDC(dc);
  HGDIOBJ old = SelectObject(background, background_.get());
  BitBlt(result.dc(), 0, 0, width, height, background, under.left, under.top,
         SRCCOPY);
  SelectObject(background, old);
  DeleteDC(background);

  // Rich edit fills its background with one colour. Drawn once on black and
  // once on white, every pixel tells how much of what lies under it shows
  // through (per channel, so that smoothed edges blend as they would):
  // shown = on_black + under * (on_white - on_black) / 255. Changing the
  // colour asks for a repaint that this paint makes unnecessary.
  const bool had_update = GetUpdateRect(rich_edit, nullptr, FALSE) != FALSE;
  painting_rich_edit_ = true;
  for (const auto& [target, colour] :
       {std::make_pair(&on_black, RGB(0, 0, 0)),
        std::make_pair(&on_white, RGB(255, 255, 255))}) {
    // What the control leaves unpainted (its margins) shows the background.
    ScopedBrush fill(CreateSolidBrush(colour));
    FillRect(target->dc(), &client, fill.get());
    SendMessageW(rich_edit, EM_SETBKGNDCOLOR, 0, colour);
    SendMessageW(rich_edit, WM_PRINTCLIENT,
                 reinterpret_cast<WPARAM>(target->dc()), PRF_CLIENT);
  }
  SendMessageW(rich_edit, EM_SETBKGNDCOLOR, 1, 0);
  painting_rich_edit_ = false;
  if (!had_update) ValidateRect(rich_edit, nullptr);
  GdiFlush();

  const uint8_t* black = on_black.bits();
  const uint8_t* white = on_white.bits();
  uint8_t* shown = result.bits();
  for (size_t i = 0; i < result.size(); ++i) {
    const int through = std::clamp(white[i] - black[i], 0, 255);
    shown[i] = static_cast<uint8_t>(
        std::min(255, black[i] + (shown[i] * through + 127) / 255));
  }
  BitBlt(dc, 0, 0, width, height, result.dc(), 0, 0, SRCCOPY);
}

// static
LRESULT CALLBACK InstallerWindow::LogoSubclassProc(HWND hwnd, UINT message,
                                                   WPARAM wparam, LPARAM lparam,
                                                   UINT_PTR id,
                                                   DWORD_PTR data) {
  auto* window = reinterpret_cast<InstallerWindow*>(data);
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      window->PaintLogo(hwnd, dc);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      // Screenshots (PrintWindow) ask for the picture into their own DC.
      window->PaintLogo(hwnd, reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &LogoSubclassProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

// static
LRESULT CALLBACK InstallerWindow::RichEditSubclassProc(HWND hwnd, UINT message,
                                                       WPARAM wparam,
                                                       LPARAM lparam,
                                                       UINT_PTR id,
                                                       DWORD_PTR data) {
  auto* window = reinterpret_cast<InstallerWindow*>(data);
  const bool terms_line = GetDlgCtrlID(hwnd) == kTermsLine;
  const bool has_link = terms_line && !window->terms_links_.empty();
  switch (message) {
    case WM_SETFOCUS:
      if (!has_link) {
        HideCaret(hwnd);
        return 0;
      }
      // Reached by Tab: the link shows selected while the line has the
      // focus, and no caret.
      DefSubclassProc(hwnd, message, wparam, lparam);
      SendMessageW(
          hwnd, EM_SETSEL, window->terms_links_[0].start,
          window->terms_links_[0].start + window->terms_links_[0].length);
      HideCaret(hwnd);
      return 0;
    case WM_GETDLGCODE: {
      // Tab, Esc and the arrows stay the dialog's; Enter and Space open the
      // link.
      const auto* key = reinterpret_cast<const MSG*>(lparam);
      if (has_link && key && key->message == WM_KEYDOWN &&
          (key->wParam == VK_RETURN || key->wParam == VK_SPACE)) {
        return DLGC_WANTMESSAGE;
      }
      return 0;
    }
    case WM_KEYDOWN:
      if (has_link && (wparam == VK_RETURN || wparam == VK_SPACE)) {
        window->OpenTermsLink(window->terms_links_[0].start);
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      if (window->painting_rich_edit_) break;
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(hwnd, &paint);
      window->PaintRichEdit(hwnd, dc);
      EndPaint(hwnd, &paint);
      return 0;
    }
    case WM_PRINTCLIENT:
      if (window->painting_rich_edit_) break;
      window->PaintRichEdit(hwnd, reinterpret_cast<HDC>(wparam));
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &RichEditSubclassProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace installer
