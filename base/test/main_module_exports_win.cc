// base_unittests.exe is the main module of its process, like the installer:
// it exports the handle verifier that every other module shares.

#include "base/win/scoped_handle_verifier.h"

extern "C" __declspec(dllexport) void* GetHandleVerifier() {
  return base::win::GetHandleVerifierForExport();
}
