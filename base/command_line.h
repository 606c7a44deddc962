// A parsed process command line: the program, the switches with their values
// and the plain arguments, rendered back into one string for child processes.
//
// Switches start with "--", "-" or "/", take a value after the first "=",
// and are stored with lower-case names without their prefix. Names are
// UTF-8; only A-Z are lowered, and a name holding any other non-ASCII
// character never equals an ASCII name. A bare "--"
// ends switch parsing. Not synchronised: the process-wide instance is made on
// the main thread before any other thread exists and only read afterwards.

#ifndef BASE_COMMAND_LINE_H_
#define BASE_COMMAND_LINE_H_

#include <stddef.h>

#include <map>
#include <string>
#include <vector>

#include "base/files/file_path.h"
#include "base/strings/string_piece.h"

namespace base {

class CommandLine {
 public:
  using StringType = std::u16string;
  using StringVector = std::vector<StringType>;
  // Looked up by name views directly (std::less<>), so no index into the
  // map is kept beside it, and a copy has none to rebuild.
  using SwitchMap = std::map<std::string, StringType, std::less<>>;

  enum NoProgram { NO_PROGRAM };

  explicit CommandLine(NoProgram);
  explicit CommandLine(const FilePath& program);
  CommandLine(const CommandLine& other) = default;
  CommandLine& operator=(const CommandLine& other) = default;
  ~CommandLine();

  static CommandLine CommandLineEmpty() { return CommandLine(NO_PROGRAM); }
  static CommandLine CommandLineFromProgram(const FilePath& program) {
    return CommandLine(program);
  }

  // Creates the process-wide instance from the text the system gave the
  // process. False, leaving the first instance, when it already exists.
  static bool Init();
  // The process-wide instance; null before Init().
  static CommandLine* ForCurrentProcess();

  // Splits |text| as the system's CommandLineToArgvW does (blanks and tabs
  // separate, double quotes group, backslashes before a quote escape it).
  static StringVector SplitCommandLine(StringPiece16 text);

  // Quotes |argument| so that the system's splitter gives it back unchanged:
  // any white space, a backslash, a double quote or an empty argument (and
  // "%" when |quote_percent|) makes it quoted.
  static StringType QuoteForCommandLine(const StringType& argument,
                                        bool quote_percent);

  // Length of the switch prefix that starts |argument|, 0 when none.
  static size_t GetSwitchPrefixLength(StringPiece16 argument);
  // True for an argument longer than its prefix; the name keeps the prefix.
  static bool IsSwitch(const StringType& argument, StringType* name,
                       StringType* value);

  void ParseFromString(StringPiece16 text);
  void InitFromArgcArgv(int argc, const char16_t* const* argv);
  void InitFromArgv(const StringVector& argv);

  FilePath GetProgram() const;
  void SetProgram(const FilePath& program);

  // Exact, case-sensitive lookup; stored names are lower case.
  bool HasSwitch(StringPiece name) const;
  StringType GetSwitchValueNative(StringPiece name) const;
  // The value when it is pure ASCII, else empty.
  std::string GetSwitchValueASCII(StringPiece name) const;
  FilePath GetSwitchValuePath(StringPiece name) const;

  void AppendSwitch(const std::string& name);
  void AppendSwitchNative(const std::string& name, const StringType& value);
  void AppendSwitchASCII(const std::string& name, const std::string& value);
  void AppendSwitchPath(const std::string& name, const FilePath& path);
  void CopySwitchesFrom(const CommandLine& source, const char* const names[],
                        size_t count);

  // A plain argument, given as UTF-8 or as wide text.
  void AppendArg(const std::string& utf8_argument);
  void AppendArgNative(const StringType& argument);
  void AppendArguments(const CommandLine& other, bool include_program);

  StringType GetCommandLineString(bool quote_percent = false) const;
  StringType GetArgumentsString(bool quote_percent = false) const;

  const StringVector& argv() const { return argv_; }
  const SwitchMap& GetSwitches() const { return switches_; }
  // The plain arguments, in order.
  StringVector GetArgs() const;

 private:
  // The text the system gave this process.
  static StringType GetProcessCommandLineText();
  // The system's own splitter (CommandLineToArgvW on Windows).
  static StringVector SplitWithSystemRules(StringPiece16 text);

  void AppendSwitchesAndArguments(const StringVector& argv);

  StringVector argv_;
  SwitchMap switches_;
  size_t begin_args_ = 1;
};

}  // namespace base

#endif  // BASE_COMMAND_LINE_H_
