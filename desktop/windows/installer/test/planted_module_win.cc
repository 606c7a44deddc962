// A module planted where the installer runs, under the test harness's name:
// any code of it that runs leaves a marker file, named by the environment
// variable VELNA_TEST_MARKER. Its branding document is the harness's.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t marker[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"VELNA_TEST_MARKER", marker, MAX_PATH)) {
    HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  return TRUE;
}
