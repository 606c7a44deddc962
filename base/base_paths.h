// The keys of PathService (path_service.h) that every platform has, and
// their provider. The numbers are binding: other parts of the program ask
// for folders only by them. The Windows keys are in base_paths_win.h.

#ifndef BASE_BASE_PATHS_H_
#define BASE_BASE_PATHS_H_

namespace base {

class FilePath;

enum BasePathKey {
  // The current folder, read afresh on every call.
  DIR_CURRENT = 1,
  // The folder of the process's executable.
  DIR_EXE = 2,
  // The folder of the module holding this code.
  DIR_MODULE = 3,
  DIR_TEMP = 4,
  // The user's profile folder (or the temporary folder, or "C:\").
  DIR_HOME = 5,
  // The process's executable file.
  FILE_EXE = 6,
  // The file of the module holding this code.
  FILE_MODULE = 7,
  // Two levels above the executable's folder.
  DIR_TWO_ABOVE_EXE = 8,
  DIR_USER_DESKTOP = 9,
  // DIR_TWO_ABOVE_EXE\base\test\data, when it exists.
  DIR_TEST_DATA = 10,
};

// Answers keys 2 to 5 and 10 (the others through PathService::Get). Writes
// |*result| only when it answers true.
bool PathProvider(int key, FilePath* result);

}  // namespace base

#endif  // BASE_BASE_PATHS_H_
