#include "base/test/scoped_unix_link_win.h"

#include <windows.h>

#include "base/logging.h"
#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/python_test_server_win.h"

namespace base {

namespace {

constexpr int kWaitMs = 10000;
constexpr int kPollMs = 10;

std::u16string Quote(const std::string& text) {
  return u"\"" + UTF8ToUTF16(text) + u"\"";
}

// Starts the Linux program |program| with |arguments|; Wine gives back no
// handle to wait for.
bool RunLinuxProgram(const char16_t* program, const std::u16string& arguments) {
  std::u16string command = std::u16string(program) + u" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(nullptr, as_writable_wcstr(command), nullptr, nullptr,
                        FALSE, 0, nullptr, nullptr, &startup, &process)) {
    PLOG(ERROR) << "Cannot start " << UTF16ToUTF8(program);
    return false;
  }
  if (process.hThread) ::CloseHandle(process.hThread);
  if (process.hProcess) ::CloseHandle(process.hProcess);
  return true;
}

// Waits until |path| shows (or, with !|present|, is gone).
bool WaitFor(const FilePath& path, bool present) {
  for (int waited = 0; waited < kWaitMs; waited += kPollMs) {
    const bool shows =
        ::GetFileAttributesW(as_wcstr(path.value())) != INVALID_FILE_ATTRIBUTES;
    if (shows == present) return true;
    ::Sleep(kPollMs);
  }
  return false;
}

}  // namespace

ScopedUnixLink::ScopedUnixLink() = default;

ScopedUnixLink::~ScopedUnixLink() { Remove(); }

bool ScopedUnixLink::Make(const FilePath& link, const FilePath& target) {
  return MakeAt(link, GetWineUnixPath(link), target);
}

bool ScopedUnixLink::MakeDrive(char16_t letter, const FilePath& target) {
  // Wine names the system drive's root by its link there: ".../c:/".
  const std::string system_root = GetWineUnixPath(FilePath(u"C:\\"));
  const size_t end = system_root.rfind("/c:");
  if (letter < u'A' || letter > u'Z' || end == std::string::npos) return false;
  return MakeAt(FilePath(std::u16string(1, letter) + u":\\"),
                system_root.substr(0, end + 1) +
                    static_cast<char>(letter - u'A' + 'a') + ":",
                target);
}

bool ScopedUnixLink::MakeAt(const FilePath& link, const std::string& unix_link,
                            const FilePath& target) {
  if (!link_.empty()) return false;
  const std::string unix_target = GetWineUnixPath(target);
  if (unix_link.empty() || unix_target.empty() ||
      !RunLinuxProgram(u"Z:\\bin\\ln",
                       u"-s " + Quote(unix_target) + u" " + Quote(unix_link))) {
    return false;
  }
  link_ = link;
  unix_link_ = unix_link;
  return WaitFor(link, true);
}

bool ScopedUnixLink::Remove() {
  if (link_.empty()) return true;
  const bool removed =
      RunLinuxProgram(u"Z:\\bin\\rm", u"-f " + Quote(unix_link_)) &&
      WaitFor(link_, false);
  if (removed) {
    link_ = FilePath();
    unix_link_.clear();
  }
  return removed;
}

}  // namespace base
