#include "desktop/windows/installer/core/uninstall_commands.h"

namespace installer {

void SplitReinstallCommand(const std::u16string& command,
                           std::u16string* program, std::u16string* arguments) {
  arguments->clear();
  if (!command.empty() && command[0] == u'"') {
    const size_t end = command.find(u'"', 1);
    if (end == std::u16string::npos) {
      *program = command.substr(1);
      return;
    }
    *program = command.substr(1, end - 1);
    if (end + 2 <= command.size()) *arguments = command.substr(end + 2);
    return;
  }
  const size_t space = command.find(u' ');
  if (space == std::u16string::npos) {
    *program = command;
    return;
  }
  *program = command.substr(0, space);
  *arguments = command.substr(space + 1);
}

bool BuildSurveyCommand(const std::u16string& program, bool in_private,
                        const std::u16string& url, std::u16string* out) {
  if (url.empty()) return false;
  for (char16_t c : url) {
    if (c == u'"' || c < 0x20 || c == 0x7F) return false;
  }
  *out = u"\"" + program + u"\"" + (in_private ? u" -private" : u"") + u" \"" +
         url + u"\"";
  return true;
}

}  // namespace installer
