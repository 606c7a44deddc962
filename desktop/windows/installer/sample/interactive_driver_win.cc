#include "desktop/windows/installer/sample/interactive_driver_win.h"

#include <windows.h>
// After windows.h.
#include <commctrl.h>

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

// The pixels of |window| as the screen shows them, 32 bits each, rows from
// the top.
bool CaptureWindow(HWND window, std::vector<uint32_t>* pixels, int* width,
                   int* height) {
  RECT rect = {};
  if (!GetWindowRect(window, &rect)) return false;
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  if (*width <= 0 || *height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = *width;
  info.bmiHeader.biHeight = -*height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap =
      CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
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

// Runs until |done| or the process has ended or |timeout_ms| has passed;
// |done|'s last answer.
template <typename Done>
bool WaitUntil(const base::Process& process, Done done, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (!done()) {
    int exit_code = 0;
    if (GetTickCount64() > end || process.WaitForExitWithTimeout(0, &exit_code))
      return done();
    Sleep(20);
  }
  return true;
}

}  // namespace

DriveResult DriveInteractiveInstall(const base::Process& front_end,
                                    const base::FilePath& screenshot_folder) {
  DriveResult result;
  base::FileUtil::CreateDirectory(screenshot_folder);
  const DWORD process_id = GetProcessId(front_end.Handle());
  // The page's picture once it is drawn, however long a loaded machine
  // takes to draw it.
  auto save_when_drawn = [&](HWND window, const char16_t* name) {
    std::vector<uint32_t> pixels;
    int width = 0;
    int height = 0;
    const bool drawn = WaitUntil(
        front_end,
        [&] {
          return CaptureWindow(window, &pixels, &width, &height) &&
                 CountColours(pixels.data(), pixels.size()) > kDrawnPageColours;
        },
        kPageTimeoutMs);
    const base::FilePath path = screenshot_folder.Append(name);
    if (drawn && SaveBitmap(path, pixels, width, height))
      result.screenshots.push_back(path);
  };

  HWND window = nullptr;
  if (!WaitUntil(
          front_end,
          [&] { return (window = FindInstallerWindow(process_id)) != nullptr; },
          kPageTimeoutMs)) {
    result.error = "the installer window never showed";
  } else {
    save_when_drawn(window, u"welcome.bmp");
    PostMessageW(
        window, WM_COMMAND, MAKEWPARAM(controls::kAccept, BN_CLICKED),
        reinterpret_cast<LPARAM>(GetDlgItem(window, controls::kAccept)));
    if (!WaitUntil(
            front_end,
            [&] { return IsControlVisible(window, controls::kProgressBar); },
            kPageTimeoutMs)) {
      result.error = "the progress page never showed";
    } else {
      // As the page first shows: the installation has only begun.
      result.top_position = ProgressPosition(window, PBM_GETRANGE, FALSE);
      result.first_position = ProgressPosition(window, PBM_GETPOS, 0);
      save_when_drawn(window, u"progress.bmp");
      // The window closes once the installation has ended: its last
      // picture shows the end.
      std::vector<uint32_t> last;
      int width = 0;
      int height = 0;
      const ULONGLONG end = GetTickCount64() + kPageTimeoutMs;
      while (IsWindow(window) && IsWindowVisible(window) &&
             GetTickCount64() < end) {
        std::vector<uint32_t> pixels;
        int w = 0;
        int h = 0;
        const int position = ProgressPosition(window, PBM_GETPOS, 0);
        if (position >= 0 && CaptureWindow(window, &pixels, &w, &h)) {
          last.swap(pixels);
          width = w;
          height = h;
          result.final_position = position;
        }
        Sleep(kCaptureIntervalMs);
      }
      const base::FilePath final_page = screenshot_folder.Append(u"final.bmp");
      if (!last.empty() && SaveBitmap(final_page, last, width, height))
        result.screenshots.push_back(final_page);
    }
  }
  if (!front_end.WaitForExitWithTimeout(kPageTimeoutMs, &result.exit_code))
    result.exit_code = -1;
  return result;
}

int CountScreenshotColours(const base::FilePath& bitmap) {
  std::string bytes;
  if (!base::FileUtil::ReadFileToString(bitmap, &bytes)) return 0;
  const size_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  BITMAPINFOHEADER header = {};
  if (bytes.size() < offset || bytes.compare(0, 2, "BM") != 0) return 0;
  memcpy(&header, bytes.data() + sizeof(BITMAPFILEHEADER), sizeof(header));
  if (header.biBitCount != 24 || header.biWidth <= 0) return 0;
  const size_t row_size =
      (static_cast<size_t>(header.biWidth) * 3 + 3) & ~size_t{3};
  std::set<uint32_t> colours;
  for (size_t row = offset; row + row_size <= bytes.size(); row += row_size) {
    for (size_t at = row; at < row + header.biWidth * size_t{3}; at += 3) {
      colours.insert(static_cast<uint8_t>(bytes[at]) |
                     static_cast<uint8_t>(bytes[at + 1]) << 8 |
                     static_cast<uint8_t>(bytes[at + 2]) << 16);
    }
  }
  return static_cast<int>(colours.size());
}

}  // namespace sample
}  // namespace installer
