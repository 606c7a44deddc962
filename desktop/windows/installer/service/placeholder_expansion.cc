#include "desktop/windows/installer/service/placeholder_expansion.h"

namespace installer {

std::u16string ExpandPlaceholders(base::StringPiece16 text,
                                  const PlaceholderResolveFunction& resolve) {
  std::u16string_view rest(text.data(), text.size());
  std::u16string result;
  result.reserve(rest.size());
  while (true) {
    size_t open = rest.find(u'{');
    size_t close = open == std::u16string_view::npos ? std::u16string_view::npos
                                                     : rest.find(u'}', open);
    if (close == std::u16string_view::npos) {
      result.append(rest);
      return result;
    }
    result.append(rest.substr(0, open));
    result += resolve(std::u16string(rest.substr(open + 1, close - open - 1)));
    rest.remove_prefix(close + 1);
  }
}

}  // namespace installer
