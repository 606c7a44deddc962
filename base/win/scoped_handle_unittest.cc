#include "base/win/scoped_handle.h"

#include <windows.h>

#include <set>
#include <utility>

#include "base/strings/string_util_win.h"
#include "base/test/child_process_win.h"
#include "base/win/scoped_handle_verifier.h"
#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

// __builtin_trap: how the verifier stops the process.
bool EndedByTrap(int exit_code) {
  return static_cast<DWORD>(exit_code) == STATUS_ILLEGAL_INSTRUCTION;
}

HANDLE NewEvent() { return CreateEventW(nullptr, TRUE, FALSE, nullptr); }

bool IsOpen(HANDLE handle) {
  DWORD flags;
  return GetHandleInformation(handle, &flags) != 0;
}

const void* const kPc = reinterpret_cast<const void*>(&NewEvent);

TEST(ScopedHandleTest, InvalidValuesHoldAndTrackNothing) {
  ScopedHandle zero(nullptr);
  ScopedHandle invalid(INVALID_HANDLE_VALUE);
  // Tracked, a second wrapper of the same value would stop the process.
  ScopedHandle invalid_again(INVALID_HANDLE_VALUE);
  EXPECT_FALSE(zero.IsValid());
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(nullptr, invalid.Get());
  invalid.Close();
  EXPECT_EQ(nullptr, invalid.Take());
}

TEST(ScopedHandleTest, SetToTheHeldHandleChangesNothing) {
  HANDLE event = NewEvent();
  ScopedHandle handle(event);
  handle.Set(event);
  EXPECT_EQ(event, handle.Get());
  EXPECT_TRUE(SetEvent(event));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
}

TEST(ScopedHandleTest, SetAndCloseCloseTheOldHandle) {
  HANDLE first = NewEvent();
  HANDLE second = NewEvent();
  ScopedHandle handle(first);
  handle.Set(second);
  EXPECT_FALSE(IsOpen(first));
  EXPECT_TRUE(IsOpen(second));
  handle.Close();
  EXPECT_FALSE(handle.IsValid());
  EXPECT_FALSE(IsOpen(second));
}

TEST(ScopedHandleTest, TakeGivesUpOwnership) {
  HANDLE event = NewEvent();
  {
    ScopedHandle handle(event);
    EXPECT_EQ(event, handle.Take());
    EXPECT_FALSE(handle.IsValid());
  }
  EXPECT_TRUE(IsOpen(event));
  // No longer tracked: another wrapper may own it.
  ScopedHandle new_owner(event);
}

TEST(ScopedHandleTest, MoveTransfersOwnership) {
  HANDLE event = NewEvent();
  ScopedHandle first(event);
  ScopedHandle second(std::move(first));
  EXPECT_FALSE(first.IsValid());
  EXPECT_EQ(event, second.Get());
  ScopedHandle third;
  third = std::move(second);
  EXPECT_EQ(event, third.Get());
  third = ScopedHandle();
  EXPECT_FALSE(IsOpen(event));
}

TEST(ScopedHandleTest, LastErrorIsPreserved) {
  HANDLE first = NewEvent();
  HANDLE second = NewEvent();
  // Each value is read at once: the test's own calls may change it.
  SetLastError(1234);
  ScopedHandle handle(first);
  DWORD after_construction = GetLastError();
  SetLastError(2345);
  handle.Set(second);
  DWORD after_set = GetLastError();
  SetLastError(3456);
  handle.Close();
  DWORD after_close = GetLastError();
  EXPECT_EQ(1234u, after_construction);
  EXPECT_EQ(2345u, after_set);
  EXPECT_EQ(3456u, after_close);
}

TEST(ScopedHandleTest, TheMainModulesVerifierIsActive) {
  // base_unittests.exe exports GetHandleVerifier like the installer does.
  EXPECT_EQ(GetModuleHandleW(nullptr), GetActiveVerifier()->GetModule());
}

TEST(ScopedHandleDeathTest, SecondOwnerStops) {
  EXPECT_EXIT(
      {
        HANDLE event = NewEvent();
        ScopedHandle first(event);
        ScopedHandle second(event);
      },
      EndedByTrap, "");
}

TEST(ScopedHandleDeathTest, ClosingAClosedHandleStops) {
  EXPECT_EXIT(
      {
        HANDLE event = NewEvent();
        CloseHandle(event);
        CloseHandleWrapper(event);
      },
      EndedByTrap, "");
}

TEST(ScopedHandleDeathTest, ReleaseByAnotherOwnerStops) {
  EXPECT_EXIT(
      {
        ScopedHandle owner(NewEvent());
        int impostor;
        StopHandleTracking(owner.Get(), &impostor, kPc, kPc);
      },
      EndedByTrap, "");
}

