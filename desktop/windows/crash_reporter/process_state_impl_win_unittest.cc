#include "desktop/windows/crash_reporter/process_state_impl_win.h"

#include <windows.h>
// Needs windows.h first.
#include <psapi.h>

#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/crash_log_writer.h"
#include "desktop/windows/crash_reporter/test/running_child_win.h"
#include "desktop/windows/crash_reporter/thread_info_impl_win.h"
#include "gtest/gtest.h"

namespace crash_reporter {

namespace {

constexpr char16_t kChildName[] = u"snapshot_test_child.exe";

using ChildFacts = test::SnapshotChildCrash;

bool StartChild(test::RunningChild* child, ChildFacts* facts) {
  return test::StartSnapshotChild(child, facts);
}

// Freezes a process as the reporter does, for the scope's life.
class ScopedFreeze {
 public:
  explicit ScopedFreeze(uint32_t pid) : pid_(pid) {
    frozen_ = DebugActiveProcess(pid);
    if (frozen_) DebugSetProcessKillOnExit(FALSE);
  }
  ~ScopedFreeze() {
    if (frozen_) DebugActiveProcessStop(pid_);
  }
  bool frozen() const { return frozen_; }

 private:
  const uint32_t pid_;
  bool frozen_;
};

std::string Lower(const std::string& text) { return base::ToLowerASCII(text); }

TEST(ProcessStateImplTest, CapturesAFrozenProcessAndItsLog) {
  test::RunningChild child;
  ChildFacts facts;
  ASSERT_TRUE(StartChild(&child, &facts));
  ScopedFreeze freeze(child.pid());
  ASSERT_TRUE(freeze.frozen());

  ProcessStateImpl state;
  ASSERT_TRUE(state.Capture(child.pid(), facts.pointers_variable,
                            facts.thread_id_variable, {}));
  EXPECT_EQ(0xC0000005u, state.GetExceptionCode());
  EXPECT_EQ(facts.exception_address, state.GetExceptionAddress());

  // The crashed thread first, then the two others.
  const ProcessState::ThreadList& threads = state.GetThreads();
  ASSERT_GE(threads.size(), 3u);
  EXPECT_EQ(facts.thread_id, threads[0]->GetThreadId());
  EXPECT_TRUE(threads[0]->IsCrashed());
  EXPECT_GT(threads[0]->GetStackSize(), 0u);
  for (size_t i = 1; i < threads.size(); ++i) {
    EXPECT_FALSE(threads[i]->IsCrashed());
    EXPECT_NE(facts.thread_id, threads[i]->GetThreadId());
    EXPECT_NE(0u, threads[i]->GetRegisters().rsp);
  }

  // The device path of the image maps to a drive, and the main module is
  // found by it, with its version resource.
  EXPECT_TRUE(base::EndsWith16(state.image_path(), kChildName, 1));
  ASSERT_GE(state.image_path().size(), 3u);
  EXPECT_EQ(u":\\", state.image_path().substr(1, 2));
  const ModuleInfo* main_module = state.GetMainModule();
  ASSERT_TRUE(main_module);
  EXPECT_EQ("snapshot_test_child.exe", Lower(main_module->GetName()));
  EXPECT_EQ("5.6.7.8", main_module->GetVersion());
  EXPECT_NE(0u, main_module->GetTimestamp());
  EXPECT_GT(main_module->GetCodeEnd(), 0u);
  EXPECT_GT(main_module->GetSize(), 0u);
  bool has_ntdll = false;
  for (const auto& module : state.GetModules())
    has_ntdll |= Lower(module->GetName()) == "ntdll.dll";
  EXPECT_TRUE(has_ntdll);
  EXPECT_GT(state.working_set_size(), 0u);
  EXPECT_GE(state.peak_working_set_size(), state.working_set_size());

  // The log, in text mode: every line ends with CR LF.
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  const base::FilePath path = temp.GetPath().Append(u"log \u00e9.txt");
  CrashLogWriter writer;
  ASSERT_TRUE(writer.WriteToFile(&state, CrashLogInfo(), path));
  std::string log;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(path, &log));
  size_t bare_line_ends = 0;
  for (size_t i = 0; i < log.size(); ++i)
    bare_line_ends += log[i] == '\n' && (i == 0 || log[i - 1] != '\r');
  EXPECT_EQ(0u, bare_line_ends);
  EXPECT_NE(std::string::npos,
            Lower(log).find("snapshot_test_child.exe caused exception "
                            "c0000005 at address "));
  EXPECT_NE(std::string::npos, log.find("\r\nCrashed=1\r\n"));
  EXPECT_NE(std::string::npos, log.find("\r\nUsed DLLs:\r\n"));
  EXPECT_NE(std::string::npos, log.find(" 5.6.7.8 "));
  EXPECT_NE(std::string::npos, log.find("\r\nMemory dumps:\r\n"));
}

// The module snapshot fails; the fallback list stands in.
int g_module_snapshot_calls = 0;
DWORD g_module_snapshot_error = 0;
HANDLE WINAPI FailingModuleSnapshot(DWORD flags, DWORD pid) {
  if (flags & TH32CS_SNAPMODULE) {
    ++g_module_snapshot_calls;
    SetLastError(g_module_snapshot_error);
    return INVALID_HANDLE_VALUE;
  }
  return CreateToolhelp32Snapshot(flags, pid);
}

TEST(ProcessStateImplTest, FallsBackToTheModulesKey) {
  test::RunningChild child;
  ChildFacts facts;
  ASSERT_TRUE(StartChild(&child, &facts));
  const std::u16string child_path = test::BesideTestExecutable(kChildName);
  const std::vector<ModuleListRecord> fallback = {
      {u"child.exe", child_path, 0x140000000, 0x5000},
      {u"gone.dll", u"C:\\no\\such\\gone.dll", 0x180000000, 0x1000}};
  struct {
    DWORD error;
    int attempts;
  } cases[] = {{ERROR_BAD_LENGTH, ProcessStateImpl::kModuleSnapshotAttempts},
               {ERROR_ACCESS_DENIED, 1}};
  for (const auto& test : cases) {
    g_module_snapshot_calls = 0;
    g_module_snapshot_error = test.error;
    ProcessStateImpl state(&FailingModuleSnapshot);
    ASSERT_TRUE(state.Capture(child.pid(), facts.pointers_variable,
                              facts.thread_id_variable, fallback));
    EXPECT_EQ(test.attempts, g_module_snapshot_calls);
    ASSERT_EQ(2u, state.GetModules().size());
    ASSERT_TRUE(state.GetMainModule());
    EXPECT_EQ("child.exe", state.GetMainModule()->GetName());
    EXPECT_EQ(0x140000000u, state.GetMainModule()->GetBaseAddress());
    EXPECT_EQ("5.6.7.8", state.GetMainModule()->GetVersion());
    // A module whose file is missing keeps what the list gave.
    EXPECT_EQ("gone.dll", state.GetModules()[1]->GetName());
    EXPECT_EQ(0u, state.GetModules()[1]->GetCodeEnd());
  }
}

TEST(ProcessStateImplTest, UnreadableExceptionFailsTheCapture) {
  test::RunningChild child;
  ChildFacts facts;
  ASSERT_TRUE(StartChild(&child, &facts));
  ProcessStateImpl wrong_address;
  EXPECT_FALSE(
      wrong_address.Capture(child.pid(), 0x10, facts.thread_id_variable, {}));
  // An unreadable thread id only costs the id.
  ProcessStateImpl no_thread_id;
  ASSERT_TRUE(
      no_thread_id.Capture(child.pid(), facts.pointers_variable, 0x10, {}));
  EXPECT_EQ(0u, no_thread_id.GetThreads()[0]->GetThreadId());
  ProcessStateImpl no_process;
  EXPECT_FALSE(no_process.Capture(0xFFFFFFF0, facts.pointers_variable,
                                  facts.thread_id_variable, {}));
  EXPECT_FALSE(no_process.CreateMemoryReader());
  EXPECT_FALSE(no_process.IsAddressReadable(facts.pointers_variable));
}

TEST(ProcessStateImplTest, StackSizeInUse) {
  volatile char local = 0;
  const uint64_t here = reinterpret_cast<uint64_t>(&local);
  const uint64_t in_use = GetStackSizeInUse(GetCurrentProcess(), here);
  EXPECT_GT(in_use, 0u);
  EXPECT_LT(in_use, 64u * 1024 * 1024);

  // A guard page, image memory and free memory fail the checks.
  void* guard = VirtualAlloc(nullptr, 0x2000, MEM_COMMIT | MEM_RESERVE,
                             PAGE_READWRITE | PAGE_GUARD);
  ASSERT_TRUE(guard);
  EXPECT_EQ(0u, GetStackSizeInUse(GetCurrentProcess(),
                                  reinterpret_cast<uint64_t>(guard) + 8));
  VirtualFree(guard, 0, MEM_RELEASE);
  EXPECT_EQ(0u, GetStackSizeInUse(
                    GetCurrentProcess(),
                    reinterpret_cast<uint64_t>(GetModuleHandleW(nullptr))));
  EXPECT_EQ(0u, GetStackSizeInUse(GetCurrentProcess(), 0x10));
}

int g_read_failures_logged = 0;
int g_limit_logged = 0;
bool CountReadFailures(logging::LogSeverity, const char*, int, size_t,
                       const std::string& line) {
  if (line.find("ReadProcessMemory failed for address 0x10 ") !=
      std::string::npos) {
    ++g_read_failures_logged;
  }
  if (line.find("Reached limit of logged memory read errors") !=
      std::string::npos) {
    ++g_limit_logged;
  }
  return true;
}

TEST(ProcessStateImplTest, MemoryReaderLogsAHundredFailures) {
  logging::LogMessageHandlerFunction previous = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&CountReadFailures);
  ProcessMemoryReaderImpl reader(GetCurrentProcess());
  size_t read = 0;
  for (int i = 0; i < 101; ++i) EXPECT_FALSE(reader.Read(0x10, 4, &read));
  logging::SetLogMessageHandler(previous);
  EXPECT_EQ(ProcessMemoryReaderImpl::kMaxLoggedFailures,
            g_read_failures_logged);
  EXPECT_EQ(1, g_limit_logged);

