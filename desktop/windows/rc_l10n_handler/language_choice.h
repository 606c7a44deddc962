// The language choice of the installer without any system call: the table of
// language codes and their Windows language ids, the parsing of the language
// list resource, and the choice of an available language from a requested
// code and the system's preferred UI languages. RcL10nHandler feeds it the
// executable's resources and the system's list; tests feed it their own.
//
// Everything here is a pure function of its arguments; any thread may call.

#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_CHOICE_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_CHOICE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "base/strings/string_piece.h"

namespace installer {

// A Windows language identifier (LANGID).
using LangId = std::uint16_t;

// United States English: the language of last resort.
inline constexpr LangId kEnglishLangId = 1033;

// The language id of |code| (compared without regard to ASCII case); 0 for an
// empty or unknown code.
LangId LookUpLangId(base::StringPiece16 code);

// Whether |lang_id| is written from right to left (Arabic, Hebrew, Persian,
// Urdu and the other languages of those scripts): such a language gets a
// mirrored window and right-to-left reading order.
bool IsRightToLeftLanguage(LangId lang_id);

// The codes of a language list resource: its bytes, each widened to one
// UTF-16 unit, split at "\n", each piece trimmed of white space. Empty pieces
// (a trailing newline, a blank line) are dropped.
std::vector<std::u16string> ParseLanguageList(base::StringPiece bytes);

// The entry of |available| that equals |code| without regard to ASCII case,
// spelt as the list spells it; null when there is none, when |code| is empty
// or when it is not pure ASCII.
const std::u16string* FindAvailableLanguage(
    const std::vector<std::u16string>& available, base::StringPiece16 code);

struct LanguageChoice {
  std::u16string code;  // as the language list spells it, or "en"
  LangId lang_id = 0;
};

// Chooses the installer's language:
// 1. |requested| with the ISO 639 conversions ("no" -> "nb", "pt" -> "pt-PT",
//    "tl" -> "fil"), when available;
// 2. else the first of |preferred| (most preferred first) that is available
//    as it is or, for "language-REGION", as its language adjusted for the
//    region ("es" outside Spain -> "es-419", "zh" -> "zh-TW" for Hong Kong and
//    Macao else "zh-CN", "en" -> "en-GB" for Australia, Canada, New Zealand
//    and South Africa else "en-US", "no" -> "nb", "tl" -> "fil", others bare);
// 3. else "en-US" when available, else "en": English either way.
LanguageChoice ChooseLanguageFrom(base::StringPiece16 requested,
                                  const std::vector<std::u16string>& available,
                                  const std::vector<std::u16string>& preferred);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_LANGUAGE_CHOICE_H_