TEST(ScopedHandleDeathTest, ReleaseOfAnUntrackedHandleStops) {
  EXPECT_EXIT(
      {
        int owner;
        StopHandleTracking(NewEvent(), &owner, kPc, kPc);
      },
      EndedByTrap, "");
}

TEST(ScopedHandleDeathTest, ForeignCloseOfAnOwnedHandleStops) {
  EXPECT_EXIT(
      {
        ScopedHandle owner(NewEvent());
        GetActiveVerifier()->OnHandleBeingClosed(owner.Get());
      },
      EndedByTrap, "");
}

// A hook's report of a close that no ScopedHandle owns neither closes the
// handle, nor starts tracking it, nor touches what is tracked.
TEST(ScopedHandleTest, ForeignCloseOfAnUnownedHandleIsIgnored) {
  HandleVerifier* verifier = GetActiveVerifier();
  ScopedHandle owned(NewEvent());
  HANDLE unowned = NewEvent();
  verifier->OnHandleBeingClosed(unowned);
  EXPECT_TRUE(IsOpen(unowned));
  EXPECT_FALSE(verifier->IsTrackingForTesting(unowned));
  EXPECT_TRUE(verifier->IsTrackingForTesting(owned.Get()));
  EXPECT_TRUE(CloseHandleWrapper(unowned));
  EXPECT_FALSE(IsOpen(unowned));
}

// A CloseHandle as a hook in another module would see it: it reports the
// close to the verifier first.
HandleVerifier* g_hooked_verifier = nullptr;
BOOL WINAPI HookedCloseHandle(HANDLE handle) {
  g_hooked_verifier->OnHandleBeingClosed(handle);
  return CloseHandle(handle);
}

TEST(HandleVerifierTest, OwnCloseIsNotAForeignClose) {
  g_hooked_verifier = new HandleVerifier(true);
  internal::SetCloseHandleFunctionForTesting(&HookedCloseHandle);
  HANDLE event = NewEvent();
  int owner;
  g_hooked_verifier->StartTracking(event, &owner, kPc, kPc);
  // Still tracked while the verifier closes it: the thread's marker tells
  // the hook's report apart from a foreign close.
  EXPECT_TRUE(g_hooked_verifier->CloseHandle(event));
  internal::SetCloseHandleFunctionForTesting(nullptr);
  EXPECT_FALSE(IsOpen(event));
  g_hooked_verifier->StopTracking(event, &owner, kPc, kPc);
}

TEST(HandleVerifierDeathTest, SecondTrackingOfOneHandleStops) {
  EXPECT_EXIT(
      {
        auto* verifier = new HandleVerifier(true);
        HANDLE event = NewEvent();
        int first;
        int second;
        verifier->StartTracking(event, &first, kPc, kPc);
        verifier->StartTracking(event, &second, kPc, kPc);
      },
      EndedByTrap, "");
}

TEST(HandleVerifierTest, DisabledVerifierOnlyCloses) {
  auto* verifier = new HandleVerifier(false);
  HANDLE event = NewEvent();
  int first, second;
  verifier->StartTracking(event, &first, kPc, kPc);
  verifier->StartTracking(event, &second, kPc, kPc);
  verifier->StopTracking(event, &second, kPc, kPc);
  verifier->OnHandleBeingClosed(event);
  EXPECT_TRUE(verifier->CloseHandle(event));
  EXPECT_FALSE(IsOpen(event));
}

// After Disable nothing is recorded and nothing is checked: a second
// owner, a release by a stranger and a foreign close all pass, and the
// handle is still closed.
TEST(HandleVerifierTest, DisableStopsTracking) {
  auto* verifier = new HandleVerifier(true);
  HANDLE tracked_before = NewEvent();
  HANDLE event = NewEvent();
  int owner, stranger;
  verifier->StartTracking(tracked_before, &owner, kPc, kPc);
  ASSERT_TRUE(verifier->IsTrackingForTesting(tracked_before));
  verifier->Disable();
  verifier->StartTracking(event, &owner, kPc, kPc);
  EXPECT_FALSE(verifier->IsTrackingForTesting(event));
  verifier->StartTracking(event, &stranger, kPc, kPc);
  verifier->StopTracking(tracked_before, &stranger, kPc, kPc);
  verifier->OnHandleBeingClosed(tracked_before);
  EXPECT_TRUE(verifier->CloseHandle(event));
  EXPECT_FALSE(IsOpen(event));
  EXPECT_TRUE(verifier->CloseHandle(tracked_before));
  EXPECT_FALSE(IsOpen(tracked_before));
}

