// A registry key of one test, HKEY_CURRENT_USER\Software\VelnaTest\<name>,
// created empty (left-overs of an earlier run are removed first) and
// deleted with everything below it when the object goes out of scope.

#ifndef DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_TEST_REGISTRY_KEY_H_
#define DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_TEST_REGISTRY_KEY_H_

#include <windows.h>

#include <string>

namespace installer {
namespace test {

class ScopedTestRegistryKey {
 public:
  // |name| defaults to the running test's "Suite.Test".
  ScopedTestRegistryKey();
  explicit ScopedTestRegistryKey(const std::u16string& name);
  ScopedTestRegistryKey(const ScopedTestRegistryKey&) = delete;
  ScopedTestRegistryKey& operator=(const ScopedTestRegistryKey&) = delete;
  ~ScopedTestRegistryKey();

  static HKEY root() { return HKEY_CURRENT_USER; }
  // The key's path below HKEY_CURRENT_USER.
  const std::u16string& path() const { return path_; }
  // path() + "\" + |relative|.
  std::u16string Path(const std::u16string& relative) const;
  bool created() const { return created_; }

 private:
  std::u16string path_;
  bool created_ = false;
};

}  // namespace test
}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_SERVICE_TEST_SCOPED_TEST_REGISTRY_KEY_H_
