#include "base/threading/platform_thread_win.h"

#include <string.h>
#include <windows.h>

#include <atomic>
#include <vector>

#include "base/threading/platform_thread.h"
#include "gtest/gtest.h"

namespace base {
namespace {

class PriorityDelegate : public PlatformThread::Delegate {
 public:
  void ThreadMain() override {
    windows_priority_ = GetThreadPriority(GetCurrentThread());
    reported_ = PlatformThread::GetCurrentThreadPriority();
  }
  int windows_priority_ = 12345;
  ThreadPriority reported_ = ThreadPriority::kNormal;
};

TEST(PlatformThreadWinTest, ThreadsRunAtTheirPriority) {
  struct Case {
    ThreadPriority priority;
    int windows_priority;
  } cases[] = {
      {ThreadPriority::kLowest, THREAD_PRIORITY_LOWEST},
      {ThreadPriority::kNormal, THREAD_PRIORITY_NORMAL},
      {ThreadPriority::kAboveNormal, THREAD_PRIORITY_ABOVE_NORMAL},
      {ThreadPriority::kTimeCritical, THREAD_PRIORITY_TIME_CRITICAL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.priority));
    PriorityDelegate delegate;
    PlatformThreadHandle handle = nullptr;
    ASSERT_TRUE(PlatformThread::Create(0, &delegate, &handle, c.priority));
    PlatformThread::Join(handle);
    EXPECT_EQ(c.windows_priority, delegate.windows_priority_);
    EXPECT_EQ(c.priority, delegate.reported_);
  }
}

class StackDelegate : public PlatformThread::Delegate {
 public:
  void ThreadMain() override {
    ULONG_PTR low = 0, high = 0;
    GetCurrentThreadStackLimits(&low, &high);
    reserved_ = high - low;
  }
  size_t reserved_ = 0;
};

TEST(PlatformThreadWinTest, StackSizeIsAReservation) {
  constexpr size_t kReservation = 24 * 1024 * 1024;
  StackDelegate delegate;
  PlatformThreadHandle handle = nullptr;
  ASSERT_TRUE(PlatformThread::Create(kReservation, &delegate, &handle));
  PlatformThread::Join(handle);
  EXPECT_GE(delegate.reserved_, kReservation);
}

std::atomic<int> g_name_exceptions{0};
LONG CALLBACK CountNameExceptions(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == 0x406D1388)
    g_name_exceptions.fetch_add(1);
  return EXCEPTION_CONTINUE_SEARCH;
}

TEST(PlatformThreadWinTest, NoDebuggerNoNamingException) {
  ASSERT_FALSE(IsDebuggerPresent());
  void* handler = AddVectoredExceptionHandler(1, &CountNameExceptions);
  PlatformThread::SetName("PlatformThreadWinTest");
  RemoveVectoredExceptionHandler(handler);
  EXPECT_EQ(0, g_name_exceptions.load());
  EXPECT_STREQ("PlatformThreadWinTest", PlatformThread::GetName());
}

// A minimal image: DOS header, NT headers and the section table.
std::vector<char> FakeImage(const std::vector<const char*>& sections) {
  size_t nt_offset = sizeof(IMAGE_DOS_HEADER);
  std::vector<char> image(nt_offset + sizeof(IMAGE_NT_HEADERS) +
                          sections.size() * sizeof(IMAGE_SECTION_HEADER));
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(image.data());
  dos->e_magic = IMAGE_DOS_SIGNATURE;
  dos->e_lfanew = static_cast<LONG>(nt_offset);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(image.data() + nt_offset);
  nt->Signature = IMAGE_NT_SIGNATURE;
  nt->FileHeader.NumberOfSections = static_cast<WORD>(sections.size());
  nt->FileHeader.SizeOfOptionalHeader = sizeof(nt->OptionalHeader);
  IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (const char* name : sections) {
    memcpy(section->Name, name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
    ++section;
  }
  return image;
}

TEST(PlatformThreadWinTest, InstrumentedModulesHaveBothSections) {
  using internal::ModuleHasInstrumentationSections;
  EXPECT_TRUE(ModuleHasInstrumentationSections(
      FakeImage({".text", ".thunks", ".syzygy"}).data()));
  EXPECT_FALSE(
      ModuleHasInstrumentationSections(FakeImage({".text", ".thunks"}).data()));
  EXPECT_FALSE(
      ModuleHasInstrumentationSections(FakeImage({".syzygy", ".data"}).data()));
  // Names compare over all eight bytes: a longer name is another section.
  EXPECT_FALSE(ModuleHasInstrumentationSections(
      FakeImage({".thunksx", ".syzygy"}).data()));
  EXPECT_FALSE(ModuleHasInstrumentationSections(GetModuleHandleW(nullptr)));
}

}  // namespace
}  // namespace base
