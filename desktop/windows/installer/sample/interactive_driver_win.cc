#include "desktop/windows/installer/sample/interactive_driver_win.h"

#include <windows.h>

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

// A top-down 32-bit BMP file.
bool SaveBitmap(const base::FilePath& path, const std::vector<uint32_t>& pixels,
                int width, int height) {
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  const size_t data_size = pixels.size() * sizeof(uint32_t);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = static_cast<DWORD>(file.bfOffBits + data_size);
  std::string bytes(reinterpret_cast<const char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<const char*>(&header), sizeof(header));
  bytes.append(reinterpret_cast<const char*>(pixels.data()), data_size);
  return base::WriteBufferToFile(path, bytes.data(),
                                 static_cast<int>(bytes.size())) ==
         static_cast<int>(bytes.size());
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
      save_when_drawn(window, u"progress.bmp");
      // The last picture of the window before it closes.
      std::vector<uint32_t> last;
      int width = 0;
      int height = 0;
      const ULONGLONG end = GetTickCount64() + kPageTimeoutMs;
      while (IsWindow(window) && IsWindowVisible(window) &&
             GetTickCount64() < end) {
        std::vector<uint32_t> pixels;
        int w = 0;
        int h = 0;
        if (CaptureWindow(window, &pixels, &w, &h)) {
          last.swap(pixels);
          width = w;
          height = h;
        }
        Sleep(100);
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
  if (bytes.size() < offset || bytes.compare(0, 2, "BM") != 0) return 0;
  std::vector<uint32_t> pixels((bytes.size() - offset) / 4);
  if (!pixels.empty())
    memcpy(pixels.data(), bytes.data() + offset, pixels.size() * 4);
  return static_cast<int>(CountColours(pixels.data(), pixels.size()));
}

}  // namespace sample
}  // namespace installer
