// Small file helpers under the upload bodies: open a file for reading, read
// from it until a count is reached or the file ends, and close it with the
// failure logged or treated as fatal.
//
// The helpers keep no state; any thread may call them. A handle belongs to
// the caller, who closes it with one of the close functions.

#ifndef DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_FILE_FILE_IO_H_
#define DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_FILE_FILE_IO_H_

#include <stddef.h>
#include <stdint.h>

#include "base/files/file_path.h"

namespace crash_reporter {

#if defined(_WIN32)
using FileHandle = void*;  // HANDLE
#else
using FileHandle = int;  // a file descriptor
#endif

// A count of bytes, or -1 for a failure.
using FileOperationResult = int64_t;

// The handle that stands for "no file".
FileHandle InvalidFileHandle();
bool IsValidFileHandle(FileHandle file);

// Opens an existing file for reading; others may read and write it
// meanwhile. On failure logs "CreateFile " and the path with the system error
// at ERROR and returns InvalidFileHandle().
FileHandle OpenFileForRead(const base::FilePath& path);

// Reads until |size| bytes are in |buffer| or the file ends: the count read
// (less than |size| only at the end), or -1 on an error. |size| must fit in
// 32 bits. A zero-length read ends the file, except on a pipe, where it is
// an empty message; a broken pipe counts as the end.
FileOperationResult ReadFromFile(FileHandle file, void* buffer, size_t size);

// Closes |file|; a failure is logged ("CloseHandle" with the system error) and
// gives false.
bool CloseFileLogged(FileHandle file);
// Closes |file|; a failure is a broken invariant and ends the process.
void CloseFileChecked(FileHandle file);

}  // namespace crash_reporter

#endif  // DESKTOP_WINDOWS_CRASH_REPORTER_UTIL_FILE_FILE_IO_H_
