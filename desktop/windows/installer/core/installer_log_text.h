// Reading the installer's own log files back: the front end points its log
// at the logs of the backends it started, so that the reason of a failure
// is found from the log a user looks at first. Portable; no state.

#ifndef DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_LOG_TEXT_H_
#define DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_LOG_TEXT_H_

#include <stdint.h>

#include <string>

#include "base/strings/string_piece.h"

namespace installer {

// The text of the last line logged at ERROR severity in |log| (without its
// bracketed prefix and line end); empty when there is none.
std::string FindLastErrorMessage(base::StringPiece log);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_CORE_INSTALLER_LOG_TEXT_H_
