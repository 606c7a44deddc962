// The check that runs when the engine is loaded: the installer needs a
// processor with SSE2. Without it the user sees one message box and the
// process ends with exit code 1 before anything else runs.

#ifndef DESKTOP_WINDOWS_INSTALLER_PROCESSOR_CHECK_WIN_H_
#define DESKTOP_WINDOWS_INSTALLER_PROCESSOR_CHECK_WIN_H_

namespace installer {

inline constexpr char16_t kNoSse2Message[] =
    u"This program requires a computer that supports SSE2 instructions.";
inline constexpr char16_t kNoSse2Caption[] = u"Error";
inline constexpr unsigned kNoSse2ExitCode = 1;

// What the check asks of the system; tests inject their own.
struct ProcessorCheckHooks {
  bool (*has_sse2)();
  void (*show_message)(const char16_t* text, const char16_t* caption);
  // Does not return in the real process.
  void (*exit_process)(unsigned exit_code);
};

// Shows the message and ends the process when |hooks| report no SSE2.
// True when the processor has SSE2.
bool CheckProcessorSupportsSse2(const ProcessorCheckHooks& hooks);

// The check with the real processor, message box and process exit; run by
// a static initialiser of the engine.
bool CheckProcessorAtLoad();

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_PROCESSOR_CHECK_WIN_H_
