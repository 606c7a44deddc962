// The installer engine's entry: the process command line alone decides the
// role this call plays.

#ifndef DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_
#define DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_

namespace installer {

// Runs the mode chosen by the command line once, on the thread that will run
// the message loop. True when the mode ran to its end.
bool RunInstallerMain();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_INSTALLER_MAIN_H_
