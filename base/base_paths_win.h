// The Windows keys of PathService: the system and shell folders.

#ifndef BASE_BASE_PATHS_WIN_H_
#define BASE_BASE_PATHS_WIN_H_

namespace base {

class FilePath;

enum BasePathKeyWin {
  DIR_WINDOWS = 101,
  DIR_SYSTEM = 102,
  DIR_PROGRAM_FILES = 103,
  // "Program Files (x86)", or DIR_PROGRAM_FILES on a 32-bit processor.
  DIR_PROGRAM_FILES_X86 = 104,
  DIR_PROGRAM_FILES_NATIVE = 105,
  DIR_INTERNET_CACHE = 106,
  DIR_COMMON_START_MENU = 107,  // all users' start menu programs
  DIR_START_MENU = 108,         // the user's start menu programs
  DIR_ROAMING_APP_DATA = 109,
  DIR_LOCAL_APP_DATA = 110,
  DIR_COMMON_APP_DATA = 111,
  // The application shortcuts folder; Windows 8 and later only.
  DIR_APP_SHORTCUTS = 112,
  DIR_COMMON_DESKTOP = 113,
  // DIR_ROAMING_APP_DATA\Microsoft\Internet Explorer\Quick Launch
  DIR_QUICK_LAUNCH = 114,
  // DIR_QUICK_LAUNCH\User Pinned\TaskBar
  DIR_TASKBAR_PINS = 115,
  // DIR_QUICK_LAUNCH\User Pinned\ImplicitAppShortcuts
  DIR_IMPLICIT_APP_SHORTCUTS = 116,
  DIR_FONTS = 117,
};

// Answers keys 6 to 9 and 101 to 117. Writes |*result| only when it
// answers true. Asked before PathProvider.
bool PathProviderWin(int key, FilePath* result);

}  // namespace base

#endif  // BASE_BASE_PATHS_WIN_H_
