// A process for the snapshot tests: it lays out an exception record, a
// context and exception pointers in its memory as a crashed installer
// process would, prints where they are, and waits with two more threads
// until it is ended, or its test has ended.
//
// Prints one line: the address of the variable holding the exception
// pointers' address, the address of the crashed thread's id, the thread's
// id and the exception address, in decimal.

#include <stdint.h>
#include <stdio.h>
#include <windows.h>

#include "base/test/child_process_win.h"

namespace {

EXCEPTION_RECORD g_record;
CONTEXT g_context;
EXCEPTION_POINTERS g_pointers;
EXCEPTION_POINTERS* volatile g_pointers_address;
volatile DWORD g_crashed_thread_id;

DWORD WINAPI Wait(void* event) {
  WaitForSingleObject(event, INFINITE);
  return 0;
}

}  // namespace

int wmain() {
  HANDLE never = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (int i = 0; i < 2; ++i)
    CloseHandle(CreateThread(nullptr, 0, &Wait, never, 0, nullptr));

  RtlCaptureContext(&g_context);
  g_record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  g_record.ExceptionAddress = reinterpret_cast<void*>(g_context.Rip);
  g_pointers.ExceptionRecord = &g_record;
  g_pointers.ContextRecord = &g_context;
  g_pointers_address = &g_pointers;
  g_crashed_thread_id = GetCurrentThreadId();
  printf("%llu %llu %lu %llu\n",
         static_cast<unsigned long long>(
             reinterpret_cast<uintptr_t>(&g_pointers_address)),
         static_cast<unsigned long long>(
             reinterpret_cast<uintptr_t>(&g_crashed_thread_id)),
         static_cast<unsigned long>(g_crashed_thread_id),
         static_cast<unsigned long long>(g_context.Rip));
  fflush(stdout);
  base::WaitForParentToEnd();
  return 0;
}
