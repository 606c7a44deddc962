// A throwaway root certificate in the machine's trusted roots (LocalMachine
// Root), as the signer tests need it: added from its DER encoding and
// removed again by deleting its registry key. Windows only; no test
// framework, so that test hosts can use it too.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_TEST_ROOT_STORE_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_TEST_ROOT_STORE_WIN_H_

#include <string>

namespace installer {
namespace test {

// Adds the DER-encoded certificate |der|, keeping one that is there already
// (so that processes adding the same root never see it missing), and gives
// its key below HKEY_LOCAL_MACHINE in |*key|. False, with the cause in
// |*error|, when it could not be added.
bool AddTrustedRoot(const std::string& der, std::u16string* key,
                    std::string* error);

// The key AddTrustedRoot() gives for |der|, or empty when |der| is no
// certificate.
std::u16string GetTrustedRootKey(const std::string& der);

// Deletes the root's key; true when it is gone (also when it never was).
bool RemoveTrustedRoot(const std::u16string& key);

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_TEST_ROOT_STORE_WIN_H_
