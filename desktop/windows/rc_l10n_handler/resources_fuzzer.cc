// Feeds arbitrary bytes to the readers of the installer's language resources:
// as a string block (every entry) and as a language list, whose codes then go
// through the language choice as request, list and system languages.

#include <cstddef>
#include <cstdint>
#include <string>

#include "desktop/windows/rc_l10n_handler/language_choice.h"
#include "desktop/windows/rc_l10n_handler/string_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::u16string text;
  for (std::uint32_t i = 0; i <= installer::kStringsPerBlock; ++i)
    installer::ReadStringBlockEntry(data, size, i, &text);

  const std::vector<std::u16string> codes = installer::ParseLanguageList(
      base::StringPiece(reinterpret_cast<const char*>(data), size));
  const std::u16string requested = codes.empty() ? u"" : codes.front();
  const installer::LanguageChoice choice =
      installer::ChooseLanguageFrom(requested, codes, codes);
  if (choice.code.empty()) __builtin_trap();
  return 0;
}
