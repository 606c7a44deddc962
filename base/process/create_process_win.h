// CreateProcessW for every place that starts a process itself.

#ifndef BASE_PROCESS_CREATE_PROCESS_WIN_H_
#define BASE_PROCESS_CREATE_PROCESS_WIN_H_

#include <windows.h>

namespace base {

// CreateProcessW with these arguments (no process or thread security
// attributes), or CreateProcessAsUserW when |token| is given. Wine now and
// then fails a start with ERROR_INTERNAL_ERROR on a busy machine (the new
// process died while it was set up); such a start is tried twice more,
// 200 ms apart. GetLastError() tells why it failed.
bool CreateProcessRetryingInternalError(const wchar_t* application,
                                        wchar_t* command_line, BOOL inherit,
                                        DWORD flags, void* environment,
                                        const wchar_t* current_directory,
                                        STARTUPINFOW* startup_info,
                                        PROCESS_INFORMATION* process_info,
                                        HANDLE token = nullptr);

}  // namespace base

#endif  // BASE_PROCESS_CREATE_PROCESS_WIN_H_
