#include "desktop/windows/installer/package_fetcher/app_output_win.h"

#include <windows.h>

#include <atomic>
#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/time/time.h"
#include "desktop/windows/installer/common/version_info.h"
#include "desktop/windows/installer/package_fetcher/test/package_test_material.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr size_t kMaxOutput = 1024;

// Sets an environment variable of this process (which the child inherits)
// while it lives.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedVariable() { SetEnvironmentVariableW(name_, nullptr); }

 private:
  const wchar_t* const name_;
};

base::CommandLine StubCommandLine(const char* switch_name) {
  base::CommandLine command_line(
      test::MaterialPath(test::MaterialString("fetcher.images.version_stub")));
  command_line.AppendSwitch(switch_name);
  return command_line;
}

TEST(AppOutputTest, CollectsWhatTheProgramPrints) {
  const struct {
    const char* switch_name;
    std::string expected;
  } cases[] = {
      {"internal-version", VersionInfo::GetInternalVersion()},
      {"stream", VersionInfo::GetStream()},
  };
  for (const auto& test : cases) {
    std::string output = "stale";
    EXPECT_EQ(AppOutputResult::kOk,
              GetAppOutputWithTimeout(StubCommandLine(test.switch_name),
                                      base::TimeDelta::FromSeconds(30),
                                      kMaxOutput, nullptr, &output));
    EXPECT_EQ(test.expected, output);
  }
}

TEST(AppOutputTest, EndsAProgramThatNeverAnswers) {
  ScopedVariable hang(L"VELNA_TEST_STUB_HANG", L"1");
  std::string output;
  EXPECT_EQ(AppOutputResult::kTimedOut,
            GetAppOutputWithTimeout(StubCommandLine("internal-version"),
                                    base::TimeDelta::FromMilliseconds(700),
                                    kMaxOutput, nullptr, &output));
  EXPECT_TRUE(output.empty());

  std::atomic<bool> cancel{true};
  EXPECT_EQ(AppOutputResult::kCancelled,
            GetAppOutputWithTimeout(StubCommandLine("internal-version"),
                                    base::TimeDelta::FromSeconds(30),
                                    kMaxOutput, &cancel, &output));
}

TEST(AppOutputTest, StopsAtTheOutputLimit) {
  const struct {
    const wchar_t* bytes;
    AppOutputResult result;
    size_t kept;
  } cases[] = {
      {L"1024", AppOutputResult::kOk, 1024},
      {L"1025", AppOutputResult::kTooLong, 1024},
      // More than the pipe holds: the program blocks until it is ended.
      {L"200000", AppOutputResult::kTooLong, 1024},
  };
  for (const auto& test : cases) {
    ScopedVariable flood(L"VELNA_TEST_STUB_FLOOD", test.bytes);
    std::string output;
    EXPECT_EQ(test.result,
              GetAppOutputWithTimeout(StubCommandLine("stream"),
                                      base::TimeDelta::FromSeconds(30),
                                      kMaxOutput, nullptr, &output));
    EXPECT_EQ(test.kept, output.size());
  }
}

TEST(AppOutputTest, MissingProgram) {
  base::CommandLine command_line(
      test::MaterialPath("fetcher\\does_not_exist.exe"));
  std::string output = "stale";
  EXPECT_EQ(
      AppOutputResult::kLaunchFailed,
      GetAppOutputWithTimeout(command_line, base::TimeDelta::FromSeconds(30),
                              kMaxOutput, nullptr, &output));
  EXPECT_TRUE(output.empty());
}

}  // namespace
}  // namespace installer