// Windows refuses to close a handle protected from closing; Wine reports
// success and keeps it open. This close behaves as Windows does, so the
// verifier's own checks (the object type and the flags) run for real.
BOOL WINAPI CloseUnlessProtected(HANDLE handle) {
  DWORD flags = 0;
  if (GetHandleInformation(handle, &flags) &&
      (flags & HANDLE_FLAG_PROTECT_FROM_CLOSE)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return CloseHandle(handle);
}

TEST(HandleVerifierTest, ProtectedProcessHandleReportsFalse) {
  HANDLE process = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(),
                              GetCurrentProcess(), &process, 0, FALSE,
                              DUPLICATE_SAME_ACCESS));
  ASSERT_TRUE(SetHandleInformation(process, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                                   HANDLE_FLAG_PROTECT_FROM_CLOSE));
  internal::SetCloseHandleFunctionForTesting(&CloseUnlessProtected);
  // Both kinds of verifier tell the caller that the handle stayed open.
  EXPECT_FALSE(CloseHandleWrapper(process));
  EXPECT_FALSE((new HandleVerifier(false))->CloseHandle(process));
  internal::SetCloseHandleFunctionForTesting(nullptr);
  EXPECT_EQ(GetCurrentProcessId(), GetProcessId(process));
  ASSERT_TRUE(SetHandleInformation(process, HANDLE_FLAG_PROTECT_FROM_CLOSE, 0));
  EXPECT_TRUE(CloseHandleWrapper(process));
}

TEST(HandleVerifierDeathTest, ProtectedEventHandleStops) {
  EXPECT_EXIT(
      {
        HANDLE event = NewEvent();
        SetHandleInformation(event, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                             HANDLE_FLAG_PROTECT_FROM_CLOSE);
        internal::SetCloseHandleFunctionForTesting(&CloseUnlessProtected);
        CloseHandleWrapper(event);
      },
      EndedByTrap, "");
}

// The second module: base_test_module.dll with its own copy of base.
class TestModule {
 public:
  TestModule() {
    std::u16string path = GetTestExecutableFolder() + u"base_test_module.dll";
    module_ = LoadLibraryW(as_wcstr(path));
  }
  bool loaded() const { return module_ != nullptr; }

  template <typename Function>
  Function Get(const char* name) const {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_;
};

TEST(HandleVerifierTest, SecondModuleSharesTheMainModulesVerifier) {
  TestModule module;
  ASSERT_TRUE(module.loaded());
  auto get_verifier = module.Get<void* (*)()>("TestModuleGetActiveVerifier");
  auto own = module.Get<void (*)(HANDLE)>("TestModuleOwnHandle");
  auto close = module.Get<void (*)()>("TestModuleCloseOwnedHandle");
  ASSERT_TRUE(get_verifier && own && close);
  EXPECT_EQ(GetActiveVerifier(), get_verifier());

  HANDLE event = NewEvent();
  own(event);
  close();
  EXPECT_FALSE(IsOpen(event));
  // Released from the shared table: this module may own the value again.
  HANDLE another = NewEvent();
  own(another);
  close();
}

TEST(HandleVerifierDeathTest, HandleOwnedInTheSecondModuleCannotBeOwnedAgain) {
  EXPECT_EXIT(
      {
        TestModule module;
        HANDLE event = NewEvent();
        module.Get<void (*)(HANDLE)>("TestModuleOwnHandle")(event);
        ScopedHandle second_owner(event);
      },
      EndedByTrap, "");
}

TEST(HandleVerifierDeathTest,
     HandleOwnedInTheSecondModuleCannotBeReleasedHere) {
  EXPECT_EXIT(
      {
        TestModule module;
        HANDLE event = NewEvent();
        module.Get<void (*)(HANDLE)>("TestModuleOwnHandle")(event);
        int impostor;
        StopHandleTracking(event, &impostor, kPc, kPc);
      },
      EndedByTrap, "");
}

TEST(SuperFastHashTest, EmptyAndNullGiveZero) {
  EXPECT_EQ(0u, SuperFastHash(nullptr, 8));
  EXPECT_EQ(0u, SuperFastHash("abc", 0));
  EXPECT_EQ(0u, SuperFastHash("abc", -1));
}

TEST(SuperFastHashTest, SpreadsHandleValues) {
  std::set<uint32_t> hashes;
  for (uintptr_t value = 4; value < 4 * 2000; value += 4)
    hashes.insert(
        SuperFastHash(reinterpret_cast<const char*>(&value), sizeof(value)));
  EXPECT_EQ(1999u, hashes.size());
}

TEST(SuperFastHashTest, TrailingBytesCount) {
  // Each tail length, and the tail's signed reading, changes the hash.
  const char data[] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', '\x80'};
  std::set<uint32_t> hashes;
  for (int length = 1; length <= 8; ++length)
    hashes.insert(SuperFastHash(data, length));
  EXPECT_EQ(8u, hashes.size());
  const char high[] = {'a', 'b', 'c', 'd', '\xff'};
  const char low[] = {'a', 'b', 'c', 'd', '\x7f'};
  EXPECT_NE(SuperFastHash(high, 5), SuperFastHash(low, 5));
  EXPECT_EQ(SuperFastHash(high, 5), SuperFastHash(high, 5));
}

}  // namespace
}  // namespace win
}  // namespace base
