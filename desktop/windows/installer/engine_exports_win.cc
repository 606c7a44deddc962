// The exports of the engine. Compiled into the engine DLL and into the outer
// executable, which carries the engine inside itself so that one copied
// installer.exe runs alone.

#include <windows.h>

#include "base/win/scoped_handle_verifier.h"
#include "desktop/windows/installer/installer_main.h"
#include "desktop/windows/installer/processor_check_win.h"

namespace {

// Runs when the module is loaded, before RunInstaller: without SSE2 the
// process ends here.
[[maybe_unused]] const bool g_processor_checked =
    installer::CheckProcessorAtLoad();

}  // namespace

extern "C" {

__declspec(dllexport) bool RunInstaller() {
  return installer::RunInstallerMain();
}

// Other modules of the process find the main module's handle verifier
// through this export and share its table of owned handles.
__declspec(dllexport) void* GetHandleVerifier() {
  return base::win::GetHandleVerifierForExport();
}

}  // extern "C"
