#include "desktop/windows/installer/service/test/integration_child.h"

#include "base/base_paths.h"
#include "base/path_service.h"

namespace installer {
namespace test {

base::FilePath GetIntegrationChildPath() {
  base::FilePath folder;
  base::PathService::Get(base::DIR_EXE, &folder);
  return folder.Append(u"installer_integration_test_child.exe");
}

}  // namespace test
}  // namespace installer
