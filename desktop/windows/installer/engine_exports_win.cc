// The exports of the engine. Compiled into the engine DLL and into the outer
// executable, which carries the engine inside itself so that one copied
// installer.exe runs alone.

#include <windows.h>

#include "desktop/windows/installer/installer_main.h"

extern "C" {

__declspec(dllexport) bool RunInstaller() {
  return installer::RunInstallerMain();
}

// Other modules of the process share the main module's handle verifier
// through this export; handle tracking is not built in yet, so there is none
// to share.
__declspec(dllexport) void* GetHandleVerifier() { return nullptr; }

}  // extern "C"
