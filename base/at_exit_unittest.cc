#include "base/at_exit.h"

#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

std::vector<std::string> g_calls;

void Record(void* name) { g_calls.push_back(static_cast<const char*>(name)); }

TEST(AtExitManagerTest, CallbacksRunLastRegisteredFirst) {
  g_calls.clear();
  {
    AtExitManager manager;
    AtExitManager::RegisterCallback(&Record, const_cast<char*>("first"));
    AtExitManager::RegisterCallback(&Record, const_cast<char*>("second"));
    AtExitManager::RegisterCallback(&Record, const_cast<char*>("third"));
    EXPECT_TRUE(g_calls.empty());
  }
  EXPECT_EQ((std::vector<std::string>{"third", "second", "first"}), g_calls);
}

TEST(AtExitManagerTest, RegistrationFromOtherThreadsIsKept) {
  g_calls.clear();
  {
    AtExitManager manager;
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
      threads.emplace_back([] {
        AtExitManager::RegisterCallback(&Record, const_cast<char*>("t"));
      });
    }
    for (std::thread& thread : threads) thread.join();
  }
  EXPECT_EQ(8u, g_calls.size());
}

TEST(AtExitManagerTest, RegistrationWithoutManagerIsDropped) {
  if (AtExitManager::IsActive()) GTEST_SKIP() << "a manager is alive";
  g_calls.clear();
  AtExitManager::RegisterCallback(&Record, const_cast<char*>("lost"));
  { AtExitManager manager; }
  EXPECT_TRUE(g_calls.empty());
}

void RegisterAnother(void*) {
  g_calls.push_back("registering");
  AtExitManager::RegisterCallback(&Record, const_cast<char*>("late"));
}

TEST(AtExitManagerTest, CallbackRegisteredDuringProcessingDoesNotRun) {
  g_calls.clear();
  {
    AtExitManager manager;
    AtExitManager::RegisterCallback(&RegisterAnother, nullptr);
  }
  EXPECT_EQ((std::vector<std::string>{"registering"}), g_calls);
}

TEST(AtExitManagerTest, ProcessCallbacksNowEmptiesTheStack) {
  g_calls.clear();
  AtExitManager manager;
  AtExitManager::RegisterCallback(&Record, const_cast<char*>("once"));
  AtExitManager::ProcessCallbacksNow();
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ((std::vector<std::string>{"once"}), g_calls);
  // Registered during an explicit pass: kept for the next one.
  AtExitManager::RegisterCallback(&RegisterAnother, nullptr);
  AtExitManager::ProcessCallbacksNow();
  AtExitManager::ProcessCallbacksNow();
  EXPECT_EQ((std::vector<std::string>{"once", "registering", "late"}), g_calls);
}

TEST(AtExitManagerTest, NestedManagerRunsOnlyItsOwnCallbacks) {
  g_calls.clear();
  {
    AtExitManager outer;
    AtExitManager::RegisterCallback(&Record, const_cast<char*>("outer"));
    {
      AtExitManager inner;
      AtExitManager::RegisterCallback(&Record, const_cast<char*>("inner"));
    }
    EXPECT_EQ((std::vector<std::string>{"inner"}), g_calls);
    // The outer one is the top again.
    AtExitManager::RegisterCallback(&Record, const_cast<char*>("outer 2"));
  }
  EXPECT_EQ((std::vector<std::string>{"inner", "outer 2", "outer"}), g_calls);
}

}  // namespace
}  // namespace base
