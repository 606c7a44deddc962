// platform_probe.exe: reports what the platform code sees in a process of
// its own, so tests can run it under another name (Wine gives each
// executable name its own Windows version) or another environment.
//
//   platform_probe version    prints "major.minor.build index", exits with
//                             the version index
//   platform_probe languages  prints the preferred UI languages, one a line

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "base/strings/utf_string_conversions.h"
#include "base/win/i18n.h"
#include "base/win/windows_version.h"

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "version") == 0) {
    const base::win::OSInfo* info = base::win::OSInfo::GetInstance();
    printf("%u.%u.%u %d\n", info->major_version(), info->minor_version(),
           info->build_number(), static_cast<int>(info->version()));
    return info->version();
  }
  if (argc == 2 && strcmp(argv[1], "languages") == 0) {
    std::vector<std::u16string> languages;
    if (!base::win::i18n::GetUserPreferredUILanguageList(&languages)) return 2;
    for (const std::u16string& language : languages)
      printf("%s\n", base::UTF16ToUTF8(language).c_str());
    return 0;
  }
  fprintf(stderr, "usage: platform_probe version|languages\n");
  return 100;
}
