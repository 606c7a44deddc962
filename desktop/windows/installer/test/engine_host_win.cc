// A host program without branding resources of its own: loads the engine
// DLL beside it and calls RunInstaller once, as an outer installer
// executable does. Exit code 0 for true, 1 for false, 2 when the engine
// cannot be loaded.

#include <windows.h>

#include <string>

int wmain() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  std::wstring engine_path(path, length);
  engine_path.resize(engine_path.find_last_of(L'\\') + 1);
  engine_path += L"installer_engine.dll";
  HMODULE engine = LoadLibraryExW(engine_path.c_str(), nullptr,
                                  LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!engine) return 2;
  using RunInstallerFunction = bool (*)();
  const auto run_installer = reinterpret_cast<RunInstallerFunction>(
      reinterpret_cast<void*>(GetProcAddress(engine, "RunInstaller")));
  if (!run_installer) return 2;
  return run_installer() ? 0 : 1;
}
