// Helpers for tests that drive the installer window under Wine (with a
// display): running the UI loop as the UI controller does, reading
// controls, answering the dialogs the window opens (message boxes, the
// folder browser), and pictures of a window taken with PrintWindow.

#ifndef DESKTOP_WINDOWS_INSTALLER_UI_TEST_WINDOW_TEST_UTIL_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_UI_TEST_WINDOW_TEST_UTIL_WIN_H_

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/files/file_path.h"

namespace installer {
namespace test {

// Long enough that only a hang reaches it, on any machine: waits in tests
// end on what they wait for, not on a clock.
inline constexpr int kHangMilliseconds = 120000;

// Runs the thread's UI loop, with the dialog dispatcher, until |done|
// answers true (checked every 10 ms) or |timeout_ms| has passed; returns
// what |done| answers at the end.
bool RunUiUntil(const std::function<bool()>& done,
                int timeout_ms = kHangMilliseconds);
// Runs it until no key or mouse message is queued for this thread: those
// posted so far have been handled (with any dialog they opened).
bool RunUiUntilInputHandled();

// Whether |dialog| is the active window and takes the keyboard: the
// installer window hands keys to its dialog dispatcher only while active.
bool TakesKeys(HWND dialog);
// Asks for |dialog| as the foreground window, again while it is not (a
// display's activation may move on later), and runs the loop until it
// takes the keyboard. False when it did not before the hang deadline.
bool WaitUntilActive(HWND dialog);

std::u16string WindowText(HWND window);
// |text| with each CR LF and each lone CR (as rich edit ends its
// paragraphs) turned into LF.
std::u16string WithoutCarriageReturns(const std::u16string& text);
// The texts of |window|'s child windows, in their order.
std::vector<std::u16string> ChildTexts(HWND window);
// |text| without the "&" of mnemonics ("&&" stays one "&").
std::u16string StripMnemonics(const std::u16string& text);

// Posts the characters of |text| to |window| as typed keys (WM_CHAR), one
// at a time, letting the loop handle each before the next.
void TypeText(HWND window, const std::u16string& text);
// Posts a left click at |point| of |window|'s client area (button down and
// up); RunUiUntilInputHandled waits for it.
void ClickAt(HWND window, POINT point);
// The point of character |position| of a rich edit, in its client area.
POINT CharacterPoint(HWND rich_edit, size_t position);
// The edit field of a combo box with one.
HWND ComboEdit(HWND combo);
// The index of the language list's entry for language |code|; -1 when it
// has none.
int LanguageIndex(HWND list, const std::u16string& code);

// Calls a handler for every dialog (a window of the dialog class) that is
// activated on this thread while the object lives: message boxes and the
// folder browser. One at a time per thread.
class ScopedDialogHandler {
 public:
  explicit ScopedDialogHandler(std::function<void(HWND)> handler);
  ScopedDialogHandler(const ScopedDialogHandler&) = delete;
  ScopedDialogHandler& operator=(const ScopedDialogHandler&) = delete;
  ~ScopedDialogHandler();

  // Dialogs ignored from now on (the installer window's own).
  void Ignore(HWND dialog) { ignored_.push_back(dialog); }
  int handled() const { return handled_; }

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam);

  std::function<void(HWND)> handler_;
  std::vector<HWND> ignored_;
  HHOOK hook_ = nullptr;
  int handled_ = 0;
};

// What a message box showed.
struct MessageBoxContent {
  HWND owner = nullptr;
  std::u16string caption;
  std::u16string text;
  // Button texts by id (empty when the box has no such button).
  std::u16string yes;
  std::u16string no;
  std::u16string ok;
  // Where the screen shows the icon, the text and the Yes and No buttons
  // (empty when the box has no such control).
  RECT icon_place = {};
  RECT text_place = {};
  RECT yes_place = {};
  RECT no_place = {};
};
MessageBoxContent ReadMessageBox(HWND box);
// Presses button |id| of |dialog| once the dialog's loop runs.
void PressButton(HWND dialog, int id);
// Presses button |id| of the folder browser |browser| once its tree shows
// |folder|'s last component as the selection (Wine fills and selects the
// tree after the browser is shown), or after about 5 s; |*selected| (when
// given) tells which.
void PressButtonOnceSelected(HWND browser, int id, const std::u16string& folder,
                             bool* selected = nullptr);
// Has the folder browser |browser| select |folder|, again for as long as its
// tree does not show it (Wine's own filling of the tree may take the
// selection back, later on a loaded machine), then presses button |id|.
// After |wait_ms| without the selection it presses |otherwise_id| instead
// (|id| when 0); |*selected| (when given) tells which.
void SelectAndPressButton(HWND browser, int id, const std::u16string& folder,
                          bool* selected = nullptr, int otherwise_id = 0,
                          UINT wait_ms = 60000);

// A picture of a window's client area as the screen shows it (left to right
// also for a mirrored window), after the window has painted everything.
// When another window covers it, the picture is printed instead: Wine's
// PrintWindow leaves child windows out, so each visible descendant is
// printed too, at its place, from the bottom of the z-order up.
class WindowImage {
 public:
  explicit WindowImage(HWND window);
  WindowImage(const WindowImage&) = delete;
  WindowImage& operator=(const WindowImage&) = delete;
  ~WindowImage();

