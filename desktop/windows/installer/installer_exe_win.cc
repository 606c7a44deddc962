// The outer executable: calls the engine once on its main thread and turns
// its result into the exit code.
//
// It runs from wherever the user saved it, often Downloads, and its elevated
// copy runs that same file: a DLL planted beside it must never load. Before
// anything else (the C runtime's start-up included) the library search is
// limited to the system folder; the libraries that Windows does not always
// take from there are delay-loaded (see velna_delay_load).

#include <windows.h>

extern "C" bool RunInstaller();

// The C runtime's entry point of a GUI program.
extern "C" int WinMainCRTStartup();

extern "C" int InstallerEntryPoint() {
  // Looked up: Windows 7 has it only with an update. Without it, at least
  // the current folder leaves the search.
  using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
  const auto set_default_directories =
      reinterpret_cast<SetDefaultDllDirectoriesFunction>(
          reinterpret_cast<void*>(
              ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"),
                               "SetDefaultDllDirectories")));
  if (!set_default_directories ||
      !set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    ::SetDllDirectoryW(L"");
  }
  return WinMainCRTStartup();
}

int wmain() { return RunInstaller() ? 0 : 1; }
