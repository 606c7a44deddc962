#include "base/command_line.h"

#include <windows.h>
#include <shellapi.h>

#include "base/strings/string_util_win.h"

namespace base {

// static
CommandLine::StringType CommandLine::GetProcessCommandLineText() {
  return StringType(as_u16cstr(::GetCommandLineW()));
}

// static
CommandLine::StringVector CommandLine::SplitWithSystemRules(
    StringPiece16 text) {
  const StringType terminated = text.as_string();
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(as_wcstr(terminated), &argc);
  StringVector result;
  if (!argv) return SplitCommandLine(text);
  for (int i = 0; i < argc; ++i) result.emplace_back(as_u16cstr(argv[i]));
  ::LocalFree(argv);
  return result;
}

}  // namespace base
