#include "base/command_line.h"

#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace base {

namespace {

CommandLine* g_current_process = nullptr;

// Tried in this order: "--" must win over "-".
constexpr StringPiece16 kSwitchPrefixes[] = {u"--", u"-", u"/"};
constexpr char16_t kSwitchValueSeparator = u'=';
constexpr char16_t kSwitchTerminator[] = u"--";

bool IsSplitBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool NeedsQuoting(StringPiece16 argument, bool quote_percent) {
  if (argument.empty()) return true;
  for (char16_t c : argument) {
    if (c == u'\\' || c == u'"' || (quote_percent && c == u'%')) return true;
    for (const char16_t* w = kWhitespaceUTF16; *w; ++w) {
      if (c == *w) return true;
    }
  }
  return false;
}

}  // namespace

CommandLine::CommandLine(NoProgram) : argv_(1) {}

CommandLine::CommandLine(const FilePath& program) : argv_(1) {
  SetProgram(program);
}

CommandLine::~CommandLine() = default;

// static
bool CommandLine::Init() {
  if (g_current_process) return false;
  g_current_process = new CommandLine(NO_PROGRAM);
  g_current_process->ParseFromString(GetProcessCommandLineText());
  return true;
}

// static
CommandLine* CommandLine::ForCurrentProcess() { return g_current_process; }

// static
CommandLine::StringVector CommandLine::SplitCommandLine(StringPiece16 text) {
  StringVector result;
  size_t i = 0;
  const size_t n = text.size();
  // The program is taken literally: up to the closing quote, or up to the
  // first blank; backslashes mean nothing there.
  StringType program;
  if (n > 0 && text[0] == u'"') {
    for (i = 1; i < n && text[i] != u'"'; ++i) program.push_back(text[i]);
    if (i < n) ++i;
  } else {
    for (; i < n && !IsSplitBlank(text[i]); ++i) program.push_back(text[i]);
  }
  result.push_back(program);
  while (i < n && IsSplitBlank(text[i])) ++i;

  StringType current;
  bool in_argument = false;
  size_t backslashes = 0;
  int quotes = 0;  // 1 inside a quoted stretch; counts runs of quotes mod 3
  while (i < n) {
    const char16_t c = text[i];
    if (IsSplitBlank(c) && quotes == 0) {
      if (in_argument) result.push_back(current);
      current.clear();
      in_argument = false;
      backslashes = 0;
      while (i < n && IsSplitBlank(text[i])) ++i;
      continue;
    }
    in_argument = true;
    if (c == u'\\') {
      current.push_back(c);
      ++backslashes;
      ++i;
      continue;
    }
    if (c != u'"') {
      current.push_back(c);
      backslashes = 0;
      ++i;
      continue;
    }
    // 2n backslashes and a quote: n backslashes and the quote toggles
    // quoting; 2n+1 backslashes and a quote: n backslashes and a literal one.
    if (backslashes % 2 == 0) {
      current.resize(current.size() - backslashes / 2);
      ++quotes;
    } else {
      current.resize(current.size() - (backslashes + 1) / 2);
      current.push_back(u'"');
    }
    backslashes = 0;
    ++i;
    // Inside quotes, a run of further quotes yields one literal quote for
    // every third quote counted.
    while (i < n && text[i] == u'"') {
      if (++quotes == 3) {
        current.push_back(u'"');
        quotes = 0;
      }
      ++i;
    }
    if (quotes == 2) quotes = 0;
  }
  if (in_argument) result.push_back(current);
  return result;
}

// static
CommandLine::StringType CommandLine::QuoteForCommandLine(
    const StringType& argument, bool quote_percent) {
  if (!NeedsQuoting(argument, quote_percent)) return argument;
  StringType out(1, u'"');
  for (size_t i = 0; i < argument.size(); ++i) {
    if (argument[i] == u'\\') {
      size_t end = i;
      while (end < argument.size() && argument[end] == u'\\') ++end;
      const size_t run = end - i;
      // Doubled when a quote follows, whether ours at the end or theirs.
      const bool before_quote = end == argument.size() || argument[end] == u'"';
      out.append(before_quote ? run * 2 : run, u'\\');
      i = end - 1;
    } else if (argument[i] == u'"') {
      out.append(u"\\\"");
    } else {
      out.push_back(argument[i]);
    }
  }
  out.push_back(u'"');
  return out;
}

// static
size_t CommandLine::GetSwitchPrefixLength(StringPiece16 argument) {
  for (StringPiece16 prefix : kSwitchPrefixes) {
    if (argument.starts_with(prefix)) return prefix.size();
  }
  return 0;
}

// static
bool CommandLine::IsSwitch(const StringType& argument, StringType* name,
                           StringType* value) {
  name->clear();
  value->clear();
  const size_t prefix_length = GetSwitchPrefixLength(argument);
  if (prefix_length == 0 || prefix_length == argument.size()) return false;
  const size_t separator = argument.find(kSwitchValueSeparator);
  *name = argument.substr(0, separator);
  if (separator != StringType::npos) *value = argument.substr(separator + 1);
  return true;
}

void CommandLine::ParseFromString(StringPiece16 text) {
  const StringType trimmed = TrimWhitespace16(text);
  // An empty text would make the system's splitter report the executable.
  if (trimmed.empty()) return;
  InitFromArgv(SplitWithSystemRules(trimmed));
}

void CommandLine::InitFromArgcArgv(int argc, const char16_t* const* argv) {
  StringVector args;
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i]);
  InitFromArgv(args);
}

