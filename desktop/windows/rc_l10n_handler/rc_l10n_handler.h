// RcL10nHandler: every user-visible text of the installer, looked up by id in
// the string tables of the executable that started the process (module handle
// null), in one process-wide current language, and the choice of that
// language from a requested code, the system's preferred UI languages and an
// English fallback.
//
// The current language is 0 until the settings choose one; they pass
// CurrentLangId() to ChooseLanguage on the main thread. Lookups read it on any
// thread. Lookups never fail loudly: a missing text is an empty string (with
// an error in the log), which GetString and GetStringWithArgs replace by the
// English text.
//
// The language table and the choice itself are portable (language_choice.h);
// the resource reads and the system's language list exist only on Windows.

#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_RC_L10N_HANDLER_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_RC_L10N_HANDLER_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "desktop/windows/rc_l10n_handler/language_choice.h"

namespace installer {

class RcL10nHandler {
 public:
  RcL10nHandler() = delete;

  // The process's current language (0 until one is chosen). The object lives
  // as long as the process; the pointer is the same on every call.
  static std::atomic<LangId>* CurrentLangId();

  // The language id of |code| (logged at verbose level 1); 0 when unknown.
  static LangId GetLangId(const std::u16string& code);

#if defined(_WIN32)
  // String |id| in the current language, else in English; empty when
  // neither has it.
  static std::u16string GetString(std::uint32_t id);
  // As GetString, with "$1" replaced by |arg|.
  static std::u16string GetStringWithArgs(std::uint32_t id,
                                          const std::u16string& arg);
  // The lookup itself: string |id| in |lang_id| with "$1", "$2", ...
  // replaced by |args| (none: the text unchanged). In a right-to-left
  // language the path or file name of the folder and copy errors goes in
  // embedded as left to right (between U+202A and U+202C). Empty, with an
  // error in the log, when that language has no table for the id.
  static std::u16string GetStringForLanguage(
      LangId lang_id, std::uint32_t id,
      const std::vector<std::u16string>& args);
  // String |id| in the language of |code|, without fallback.
  static std::u16string GetStringForCode(const std::u16string& code,
                                         std::uint32_t id);

  // The codes of the executable's language list ("TXT" 134), in its order;
  // empty when the executable has none.
  static std::vector<std::u16string> GetAvailableLanguages();
  // True when |code| (ASCII, any case, not empty) is in the language list.
  static bool IsAvailableLanguage(const std::u16string& code);

  // Maps |code| to an available language, or, when it is empty or not
  // available, to the best of the system's preferred UI languages, else to
  // English (see ChooseLanguageFrom). Writes back the chosen code as the
  // language list spells it and stores its language id in |lang_id|.
  static void ChooseLanguage(std::atomic<LangId>* lang_id,
                             std::u16string* code);
#endif  // defined(_WIN32)
};

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_RC_L10N_HANDLER_H_
