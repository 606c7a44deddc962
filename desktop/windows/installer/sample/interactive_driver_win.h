// Drives the installer's window in another process to the end of an
// install, the way a user does (accept, progress, end), by posting messages
// to its controls, and keeps a screenshot of each page. For the end-to-end
// test of the interactive front end and the main job's interactive run;
// needs a display (Xvfb under Wine).

#ifndef DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_

#include <stdint.h>
#include <windows.h>

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
  // (the progress page during the installation) and "final.bmp" (the
  // window as the installation ends). Opaque 24-bit bitmaps.
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

// The events of a package backend that pauses where the pictures are taken
// (a test's stand-in backend, installer_test_host.h): at each point it sets
// the first and waits until the second is set.
struct InstallPauses {
  // Before one of its steps: the progress picture.
  HANDLE progress_paused = nullptr;
  HANDLE progress_resume = nullptr;
  // At its success, after the last step's work: the final picture.
  HANDLE end_paused = nullptr;
  HANDLE end_resume = nullptr;
};

// Waits (at most 60 s per page) for the window of |front_end|, saves the
// welcome page once it has painted, presses "Accept and install", saves
// the progress page once it shows and has painted, and the final one,
// then waits for the process to end. Every picture is of the window's
// client area.
//
// With |pauses|, each picture waits for its pause, and the backend goes on
// once the picture is saved: the pictures do not depend on how long the
// installation takes. Without them (a real backend) the progress picture
// is taken as the page first shows, and the final one is the last picture
// taken before the window closed, which it does once the installation has
// ended: a short installation may close it before there is any.
DriveResult DriveInteractiveInstall(const base::Process& front_end,
                                    const base::FilePath& screenshot_folder,
                                    const InstallPauses* pauses = nullptr);

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
