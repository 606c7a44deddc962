// Splits and parses an untrusted command line, renders it, and splits and
// parses the rendering again: the same program, switches and plain arguments
// must come back, and the second split must give exactly the first parse's
// argv. Otherwise a value handed on to a child process (an elevated one too)
// could turn into extra switches there, or lose some.
//
// Byte 0 chooses how the rest is read: bit 0 clear as UTF-8, set as raw
// UTF-16 code units (unpaired surrogates included); bit 1 is the
// quote-percent flag of the rendering.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base/command_line.h"
#include "base/files/file_path.h"
#include "base/strings/utf_string_conversions.h"

namespace {

std::u16string Text(const uint8_t* data, size_t size, bool utf16) {
  if (!utf16)
    return base::UTF8ToUTF16(
        std::string(reinterpret_cast<const char*>(data), size));
  std::u16string text(size / 2, u'\0');
  memcpy(text.data(), data, text.size() * 2);
  return text;
}

// The system's splitter takes the program literally up to a closing quote
// or a blank, so a program holding a double quote, or ending in a backslash
// that quoting doubles, cannot come back. Windows file names hold neither,
// and the launch code sets the program from a real path.
bool ProgramCanRoundTrip(const std::u16string& program) {
  return program.find(u'"') == std::u16string::npos &&
         (program.empty() || program.back() != u'\\');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool utf16 = data[0] & 1;
  const bool quote_percent = data[0] & 2;
  const std::u16string text = Text(data + 1, size - 1, utf16);

  base::CommandLine first(base::CommandLine::NO_PROGRAM);
  first.ParseFromString(text);
  if (!ProgramCanRoundTrip(first.GetProgram().value()))
    first.SetProgram(base::FilePath(u"C:\\Program Files\\Velna\\setup.exe"));

  const std::u16string rendered = first.GetCommandLineString(quote_percent);
  if (base::CommandLine::SplitCommandLine(rendered) != first.argv()) abort();
  base::CommandLine second(base::CommandLine::NO_PROGRAM);
  second.ParseFromString(rendered);
  if (second.GetProgram() != first.GetProgram()) abort();
  if (second.GetSwitches() != first.GetSwitches()) abort();
  if (second.GetArgs() != first.GetArgs()) abort();
  if (second.argv() != first.argv()) abort();
  return 0;
}
