#include "desktop/windows/installer/sample/interactive_driver_win.h"

#include <windows.h>
// After windows.h.
#include <commctrl.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"

namespace installer {
namespace sample {

namespace {

constexpr DWORD kPageTimeoutMs = 60000;
constexpr DWORD kCaptureIntervalMs = 20;
// Long enough for Wine to bring what a window drew to the screen.
constexpr DWORD kSettleIntervalMs = 150;
// A drawn page has more colours than this (its background picture alone);
// a blank or half-drawn one fewer.
constexpr size_t kDrawnPageColours = 16;

struct WindowSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id != search->process_id || !IsWindowVisible(window) ||
      !GetDlgItem(window, controls::kAccept)) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

// The installer's main dialog of |process_id|, once it is shown.
HWND FindInstallerWindow(DWORD process_id) {
  WindowSearch search = {process_id, nullptr};
  EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool IsControlVisible(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && IsWindowVisible(control);
}

// The pixels of |window|'s client area as the screen shows them, 32 bits
// each, rows from the top. Not the frame: without a window manager nobody
// draws it, and the screen shows black there.
bool CaptureWindow(HWND window, std::vector<uint32_t>* pixels, int* width,
                   int* height) {
  WINDOWINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetWindowInfo(window, &info)) return false;
  const RECT& rect = info.rcClient;
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  if (*width <= 0 || *height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO bitmap_info = {};
  bitmap_info.bmiHeader.biSize = sizeof(bitmap_info.bmiHeader);
  bitmap_info.bmiHeader.biWidth = *width;
  bitmap_info.bmiHeader.biHeight = -*height;
  bitmap_info.bmiHeader.biPlanes = 1;
  bitmap_info.bmiHeader.biBitCount = 32;
  bitmap_info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(screen, &bitmap_info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool captured = false;
  if (bitmap) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    captured = BitBlt(memory, 0, 0, *width, *height, screen, rect.left,
                      rect.top, SRCCOPY) != FALSE;
    GdiFlush();
    if (captured) {
      const uint32_t* start = static_cast<const uint32_t*>(bits);
      pixels->assign(start, start + static_cast<size_t>(*width) * *height);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return captured;
}

BOOL CALLBACK FindPendingPaint(HWND child, LPARAM parameter) {
  if (!IsWindowVisible(child) || !GetUpdateRect(child, nullptr, FALSE))
    return TRUE;
  *reinterpret_cast<bool*>(parameter) = true;
  return FALSE;
}

// Whether |window| or one of its shown children still has something to
// paint.
bool HasPendingPaint(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return true;
  bool pending = false;
  EnumChildWindows(window, &FindPendingPaint,
                   reinterpret_cast<LPARAM>(&pending));
  return pending;
}

// The distinct colours of 32-bit pixels.
size_t CountColours(const uint32_t* pixels, size_t count) {
  std::set<uint32_t> colours;
  for (size_t i = 0; i < count; ++i) colours.insert(pixels[i] & 0xFFFFFF);
  return colours.size();
}

// A top-down 24-bit BMP file: no alpha channel, whose zeros on the drawn
// controls would make viewers show them as transparent.
bool SaveBitmap(const base::FilePath& path, const std::vector<uint32_t>& pixels,
                int width, int height) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  // Rows are padded to four bytes.
  const size_t row_size = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::string rows(row_size * height, '\0');
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t pixel = pixels[static_cast<size_t>(y) * width + x];
      char* out = &rows[y * row_size + x * 3];
      out[0] = static_cast<char>(pixel & 0xFF);
      out[1] = static_cast<char>((pixel >> 8) & 0xFF);
      out[2] = static_cast<char>((pixel >> 16) & 0xFF);
    }
  }
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = static_cast<DWORD>(file.bfOffBits + rows.size());
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&header), sizeof(header));
  bytes.append(rows);
  return base::WriteBufferToFile(path, bytes.data(),
                                 static_cast<int>(bytes.size())) ==
         static_cast<int>(bytes.size());
}

// The position of the window's progress bar; -1 when it does not answer.
int ProgressPosition(HWND window, UINT message, WPARAM wparam) {
  HWND bar = GetDlgItem(window, controls::kProgressBar);
  DWORD_PTR position = 0;
  if (!bar || !SendMessageTimeoutW(bar, message, wparam, 0, SMTO_ABORTIFHUNG,
                                   1000, &position)) {
    return -1;
  }
  return static_cast<int>(position);
}

