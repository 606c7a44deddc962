// ScopedTestRoot: a test's throwaway root certificate in the machine's
// trusted roots (LocalMachine Root) while it lives; its registry key is
// deleted at the end.

#ifndef DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_SCOPED_TEST_ROOT_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_SCOPED_TEST_ROOT_WIN_H_

#include <string>

namespace installer {
namespace test {

class ScopedTestRoot {
 public:
  // Adds the DER-encoded certificate |der|; is_valid() tells whether it
  // went in.
  explicit ScopedTestRoot(const std::string& der);
  ScopedTestRoot(const ScopedTestRoot&) = delete;
  ScopedTestRoot& operator=(const ScopedTestRoot&) = delete;
  ~ScopedTestRoot();

  bool is_valid() const { return !key_.empty(); }
  // Deletes the certificate's key now; true when it is gone.
  bool Remove();

 private:
  // "Software\Microsoft\SystemCertificates\ROOT\Certificates\" + the
  // SHA-1 thumbprint, below HKEY_LOCAL_MACHINE.
  std::u16string key_;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PACKAGE_FETCHER_TEST_SCOPED_TEST_ROOT_WIN_H_
