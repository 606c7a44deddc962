// Drives the installer's window in another process to the end of an
// install, the way a user does (accept, progress, end), by posting messages
// to its controls, and keeps a screenshot of each page. For the end-to-end
// test of the interactive front end and the main job's interactive run;
// needs a display (Xvfb under Wine).

#ifndef DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_

#include <stdint.h>

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace installer {
namespace sample {

// Where a control of the window stood when its page's picture was taken,
// in the picture's pixels (the window's client area).
struct ControlArea {
  int id = 0;
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct DriveResult {
  // The front end's exit code; -1 when it did not end.
  int exit_code = -1;
  // The screenshots saved, in page order: "welcome.bmp", "progress.bmp"
  // (the progress page as it first shows) and "final.bmp" (the window as
  // the installation ends: the last picture before it closed). Opaque
  // 24-bit bitmaps.
  std::vector<base::FilePath> screenshots;
  // The welcome page's headline, accept button and options button, as far
  // as they were shown.
  std::vector<ControlArea> welcome_controls;
  // The progress bar's position in the progress picture and in the final
  // one, and the bar's top.
  int first_position = 0;
  int final_position = 0;
  int top_position = 0;
  // What went wrong, empty when the window went through every page.
  std::string error;
};

// Waits (at most 60 s per page) for the window of |front_end|, saves the
// welcome page once it has painted, presses "Accept and install", saves
// the progress page once it shows and has painted, keeps taking pictures
// until the window closes (which it does once the installation has ended)
// and saves the last one, then waits for the process to end. Every picture
// is of the window's client area.
DriveResult DriveInteractiveInstall(const base::Process& front_end,
                                    const base::FilePath& screenshot_folder);

// A saved screenshot: rows from the top, each pixel 0x00RRGGBB.
struct Screenshot {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// Reads a 24-bit bitmap saved by DriveInteractiveInstall; false for any
// other file.
bool ReadScreenshot(const base::FilePath& bitmap, Screenshot* screenshot);

// The number of distinct colours of a saved screenshot (a window that was
// drawn has many); 0 when the file is no 24-bit bitmap of ours.
int CountScreenshotColours(const base::FilePath& bitmap);

}  // namespace sample
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_
