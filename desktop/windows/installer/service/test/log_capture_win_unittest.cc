#include <stdlib.h>
#include <windows.h>

#include <string>

#include "base/logging.h"
#include "base/process/launch.h"
#include "base/test/child_process_win.h"
#include "desktop/windows/installer/service/test/log_capture.h"
#include "gtest/gtest.h"

namespace installer {
namespace test {
namespace {

// How the child dies: "pool thread", "check" or "abort".
constexpr wchar_t kDeathVariable[] = L"VELNA_TEST_LOG_CAPTURE_DEATH";

unsigned long __stdcall CrashOnAPoolThread(void*) {
  *static_cast<volatile int*>(nullptr) = 1;
  return 0;
}

// Run only as the child of the test below: logs, then dies as it is told.
TEST(LogCaptureTest, DISABLED_ChildDiesWhileCapturing) {
  wchar_t death[32] = {};
  ASSERT_NE(0u, GetEnvironmentVariableW(kDeathVariable, death, 32));
  ScopedLogCapture capture;
  LOG(WARNING) << "the child is about to die";
  VLOG(1) << "a verbose clue";
  const std::wstring how = death;
  if (how == L"pool thread") {
    QueueUserWorkItem(&CrashOnAPoolThread, nullptr, WT_EXECUTEDEFAULT);
    Sleep(INFINITE);
  } else if (how == L"check") {
    CHECK(how.empty());
  } else if (how == L"abort") {
    abort();
  }
}

// Its destructor never runs in a process that dies inside the test: the
// captured lines must still reach the output, on any of the usual deaths.
TEST(LogCaptureTest, ADyingProcessStillPrintsItsCapturedLines) {
  const struct {
    const wchar_t* value;
    const char* name;
  } deaths[] = {
      {L"pool thread", "an access violation on a pool thread"},
      {L"check", "a failed CHECK"},
      {L"abort", "abort()"},
  };
  for (const auto& death : deaths) {
    SCOPED_TRACE(death.name);
    ASSERT_TRUE(SetEnvironmentVariableW(kDeathVariable, death.value));
    std::string output;
    const bool ended_normally = base::GetAppOutputInternal(
        u"\"" + base::GetTestExecutableFolder() +
            u"installer_service_unittests.exe\" "
            u"--gtest_filter=LogCaptureTest.DISABLED_ChildDiesWhileCapturing "
            u"--gtest_also_run_disabled_tests",
        /*include_stderr=*/true, &output);
    SetEnvironmentVariableW(kDeathVariable, nullptr);
    EXPECT_FALSE(ended_normally) << output;
    EXPECT_NE(std::string::npos, output.find("[ RUN      ]")) << output;
    EXPECT_EQ(std::string::npos, output.find("[       OK ]")) << output;
    EXPECT_NE(std::string::npos,
              output.find("captured log (1): the child is about to die"))
        << output;
    EXPECT_NE(std::string::npos,
              output.find("captured log (-1): a verbose clue"))
        << output;
  }
}

}  // namespace
}  // namespace test
}  // namespace installer