// Runs until |done| or the process has ended or |timeout_ms| has passed,
// asking every |interval_ms|; |done|'s last answer.
template <typename Done>
bool WaitUntil(const base::Process& process, Done done, DWORD timeout_ms,
               DWORD interval_ms = 20) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (!done()) {
    int exit_code = 0;
    if (GetTickCount64() > end || process.WaitForExitWithTimeout(0, &exit_code))
      return done();
    Sleep(interval_ms);
  }
  return true;
}

// Where the controls |ids| of |window| stand in its client area; a control
// that is missing or hidden is left out.
std::vector<ControlArea> ControlAreas(HWND window, std::vector<int> ids) {
  WINDOWINFO info = {};
  info.cbSize = sizeof(info);
  GetWindowInfo(window, &info);
  std::vector<ControlArea> areas;
  for (int id : ids) {
    HWND control = GetDlgItem(window, id);
    RECT rect = {};
    if (!control || !IsWindowVisible(control) ||
        !GetWindowRect(control, &rect)) {
      continue;
    }
    // Screen coordinates keep left below right, also in a mirrored window.
    OffsetRect(&rect, -info.rcClient.left, -info.rcClient.top);
    areas.push_back({id, rect.left, rect.top, rect.right, rect.bottom});
  }
  return areas;
}

// Whether the backend has set |paused| before |process| ended and within
// the page's time.
bool WaitForPause(const base::Process& process, HANDLE paused) {
  const HANDLE handles[] = {paused, process.Handle()};
  return WaitForMultipleObjects(2, handles, FALSE, kPageTimeoutMs) ==
         WAIT_OBJECT_0;
}

}  // namespace

DriveResult DriveInteractiveInstall(const base::Process& front_end,
                                    const base::FilePath& screenshot_folder,
                                    const InstallPauses* pauses) {
  DriveResult result;
  base::FileUtil::CreateDirectory(screenshot_folder);
  const DWORD process_id = GetProcessId(front_end.Handle());
  // The page's picture once it has painted, however long a loaded machine
  // takes: nothing of the window is waiting to be painted, and the screen,
  // which Wine updates a little after the window drew, shows the same
  // picture twice in a row.
  auto save_when_painted = [&](HWND window, const char16_t* name) {
    std::vector<uint32_t> pixels;
    std::vector<uint32_t> previous;
    int width = 0;
    int height = 0;
    const bool painted = WaitUntil(
        front_end,
        [&] {
          previous.swap(pixels);
          if (HasPendingPaint(window) ||
              !CaptureWindow(window, &pixels, &width, &height)) {
            pixels.clear();
            return false;
          }
          return pixels == previous &&
                 CountColours(pixels.data(), pixels.size()) > kDrawnPageColours;
        },
        kPageTimeoutMs, kSettleIntervalMs);
    const base::FilePath path = screenshot_folder.Append(name);
    if (painted && SaveBitmap(path, pixels, width, height))
      result.screenshots.push_back(path);
  };

  // Each picture while the backend waits for it; the window shows what
  // the backend reported before it paused once it has read it.
  auto drive_paused_install = [&](HWND window, const InstallPauses& pauses) {
    if (!WaitForPause(front_end, pauses.progress_paused)) {
      result.error = "the installation never paused during its steps";
      return;
    }
    result.top_position = ProgressPosition(window, PBM_GETRANGE, FALSE);
    save_when_painted(window, u"progress.bmp");
    result.first_position = ProgressPosition(window, PBM_GETPOS, 0);
    SetEvent(pauses.progress_resume);
    if (!WaitForPause(front_end, pauses.end_paused)) {
      result.error = "the installation never paused at its end";
      return;
    }
    // The steps after the pause moved the bar on.
    if (!WaitUntil(
            front_end,
            [&] {
              return ProgressPosition(window, PBM_GETPOS, 0) >
                     result.first_position;
            },
            kPageTimeoutMs)) {
      result.error = "the progress bar did not move after the pause";
      return;
    }
    save_when_painted(window, u"final.bmp");
    result.final_position = ProgressPosition(window, PBM_GETPOS, 0);
    SetEvent(pauses.end_resume);
  };

  HWND window = nullptr;
  if (!WaitUntil(
          front_end,
          [&] { return (window = FindInstallerWindow(process_id)) != nullptr; },
          kPageTimeoutMs)) {
    result.error = "the installer window never showed";
  } else {
    save_when_painted(window, u"welcome.bmp");
    result.welcome_controls = ControlAreas(
        window,
        {controls::kSlogan, controls::kAccept, controls::kOptionsButton});
    PostMessageW(
        window, WM_COMMAND, MAKEWPARAM(controls::kAccept, BN_CLICKED),
        reinterpret_cast<LPARAM>(GetDlgItem(window, controls::kAccept)));
    if (!WaitUntil(
            front_end,
            [&] { return IsControlVisible(window, controls::kProgressBar); },
            kPageTimeoutMs)) {
      result.error = "the progress page never showed";
    } else if (pauses) {
      drive_paused_install(window, *pauses);
    } else {
      // As the page first shows: the installation has only begun.
      result.top_position = ProgressPosition(window, PBM_GETRANGE, FALSE);
      result.first_position = ProgressPosition(window, PBM_GETPOS, 0);
      // Nothing holds this installation, and it may end a moment after the
      // page shows: one loop keeps the page's first painted picture and the
      // last one before the window closes, without waiting for the moving
      // bar to hold still.
      struct Picture {
        std::vector<uint32_t> pixels;
        int width = 0;
        int height = 0;
      };
      Picture first;
      bool first_settled = false;
      Picture last;
      const ULONGLONG shown = GetTickCount64();
      const ULONGLONG end = shown + kPageTimeoutMs;
      while (IsWindow(window) && IsWindowVisible(window) &&
             GetTickCount64() < end) {
        Picture now;
        const int position = ProgressPosition(window, PBM_GETPOS, 0);
        const bool settled = GetTickCount64() >= shown + kSettleIntervalMs &&
                             !HasPendingPaint(window);
        if (position >= 0 &&
            CaptureWindow(window, &now.pixels, &now.width, &now.height) &&
            CountColours(now.pixels.data(), now.pixels.size()) >
                kDrawnPageColours) {
          // One taken before the screen settled stands in only until then.
          if (first.pixels.empty() || (settled && !first_settled)) {
            first = now;
            first_settled = settled;
          }
          last = std::move(now);
          result.final_position = position;
        }
        Sleep(kCaptureIntervalMs);
      }
      const base::FilePath progress_page =
          screenshot_folder.Append(u"progress.bmp");
      if (!first.pixels.empty() &&
          SaveBitmap(progress_page, first.pixels, first.width, first.height)) {
        result.screenshots.push_back(progress_page);
      }
      const base::FilePath final_page = screenshot_folder.Append(u"final.bmp");
      if (!last.pixels.empty() &&
          SaveBitmap(final_page, last.pixels, last.width, last.height)) {
        result.screenshots.push_back(final_page);
      }
    }
  }
  // A backend paused by a driver that gave up goes on to its end.
  if (pauses) {
    SetEvent(pauses->progress_resume);
    SetEvent(pauses->end_resume);
  }
  if (!front_end.WaitForExitWithTimeout(kPageTimeoutMs, &result.exit_code))
    result.exit_code = -1;
  return result;
}