  // Reads succeed, and a larger read grows the buffer.
  std::vector<uint8_t> data(10000, 0x5A);
  const uint8_t* bytes =
      reader.Read(reinterpret_cast<uint64_t>(data.data()), 16, &read);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(16u, read);
  bytes =
      reader.Read(reinterpret_cast<uint64_t>(data.data()), data.size(), &read);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(data.size(), read);
  EXPECT_EQ(0x5A, bytes[data.size() - 1]);
}

TEST(ProcessStateImplTest, DevicePathsMapToDrives) {
  char16_t device_path[MAX_PATH] = {};
  ASSERT_GT(
      GetProcessImageFileNameW(GetCurrentProcess(),
                               base::as_writable_wcstr(device_path), MAX_PATH),
      0u);
  char16_t module_path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameW(nullptr, base::as_writable_wcstr(module_path),
                               MAX_PATH),
            0u);
  EXPECT_EQ(0, base::FilePath::CompareIgnoreCase(
                   ConvertDevicePathToDrivePath(device_path), module_path));

  // Only whole components match: "...Volume1" is no ancestor of
  // "...Volume10".
  char16_t c_device[MAX_PATH] = {};
  ASSERT_TRUE(
      QueryDosDeviceW(L"C:", base::as_writable_wcstr(c_device), MAX_PATH));
  const std::u16string longer = std::u16string(c_device) + u"0\\x.exe";
  EXPECT_EQ(longer, ConvertDevicePathToDrivePath(longer));
  EXPECT_EQ(u"C:\\dir\\x.exe", ConvertDevicePathToDrivePath(
                                   std::u16string(c_device) + u"\\dir\\x.exe"));
  EXPECT_EQ(u"\\Device\\NoSuchVolume\\x.exe",
            ConvertDevicePathToDrivePath(u"\\Device\\NoSuchVolume\\x.exe"));
}

}  // namespace

}  // namespace crash_reporter
