// How the installer window looks: pictures, fonts, icons, the painted
// background, control colours, the logo, the slogan and the rich-edit
// links.

#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <richedit.h>
#include <uxtheme.h>

#include <cstdlib>
#include <string>
#include <utility>

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
// the logo's.
constexpr int kBadgeOffset = 10;

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

// |control|'s rectangle in the client coordinates of |dialog|.
RECT ControlRect(HWND control, HWND dialog) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
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
  logo_.reset(LoadResourceBitmap(kLogoPictureId, kPngResourceType));
  error_badge_.reset(
      LoadResourceBitmap(kErrorBadgePictureId, kPngResourceType));
  background_picture_.reset(
      LoadResourceBitmap(kBackgroundPictureId, kJpgResourceType));
  CreateFonts();
  SetIcons();

  SetWindowSubclass(GetDlgItem(dialog_, kLogo), &LogoSubclassProc, 0,
                    reinterpret_cast<DWORD_PTR>(this));
  SendDlgItemMessageW(dialog_, kUninstallQuestion, WM_SETFONT,
                      reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
  HWND terms_line = GetDlgItem(dialog_, kTermsLine);
  const LRESULT events = SendMessageW(terms_line, EM_GETEVENTMASK, 0, 0);
  SendMessageW(terms_line, EM_SETEVENTMASK, 0, events | ENM_LINK);
  SetWindowSubclass(terms_line, &CaretHiderProc, 0, 0);
  for (int heading :
       {kProgressHeading, kErrorHeading, kUninstallErrorHeading}) {
    SendDlgItemMessageW(dialog_, heading, WM_SETFONT,
                        reinterpret_cast<WPARAM>(heading_font_.get()), FALSE);
  }
  HWND slogan = GetDlgItem(dialog_, kSlogan);
  SetWindowSubclass(slogan, &CaretHiderProc, 0, 0);
  SendMessageW(slogan, WM_SETFONT, reinterpret_cast<WPARAM>(slogan_font_.get()),
               FALSE);
}

void InstallerWindow::CreateFonts() {
  HDC dc = GetDC(dialog_);
  const int pixels_per_inch = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(dialog_, dc);
  small_font_.reset(CreateFontFromSpec(kSmallFont, pixels_per_inch));
  bold_font_.reset(CreateFontFromSpec(kBoldFont, pixels_per_inch));
  heading_font_.reset(CreateFontFromSpec(kHeadingFont, pixels_per_inch));
  slogan_font_.reset(CreateFontFromSpec(kSloganFont, pixels_per_inch));
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
  SendMessageW(slogan, EM_SETSEL, 0, 0);
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
  SendMessageW(rich_edit, EM_SETSEL, 0, 0);
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
      CopyBitmapRect(background_.get(), ControlRect(control, dialog_)));
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
  BitBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, SRCCOPY);
  SelectObject(source, old);
  DeleteDC(source);
  return true;
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
    const RECT rect = ControlRect(logo, dialog_);
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
    DrawWithAlpha(dc, error_badge_.get(),
                  left + size.cx + kBadgeOffset - badge.cx,
                  top + size.cy + kBadgeOffset - badge.cy);
  }
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
LRESULT CALLBACK InstallerWindow::CaretHiderProc(HWND hwnd, UINT message,
                                                 WPARAM wparam, LPARAM lparam,
                                                 UINT_PTR id, DWORD_PTR data) {
  if (message == WM_SETFOCUS) {
    HideCaret(hwnd);
    return 0;
  }
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &CaretHiderProc, id);
  return DefSubclassProc(hwnd, message, wparam, lparam);
}

}  // namespace installer
