// The task scheduler warm-up: where its connection is made, that a hung
// connection holds nobody up, and the machine's real service afterwards.

#include "desktop/windows/installer/service/task_service_warm_up_win.h"

#include <objbase.h>
#include <windows.h>

#include "base/win/scoped_handle.h"
#include "desktop/windows/installer/service/test/null_task_scheduler.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// What the last fake scheduler saw; written on the worker, read after its
// done signal.
struct Seen {
  DWORD init_thread = 0;
  DWORD destroy_thread = 0;
  APTTYPE apartment = APTTYPE_CURRENT;
  HRESULT apartment_result = E_FAIL;
};
Seen g_seen;
// Set, Init waits for it before it answers.
HANDLE g_release = nullptr;
// Set by a fake that has been destroyed.
HANDLE g_destroyed = nullptr;

class FakeScheduler : public test::NullTaskScheduler {
 public:
  ~FakeScheduler() override {
    g_seen.destroy_thread = GetCurrentThreadId();
    if (g_destroyed) SetEvent(g_destroyed);
  }
  bool Init() override {
    g_seen.init_thread = GetCurrentThreadId();
    APTTYPEQUALIFIER qualifier;
    g_seen.apartment_result = CoGetApartmentType(&g_seen.apartment, &qualifier);
    if (g_release) WaitForSingleObject(g_release, INFINITE);
    return true;
  }
};

std::unique_ptr<TaskScheduler> MakeFake() {
  return std::make_unique<FakeScheduler>();
}

std::unique_ptr<TaskScheduler> MakeNothing() { return nullptr; }

TEST(TaskServiceWarmUpTest, ConnectsOnAWorkerOfItsOwnInTheMultithreadedApartment) {
  g_seen = Seen();
  TaskServiceWarmUp warm_up(&MakeFake);
  ASSERT_TRUE(warm_up.Wait(base::TimeDelta::FromSeconds(30)));
  EXPECT_NE(0u, g_seen.init_thread);
  EXPECT_NE(GetCurrentThreadId(), g_seen.init_thread);
  ASSERT_EQ(S_OK, g_seen.apartment_result);
  EXPECT_EQ(APTTYPE_MTA, g_seen.apartment);
  // Its objects go on the worker, before it says it is done.
  EXPECT_EQ(g_seen.init_thread, g_seen.destroy_thread);
  // Done stays done.
  EXPECT_TRUE(warm_up.Wait(base::TimeDelta()));

  // A factory without a scheduler is done too.
  TaskServiceWarmUp nothing(&MakeNothing);
  EXPECT_TRUE(nothing.Wait(base::TimeDelta::FromSeconds(30)));
}

TEST(TaskServiceWarmUpTest, AHungConnectionHoldsUpNeitherWaitNorDestruction) {
  g_seen = Seen();
  base::win::ScopedHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  base::win::ScopedHandle destroyed(
      CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(release.IsValid() && destroyed.IsValid());
  g_release = release.Get();
  g_destroyed = destroyed.Get();
  {
    TaskServiceWarmUp warm_up(&MakeFake);
    EXPECT_FALSE(warm_up.Wait(base::TimeDelta::FromMilliseconds(50)));
  }
  // The owner is gone; the worker finishes on its own once answered.
  SetEvent(release.Get());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(destroyed.Get(), 30000));
  g_release = nullptr;
  g_destroyed = nullptr;
}

TEST(TaskServiceWarmUpTest, TheRealServiceAnswersTheInstallerAfterwards) {
  TaskServiceWarmUp warm_up(&TaskScheduler::Create);
  ASSERT_TRUE(warm_up.Wait(base::TimeDelta::FromSeconds(120)));
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  {
    std::unique_ptr<TaskScheduler> scheduler = TaskScheduler::Create();
    EXPECT_TRUE(scheduler->Init());
  }
  CoUninitialize();
}

}  // namespace
}  // namespace installer
