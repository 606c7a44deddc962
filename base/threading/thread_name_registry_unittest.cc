#include "base/threading/thread_name_registry.h"

#include <stdint.h>
#include <string.h>

#include "gtest/gtest.h"

namespace base {
namespace {

PlatformThreadHandle FakeHandle(uintptr_t value) {
  PlatformThreadHandle handle{};
  static_assert(sizeof(handle) == sizeof(value));
  memcpy(&handle, &value, sizeof(handle));
  return handle;
}

constexpr PlatformThreadId kMainId = 100;
constexpr PlatformThreadId kWorkerId = 200;

TEST(ThreadNameRegistryTest, UnknownIdsHaveTheEmptyName) {
  ThreadNameRegistry registry;
  EXPECT_STREQ("", registry.GetName(12345));
  registry.RegisterThread(FakeHandle(1), kWorkerId);
  EXPECT_STREQ("", registry.GetName(kWorkerId));
}

TEST(ThreadNameRegistryTest, UnregisteredThreadBecomesTheMainThread) {
  ThreadNameRegistry registry;
  registry.SetName(kMainId, "Main");
  EXPECT_STREQ("Main", registry.GetName(kMainId));
  registry.RegisterThread(FakeHandle(1), kWorkerId);
  registry.SetName(kWorkerId, "Worker");
  EXPECT_STREQ("Worker", registry.GetName(kWorkerId));
  EXPECT_STREQ("Main", registry.GetName(kMainId));
}

TEST(ThreadNameRegistryTest, NamesAreInternedAndOutliveTheirThreads) {
  ThreadNameRegistry registry;
  registry.RegisterThread(FakeHandle(1), kWorkerId);
  registry.SetName(kWorkerId, "Pool");
  const char* first = registry.GetName(kWorkerId);
  registry.RemoveName(FakeHandle(1), kWorkerId);
  EXPECT_STREQ("", registry.GetName(kWorkerId));
  // The pointer handed out stays valid, and a second thread of the same
  // name shares the one copy.
  EXPECT_STREQ("Pool", first);
  registry.RegisterThread(FakeHandle(2), kWorkerId + 1);
  registry.SetName(kWorkerId + 1, std::string("Po") + "ol");
  EXPECT_EQ(first, registry.GetName(kWorkerId + 1));
}

TEST(ThreadNameRegistryTest, ReusedIdSurvivesTheOldThreadsRemoval) {
  ThreadNameRegistry registry;
  registry.RegisterThread(FakeHandle(1), kWorkerId);
  registry.SetName(kWorkerId, "Old");
  // The system gave the id to a new thread before the old one unregistered.
  registry.RegisterThread(FakeHandle(2), kWorkerId);
  registry.SetName(kWorkerId, "New");
  registry.RemoveName(FakeHandle(1), kWorkerId);
  EXPECT_STREQ("New", registry.GetName(kWorkerId));
  registry.RemoveName(FakeHandle(2), kWorkerId);
  EXPECT_STREQ("", registry.GetName(kWorkerId));
}

const char* g_interned_name = nullptr;
void RecordInternedName(const char* name) { g_interned_name = name; }

TEST(ThreadNameRegistryTest, HeapProfilingHearsRegisteredThreadsOnly) {
  ThreadNameRegistry registry;
  g_interned_name = nullptr;
  ThreadNameRegistry::SetInternedNameObserver(&RecordInternedName);
  registry.SetName(kMainId, "Main");
  EXPECT_EQ(nullptr, g_interned_name);
  registry.RegisterThread(FakeHandle(1), kWorkerId);
  registry.SetName(kWorkerId, "Worker");
  ThreadNameRegistry::SetInternedNameObserver(nullptr);
  EXPECT_EQ(registry.GetName(kWorkerId), g_interned_name);
}

}  // namespace
}  // namespace base
