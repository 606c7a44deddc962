// The sample package's launcher: installed into the root of the install
// folder, the target of the shortcuts and of the uninstall entry, which it
// hands on to the installed installer.

#include "desktop/windows/installer/sample/sample_launcher_win.h"

int wmain() { return installer::sample::RunSampleLauncher(); }
