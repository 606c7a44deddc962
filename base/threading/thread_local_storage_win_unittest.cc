#include <windows.h>

#include <thread>

#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// base_test_module.dll carries its own thread-local storage; its TLS
// callback must run the slot destructors when a thread ends.
TEST(ThreadLocalStorageWinTest, DestructorsRunAtThreadExitInADll) {
  std::u16string path = GetTestExecutableFolder() + u"base_test_module.dll";
  HMODULE module = LoadLibraryW(as_wcstr(path));
  ASSERT_NE(nullptr, module);
  auto set_value = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void*>(
      GetProcAddress(module, "TestModuleSetSlotValue")));
  auto destructor_calls = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(
      GetProcAddress(module, "TestModuleDestructorCalls")));
  ASSERT_TRUE(set_value && destructor_calls);

  static int value = 1;
  std::thread([&] { set_value(&value); }).join();
  EXPECT_EQ(1, destructor_calls());
  // A thread that set nothing, and one that set null, add no call.
  std::thread([] {}).join();
  std::thread([&] { set_value(nullptr); }).join();
  EXPECT_EQ(1, destructor_calls());
  std::thread([&] { set_value(&value); }).join();
  EXPECT_EQ(2, destructor_calls());
}

}  // namespace
}  // namespace base
