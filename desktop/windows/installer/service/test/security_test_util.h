// Access lists and tokens for tests of the access-control paths: access
// lists written and read as SDDL text ("D:(A;;KA;;;BA)..."), the current
// user's SID, and restricted copies of the process token that stand for a
// user who is not an administrator (every process is one under test).

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SECURITY_TEST_UTIL_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SECURITY_TEST_UTIL_H_

#include <windows.h>
// After windows.h.
#include <accctrl.h>

#include <string>
#include <vector>

#include "base/win/scoped_handle.h"

namespace installer {
namespace test {

// "S-1-5-21-...".
std::u16string CurrentUserSidString();

// Writes the DACL of |sddl| (its "D:" part) to the object.
bool SetDaclFromSddl(const std::u16string& object_name, SE_OBJECT_TYPE type,
                     const std::u16string& sddl);
// The object's DACL as SDDL; empty when it cannot be read.
std::u16string GetDaclSddl(const std::u16string& object_name,
                           SE_OBJECT_TYPE type);

// A copy of the process token (or of |from|) in which the chosen SIDs only
// deny: the well-known groups |deny_only_groups| and, with |deny_user|, the
// user's own SID.
base::win::ScopedHandle MakeRestrictedToken(
    const std::vector<WELL_KNOWN_SID_TYPE>& deny_only_groups, bool deny_user,
    HANDLE from = nullptr);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SECURITY_TEST_UTIL_H_
