// A module planted where the installer runs, under the test harness's name
// or under the name of a system library: any code of it that runs adds its
// own file name, one a line, to a marker file named by the environment
// variable VELNA_TEST_MARKER. Its branding document is the harness's.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t marker[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"VELNA_TEST_MARKER", marker, MAX_PATH))
    return TRUE;
  char name[MAX_PATH + 2] = {};
  DWORD length = GetModuleFileNameA(module, name, MAX_PATH);
  name[length++] = '\r';
  name[length++] = '\n';
  HANDLE file =
      CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, name, length, &written, nullptr);
    CloseHandle(file);
  }
  return TRUE;
}
