#include "desktop/windows/crash_reporter/exception_handler_win.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/strings/string_number_conversions.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

// A pipe nobody serves: the handlers here never register, so every dump
// request fails.
std::u16string UnservedPipe() {
  return u"\\\\.\\pipe\\VelnaCrashTestNobody" +
         base::UintToString16(GetCurrentProcessId());
}

std::unique_ptr<ExceptionHandler> MakeHandler(
    int handler_types, ExceptionHandler::FilterCallback filter = nullptr,
    void* context = nullptr) {
  return std::make_unique<ExceptionHandler>(std::u16string(), filter, nullptr,
                                            context, handler_types, 0,
                                            UnservedPipe(), CrashKeyEntries());
}

LPTOP_LEVEL_EXCEPTION_FILTER CurrentFilter() {
  LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(current);
  return current;
}

_purecall_handler CurrentPureCallHandler() {
  _purecall_handler current = _set_purecall_handler(nullptr);
  _set_purecall_handler(current);
  return current;
}

int g_previous_filter_calls = 0;
LONG WINAPI PreviousFilter(EXCEPTION_POINTERS*) {
  ++g_previous_filter_calls;
  return EXCEPTION_CONTINUE_SEARCH;
}

// Puts the process's three hooks back as they were.
class ScopedHooks {
 public:
  ScopedHooks()
      : filter_(CurrentFilter()),
        invalid_parameter_(_get_invalid_parameter_handler()),
        pure_call_(CurrentPureCallHandler()) {}
  ~ScopedHooks() {
    SetUnhandledExceptionFilter(filter_);
    _set_invalid_parameter_handler(invalid_parameter_);
    _set_purecall_handler(pure_call_);
  }

 private:
  LPTOP_LEVEL_EXCEPTION_FILTER filter_;
  _invalid_parameter_handler invalid_parameter_;
  _purecall_handler pure_call_;
};

struct FilterLog {
  int calls = 0;
  // The hooks in place while the hook ran.
  LPTOP_LEVEL_EXCEPTION_FILTER filter_during_hook = nullptr;
  _purecall_handler pure_call_during_hook = nullptr;
};

bool LoggingFilter(void* context, EXCEPTION_POINTERS*, const AssertionRecord*) {
  auto* log = static_cast<FilterLog*>(context);
  ++log->calls;
  log->filter_during_hook = CurrentFilter();
  log->pure_call_during_hook = CurrentPureCallHandler();
  return false;
}

LONG Raise(DWORD code) {
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = code;
  CONTEXT context = {};
  EXCEPTION_POINTERS pointers = {&record, &context};
  return ExceptionHandler::HandleException(&pointers);
}

TEST(ExceptionHandlerTest, UnservedPipeLeavesTheHandlerInProcess) {
  ScopedHooks hooks;
  EXPECT_FALSE(MakeHandler(ExceptionHandler::kHandlerNone)->IsOutOfProcess());
}

TEST(ExceptionHandlerTest, DebugExceptionsOnlyWhenAskedFor) {
  ScopedHooks hooks;
  SetUnhandledExceptionFilter(&PreviousFilter);
  g_previous_filter_calls = 0;
  FilterLog log;
  auto handler =
      MakeHandler(ExceptionHandler::kHandlerException, &LoggingFilter, &log);
  EXPECT_EQ(CurrentFilter(), &ExceptionHandler::HandleException);

  const struct {
    DWORD code;
    bool handle_debug_exceptions;
    int filter_calls;
  } cases[] = {
      {EXCEPTION_BREAKPOINT, false, 0},       {EXCEPTION_SINGLE_STEP, false, 0},
      {EXCEPTION_ACCESS_VIOLATION, false, 1}, {EXCEPTION_BREAKPOINT, true, 1},
      {EXCEPTION_SINGLE_STEP, true, 1},
  };
  int previous_calls = 0;
  for (const auto& test : cases) {
    log = FilterLog();
    handler->set_handle_debug_exceptions(test.handle_debug_exceptions);
    // The failed request falls back to the previous filter.
    EXPECT_EQ(Raise(test.code), EXCEPTION_CONTINUE_SEARCH);
    EXPECT_EQ(log.calls, test.filter_calls) << std::hex << test.code;
    EXPECT_EQ(g_previous_filter_calls, ++previous_calls);
    if (test.filter_calls) {
      // While the hook runs, another crashing thread still meets it.
      EXPECT_EQ(log.filter_during_hook, &ExceptionHandler::HandleException);
    }
    EXPECT_EQ(CurrentFilter(), &ExceptionHandler::HandleException);
  }
}

TEST(ExceptionHandlerTest, RemovingOutOfOrderWarnsAndRestoresItsHooks) {
  ScopedHooks hooks;
  SetUnhandledExceptionFilter(&PreviousFilter);
  _set_purecall_handler(nullptr);
  auto first = MakeHandler(ExceptionHandler::kHandlerAll);
  auto second = MakeHandler(ExceptionHandler::kHandlerAll);
  EXPECT_EQ(CurrentPureCallHandler(), &ExceptionHandler::HandlePureVirtualCall);

  testing::internal::CaptureStderr();
  first.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "warning: removing crash handler out of order\n");
  // The first handler put back what it had replaced.
  EXPECT_EQ(CurrentFilter(), &PreviousFilter);
  EXPECT_EQ(CurrentPureCallHandler(), nullptr);

  testing::internal::CaptureStderr();
  second.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ExceptionHandlerTest, PureCallWithoutPreviousHandlerReturns) {
  ScopedHooks hooks;
  _set_purecall_handler(nullptr);
  FilterLog log;
  auto handler =
      MakeHandler(ExceptionHandler::kHandlerPureCall, &LoggingFilter, &log);
  // The request fails and nothing came before: back to the runtime.
  ExceptionHandler::HandlePureVirtualCall();
  EXPECT_EQ(log.calls, 1);
  // A pure call inside the hook would have met the previous handler.
  EXPECT_EQ(log.pure_call_during_hook, nullptr);
  EXPECT_EQ(CurrentPureCallHandler(), &ExceptionHandler::HandlePureVirtualCall);
}

void PreviousPureCallHandler() { fprintf(stderr, "previous pure call\n"); }

void PreviousInvalidParameterHandler(const wchar_t*, const wchar_t*,
                                     const wchar_t*, unsigned int, uintptr_t) {
  fprintf(stderr, "previous invalid parameter\n");
}

// After a failed request the previous handler runs; the process then exits
// with 1 (a crash, not a success).
TEST(ExceptionHandlerDeathTest, AssertionsRunThePreviousHandlerAndExitWith1) {
  EXPECT_EXIT(
      {
        _set_purecall_handler(&PreviousPureCallHandler);
        auto handler = MakeHandler(ExceptionHandler::kHandlerPureCall);
        ExceptionHandler::HandlePureVirtualCall();
      },
      testing::ExitedWithCode(ExceptionHandler::kAssertionExitCode),
      "previous pure call");
  EXPECT_EXIT(
      {
        _set_invalid_parameter_handler(&PreviousInvalidParameterHandler);
        auto handler = MakeHandler(ExceptionHandler::kHandlerInvalidParameter);
        _get_invalid_parameter_handler()(L"x", L"f", L"a.cc", 1, 0);
      },
      testing::ExitedWithCode(ExceptionHandler::kAssertionExitCode),
      "previous invalid parameter");
}

}  // namespace
}  // namespace crash_reporter
