#include "desktop/windows/installer/processor_check_win.h"

#include <windows.h>

#include "base/strings/string_util_win.h"

namespace installer {

namespace {

bool ProcessorHasSse2() {
  return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != FALSE;
}

void ShowMessageBox(const char16_t* text, const char16_t* caption) {
  MessageBoxW(nullptr, base::as_wcstr(text), base::as_wcstr(caption), MB_OK);
}

void EndProcess(unsigned exit_code) { ExitProcess(exit_code); }

}  // namespace

bool CheckProcessorSupportsSse2(const ProcessorCheckHooks& hooks) {
  if (hooks.has_sse2()) return true;
  hooks.show_message(kNoSse2Message, kNoSse2Caption);
  hooks.exit_process(kNoSse2ExitCode);
  return false;
}

bool CheckProcessorAtLoad() {
  static constexpr ProcessorCheckHooks kRealHooks = {
      &ProcessorHasSse2, &ShowMessageBox, &EndProcess};
  return CheckProcessorSupportsSse2(kRealHooks);
}

}  // namespace installer