  int width() const { return width_; }
  int height() const { return height_; }
  bool from_screen() const { return from_screen_; }
  COLORREF Pixel(int x, int y) const;
  // Writes an opaque PNG (RGB, no alpha channel) through GDI+'s encoder.
  bool SavePng(const base::FilePath& path) const;

 private:
  // Prints |window| into |dc| as the screen would show it.
  static void Print(HWND window, HDC dc);
  // Prints the visible children of |parent| and theirs, bottom first.
  void PrintChildren(HWND parent);

  bool from_screen_ = false;

  HWND window_ = nullptr;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// Which characters of a text come out as boxes (the glyph a font draws for a
// character it lacks) or not at all when drawn in a given way: without the
// fonts for a script, what a test measures is boxes, not the text.
class GlyphProbe {
 public:
  // Text as buttons and static texts draw it (DrawText) in |font|.
  explicit GlyphProbe(HFONT font);
  // Text as the rich edit |model| draws it in its default character format
  // (rich edit shapes text itself and may not use the fonts DrawText uses).
  static GlyphProbe ForRichEdit(HWND model);
  GlyphProbe(GlyphProbe&& other);
  GlyphProbe(const GlyphProbe&) = delete;
  GlyphProbe& operator=(const GlyphProbe&) = delete;
  ~GlyphProbe();

  // The letters, digits and punctuation of |text| that are drawn as boxes,
  // each once; ASCII counts as present.
  std::u16string Missing(const std::u16string& text);

 private:
  GlyphProbe() = default;
  void CreateCanvas();
  // The pixels of |c| drawn on white.
  std::vector<uint32_t> Draw(char16_t c);

  HFONT font_ = nullptr;
  HWND rich_edit_ = nullptr;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_bitmap_ = nullptr;
  uint32_t* bits_ = nullptr;
  // How a character that no font has (an unassigned code point) comes out.
  std::vector<uint32_t> box_;
  std::vector<std::pair<char16_t, bool>> known_;
};

// Whether every opaque pixel of |picture| shows at |left|, |top| of
// |image|.
bool ShowsOpaquePixels(const WindowImage& image, HBITMAP picture, int left,
                       int top);
// |control|'s rectangle in |parent|'s client coordinates.
RECT RectIn(HWND control, HWND parent);
// |control|'s rectangle in |window|'s client area as the screen shows it:
// left to right also when |window| is mirrored.
RECT ScreenRectIn(HWND control, HWND window);
// Whether |path| is a PNG without an alpha channel.
bool IsOpaquePng(const base::FilePath& path);

// The control of |dialog| (or of a child dialog of it) that has the focus:
// a combo box for its edit field. Null when none has.
HWND FocusedControl(HWND dialog);
// Posts a key press (down and up) to |window| and runs the loop until it
// has been handled.
void PressKey(HWND window, UINT key);
// The controls Tab visits from the focused one of |dialog| until it comes
// back to it, in order, starting with the focused one, once the dialog takes
// the keyboard; empty when it never does.
std::vector<HWND> TabCycle(HWND dialog);

// Where screenshots are kept: "ui_screenshots" beside the test executable
// (created on demand).
base::FilePath ScreenshotFolder();

// The Windows path of the Linux file |unix_path| (Wine's own mapping);
// empty when not running under Wine.
base::FilePath FromUnixPath(const char* unix_path);

// The terms of service as the installer shows them: the source file with
// CRLF turned into LF; empty when the file cannot be read.
std::u16string ReadTermsFile();

// A 32-bit picture's pixels as premultiplied BGRA words, row by row from
// the top; empty when the bitmap cannot be read.
std::vector<uint32_t> ReadBitmapPixels(HBITMAP bitmap, int* width, int* height);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_UI_TEST_WINDOW_TEST_UTIL_WIN_H_