bool ReadScreenshot(const base::FilePath& bitmap, Screenshot* screenshot) {
  std::string bytes;
  if (!base::FileUtil::ReadFileToString(bitmap, &bytes)) return false;
  const size_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  BITMAPINFOHEADER header = {};
  if (bytes.size() < offset || bytes.compare(0, 2, "BM") != 0) return false;
  memcpy(&header, bytes.data() + sizeof(BITMAPFILEHEADER), sizeof(header));
  // Ours are top-down (a negative height).
  if (header.biBitCount != 24 || header.biWidth <= 0 || header.biHeight >= 0)
    return false;
  const size_t width = header.biWidth;
  const size_t height = -static_cast<int64_t>(header.biHeight);
  const size_t row_size = (width * 3 + 3) & ~size_t{3};
  if (bytes.size() < offset + row_size * height) return false;
  screenshot->width = static_cast<int>(width);
  screenshot->height = static_cast<int>(height);
  screenshot->pixels.clear();
  screenshot->pixels.reserve(width * height);
  for (size_t row = 0; row < height; ++row) {
    const char* at = bytes.data() + offset + row * row_size;
    for (size_t x = 0; x < width; ++x, at += 3) {
      screenshot->pixels.push_back(static_cast<uint8_t>(at[0]) |
                                   static_cast<uint8_t>(at[1]) << 8 |
                                   static_cast<uint8_t>(at[2]) << 16);
    }
  }
  return true;
}

int CountScreenshotColours(const base::FilePath& bitmap) {
  Screenshot screenshot;
  if (!ReadScreenshot(bitmap, &screenshot)) return 0;
  return static_cast<int>(
      CountColours(screenshot.pixels.data(), screenshot.pixels.size()));
}

}  // namespace sample
}  // namespace installer
