// Feeds arbitrary UTF-16 text to the anchor parser and checks what it
// promises: the links lie inside the shown text, in order, without overlap,
// and each covers a non-empty label with a non-empty target.

#include <cstddef>
#include <cstdint>
#include <string>

#include "desktop/windows/installer/ui/anchor_markup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  std::u16string markup(size / 2, u'\0');
  for (std::size_t i = 0; i < markup.size(); ++i)
    markup[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  const installer::LinkedText parsed = installer::ParseAnchorMarkup(markup);
  if (parsed.text.size() > markup.size()) __builtin_trap();
  std::size_t previous_end = 0;
  for (const installer::TextLink& link : parsed.links) {
    if (link.length == 0 || link.href.empty()) __builtin_trap();
    if (link.start < previous_end) __builtin_trap();
    if (link.start + link.length > parsed.text.size()) __builtin_trap();
    if (installer::FindLinkTarget(parsed.links, link.start) != link.href)
      __builtin_trap();
    previous_end = link.start + link.length;
  }
  return 0;
}
