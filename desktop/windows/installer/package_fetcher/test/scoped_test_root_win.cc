#include "desktop/windows/installer/package_fetcher/test/scoped_test_root_win.h"

#include "desktop/windows/installer/package_fetcher/test/test_root_store_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {

ScopedTestRoot::ScopedTestRoot(const std::string& der) {
  std::string error;
  if (!AddTrustedRoot(der, &key_, &error)) {
    ADD_FAILURE() << error;
    key_.clear();
  }
}

ScopedTestRoot::~ScopedTestRoot() { Remove(); }

bool ScopedTestRoot::Remove() {
  if (key_.empty()) return true;
  if (!RemoveTrustedRoot(key_)) return false;
  key_.clear();
  return true;
}

}  // namespace test
}  // namespace installer