void CommandLine::InitFromArgv(const StringVector& argv) {
  argv_ = StringVector(1);
  switches_.clear();
  begin_args_ = 1;
  SetProgram(argv.empty() ? FilePath() : FilePath(argv[0]));
  AppendSwitchesAndArguments(argv);
}

FilePath CommandLine::GetProgram() const { return FilePath(argv_[0]); }

void CommandLine::SetProgram(const FilePath& program) {
  argv_[0] = TrimWhitespace16(program.value());
}

bool CommandLine::HasSwitch(StringPiece name) const {
  return switches_.find(name.view()) != switches_.end();
}

CommandLine::StringType CommandLine::GetSwitchValueNative(
    StringPiece name) const {
  auto it = switches_.find(name.view());
  return it == switches_.end() ? StringType() : it->second;
}

std::string CommandLine::GetSwitchValueASCII(StringPiece name) const {
  const StringType value = GetSwitchValueNative(name);
  if (!IsWStringASCII(value)) return std::string();
  return UTF16ToASCII(value);
}

FilePath CommandLine::GetSwitchValuePath(StringPiece name) const {
  return FilePath(GetSwitchValueNative(name));
}

void CommandLine::AppendSwitch(const std::string& name) {
  AppendSwitchNative(name, StringType());
}

void CommandLine::AppendSwitchNative(const std::string& name,
                                     const StringType& value) {
  const std::string lowered = ToLowerASCII(name);
  const StringType wide_name = UTF8ToUTF16(lowered);
  const size_t prefix_length = GetSwitchPrefixLength(wide_name);
  const std::string key = lowered.substr(prefix_length);
  switches_[key] = value;
  StringType entry =
      prefix_length == 0 ? kSwitchTerminator + wide_name : wide_name;
  // Without a value the "=" is left out, unless the entry would then read
  // back differently: a bare prefix as a plain argument (a bare "--" even
  // ending switch parsing), a name ending in white space trimmed to another
  // name.
  const bool keep_separator =
      key.empty() || TrimWhitespace16(wide_name).size() != wide_name.size();
  if (!value.empty() || keep_separator) {
    entry.push_back(kSwitchValueSeparator);
    entry += value;
  }
  argv_.insert(argv_.begin() + static_cast<ptrdiff_t>(begin_args_), entry);
  ++begin_args_;
}

void CommandLine::AppendSwitchASCII(const std::string& name,
                                    const std::string& value) {
  AppendSwitchNative(name, ASCIIToUTF16(value));
}

void CommandLine::AppendSwitchPath(const std::string& name,
                                   const FilePath& path) {
  AppendSwitchNative(name, path.value());
}

void CommandLine::CopySwitchesFrom(const CommandLine& source,
                                   const char* const names[], size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (source.HasSwitch(names[i]))
      AppendSwitchNative(names[i], source.GetSwitchValueNative(names[i]));
  }
}

void CommandLine::AppendArg(const std::string& utf8_argument) {
  AppendArgNative(UTF8ToUTF16(utf8_argument));
}

void CommandLine::AppendArgNative(const StringType& argument) {
  argv_.push_back(argument);
}

void CommandLine::AppendArguments(const CommandLine& other,
                                  bool include_program) {
  if (include_program) SetProgram(other.GetProgram());
  for (const auto& [name, value] : other.switches_)
    AppendSwitchNative(name, value);
  for (const StringType& arg : other.GetArgs()) AppendArgNative(arg);
}

CommandLine::StringType CommandLine::GetCommandLineString(
    bool quote_percent) const {
  StringType result = QuoteForCommandLine(argv_[0], quote_percent);
  if (argv_.size() > 1) {
    result.push_back(u' ');
    result += GetArgumentsString(quote_percent);
  }
  return result;
}

CommandLine::StringType CommandLine::GetArgumentsString(
    bool quote_percent) const {
  StringType result;
  bool parse_switches = true;
  for (size_t i = 1; i < argv_.size(); ++i) {
    const StringType& arg = argv_[i];
    if (i > 1) result.push_back(u' ');
    if (parse_switches && arg == kSwitchTerminator) parse_switches = false;
    StringType name, value;
    // A name that would itself need quotes is quoted whole, so that it can
    // never split into several switches in the child.
    if (parse_switches && IsSwitch(arg, &name, &value) &&
        !NeedsQuoting(name, quote_percent)) {
      result += name;
      if (arg.size() > name.size()) {
        result.push_back(kSwitchValueSeparator);
        if (!value.empty()) result += QuoteForCommandLine(value, quote_percent);
      }
    } else {
      result += QuoteForCommandLine(arg, quote_percent);
    }
  }
  return result;
}

CommandLine::StringVector CommandLine::GetArgs() const {
  return StringVector(argv_.begin() + static_cast<ptrdiff_t>(begin_args_),
                      argv_.end());
}

void CommandLine::AppendSwitchesAndArguments(const StringVector& argv) {
  bool parse_switches = true;
  for (size_t i = 1; i < argv.size(); ++i) {
    const StringType arg = TrimWhitespace16(argv[i]);
    if (arg.empty()) continue;
    if (parse_switches && arg == kSwitchTerminator) {
      parse_switches = false;
      AppendArgNative(arg);
      continue;
    }
    StringType name, value;
    // Converted, not narrowed: a look-alike such as "--\u0173ilent" must not
    // become "--silent".
    if (parse_switches && IsSwitch(arg, &name, &value))
      AppendSwitchNative(UTF16ToUTF8(name), value);
    else
      AppendArgNative(arg);
  }
}

}  // namespace base
