// The sample package's browser executable, named after the branding's file
// name base and installed into the versioned installation subfolder.

#include "desktop/windows/installer/sample/sample_program_win.h"

int wmain() { return installer::sample::RunSampleProgram(L"browser"); }
