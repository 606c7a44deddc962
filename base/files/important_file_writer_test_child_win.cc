// The writer process of the interrupted-write test: rewrites one file with
// ImportantFileWriter over and over, each time with the next generation of
// the test contents, until it is killed. It sets the named event once the
// first write is complete.
//
//   important_file_writer_test_child.exe <file> <event name> <body size>

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#include <stdlib.h>

#include "base/files/file_path.h"
#include "base/files/important_file_writer.h"
#include "base/files/important_file_writer_test_contents.h"
#include "base/strings/string_util_win.h"

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (!argv || argc != 4) return 2;
  const base::FilePath path(base::as_u16cstr(argv[1]));
  HANDLE event = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
  const size_t size = static_cast<size_t>(_wtoi(argv[3]));
  if (!event) return 3;
  for (uint32_t generation = 1;; ++generation) {
    if (!base::ImportantFileWriter::WriteFileAtomically(
            path, base::test::MakeWriterTestContents(generation, size))) {
      return 4;
    }
    if (generation == 1) ::SetEvent(event);
  }
}
