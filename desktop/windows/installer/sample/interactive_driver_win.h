// Drives the installer's window in another process to the end of an
// install, the way a user does (accept, progress, end), by posting messages
// to its controls, and keeps a screenshot of each page. For the end-to-end
// test of the interactive front end and the main job's interactive run;
// needs a display (Xvfb under Wine).

#ifndef DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_

#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/process/process.h"

namespace installer {
namespace sample {

struct DriveResult {
  // The front end's exit code; -1 when it did not end.
  int exit_code = -1;
  // The screenshots saved, in page order: "welcome.bmp", "progress.bmp"
  // (the progress page as it first shows) and "final.bmp" (the window as
  // the installation ends: the last picture before it closed). Opaque
  // 24-bit bitmaps.
  std::vector<base::FilePath> screenshots;
  // The progress bar's position in the progress picture and in the final
  // one, and the bar's top.
  int first_position = 0;
  int final_position = 0;
  int top_position = 0;
  // What went wrong, empty when the window went through every page.
  std::string error;
};

// Waits (at most 60 s per page) for the window of |front_end|, saves the
// welcome page, presses "Accept and install", saves the progress page as
// soon as it shows, keeps taking pictures until the window closes (which
// it does once the installation has ended) and saves the last one, then
// waits for the process to end.
DriveResult DriveInteractiveInstall(const base::Process& front_end,
                                    const base::FilePath& screenshot_folder);

// The number of distinct colours of a saved screenshot (a window that was
// drawn has many); 0 when the file is no 24-bit bitmap of ours.
int CountScreenshotColours(const base::FilePath& bitmap);

}  // namespace sample
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SAMPLE_INTERACTIVE_DRIVER_WIN_H_
