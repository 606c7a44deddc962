// Access checks and temporary widening of access lists for the current user,
// on files (SE_FILE_OBJECT, named by path) and registry keys
// (SE_REGISTRY_KEY, named "CURRENT_USER\Software\..." and so on, see
// RegistryObjectName()).
//
// The install operations ask CanCurrentUserAccess() first and call
// GrantCurrentUserAccess() only when access is missing. A grant made with
// kKeepPreviousAccess hands back a SavedSecurity record that
// RestoreSavedSecurity() later writes back; a grant made with kKeepGrant
// stays for good. A failed grant leaves no record, so it is never undone.
//
// No shared state: any thread may call these. All of them report failure
// through their result only.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_ACCESS_CONTROL_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_ACCESS_CONTROL_H_

#include <windows.h>
// After windows.h.
#include <accctrl.h>
#include <stdint.h>

#include <memory>
#include <string>

namespace installer {

// The |option| of GrantCurrentUserAccess(): 0 keeps a record of the previous
// access list; any other value keeps nothing.
enum GrantOption : uint32_t {
  kKeepPreviousAccess = 0,
  kKeepGrant = 1,
};

// The access list of an object before GrantCurrentUserAccess() changed it.
// Owns the security descriptor that holds the previous DACL.
class SavedSecurity {
 public:
  // Takes |descriptor| (freed with LocalFree); |previous_dacl| points into
  // it and may be null (an object without a DACL).
  SavedSecurity(std::u16string object_name, SE_OBJECT_TYPE object_type,
                PACL previous_dacl, PSECURITY_DESCRIPTOR descriptor);
  SavedSecurity(const SavedSecurity&) = delete;
  SavedSecurity& operator=(const SavedSecurity&) = delete;
  ~SavedSecurity();

  const std::u16string& object_name() const { return object_name_; }
  SE_OBJECT_TYPE object_type() const { return object_type_; }
  PACL previous_dacl() const { return previous_dacl_; }

 private:
  std::u16string object_name_;
  SE_OBJECT_TYPE object_type_;
  PACL previous_dacl_;
  PSECURITY_DESCRIPTOR descriptor_;
};

// The object name of a registry key for the security functions: a prefix
// chosen by the root ("CLASSES_ROOT\", "MACHINE\", "CURRENT_USER\",
// "USERS\"), then |key_path|; any other root gives the bare key path.
std::u16string RegistryObjectName(HKEY root, const std::u16string& key_path);

// True when an access check of |desired_access| against the object's owner,
// group and DACL grants it to the current user's token. False for types
// other than SE_FILE_OBJECT and SE_REGISTRY_KEY and when anything fails.
bool CanCurrentUserAccess(const std::u16string& object_name,
                          SE_OBJECT_TYPE type, uint32_t desired_access);

// The same for the file |file| opened (with READ_CONTROL), whatever its
// name leads to now.
bool CanCurrentUserAccessOpenedFile(HANDLE file, uint32_t desired_access);

// Enables or disables |privilege| on |token|, which it takes over and
// closes. True when the adjustment succeeded and assigned the privilege.
bool SetTokenPrivilege(const std::u16string& privilege, bool enable,
                       HANDLE token);

// Makes BUILTIN\Administrators the owner of the object, with the
// take-ownership privilege enabled for the call only.
bool TakeOwnership(const std::u16string& object_name, SE_OBJECT_TYPE type);

// Grants the current user |access| on the object (inherited by
// sub-containers and objects), first removing those bits from entries that
// deny them to a group of the caller; takes ownership when the access list
// cannot be read or written otherwise. Any record held by |*saved| is
// destroyed first; with kKeepPreviousAccess a successful grant puts the new
// record there. False when the grant could not be written.
bool GrantCurrentUserAccess(const std::u16string& object_name,
                            SE_OBJECT_TYPE type, uint32_t access,
                            uint32_t option,
                            std::unique_ptr<SavedSecurity>* saved);

// Writes the saved DACL back to its object and destroys the record. False
// when nothing is saved or the write failed (the record is destroyed then
// too).
bool RestoreSavedSecurity(std::unique_ptr<SavedSecurity>* saved);

namespace internal {

// While it lives, the access checks, the membership tests of
// GrantCurrentUserAccess() and IsUserAdministrator() (utils.h) consult
// |token| instead of the process token, so that tests can stand for a user
// who is no administrator (under test every process is one). The token is
// not owned and must outlive the object. One at a time.
class ScopedAccessTokenForTesting {
 public:
  explicit ScopedAccessTokenForTesting(HANDLE token);
  ScopedAccessTokenForTesting(const ScopedAccessTokenForTesting&) = delete;
  ScopedAccessTokenForTesting& operator=(const ScopedAccessTokenForTesting&) =
      delete;
  ~ScopedAccessTokenForTesting();

 private:
  HANDLE previous_;
};

// A new handle (the caller closes it) to the token the checks consult: the
// process token opened with |access|, or a duplicate of the test's token
// with the access that handle has. Null on failure.
HANDLE OpenEffectiveToken(DWORD access);

}  // namespace internal

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_ACCESS_CONTROL_H_
