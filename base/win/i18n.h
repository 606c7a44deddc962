// The user's preferred user-interface languages, most preferred first, as
// language names such as "de-DE". The localisation code picks the language
// of the installer's texts from this list.

#ifndef BASE_WIN_I18N_H_
#define BASE_WIN_I18N_H_

#include <windows.h>

#include <string>
#include <vector>

namespace base {
namespace win {
namespace i18n {

// Appends the names to |languages| (which is not cleared): the thread's
// preferred languages with the user's and the system's fallbacks merged in
// when the system can say (Windows Vista and later); otherwise the user's
// default UI language as "language-REGION" (when it names a region) and
// then "language". False when neither source gives a name.
bool GetUserPreferredUILanguageList(std::vector<std::u16string>* languages);

namespace internal {

// The system functions the list is built from, replaceable in tests.
struct UILanguageApi {
  // GetThreadPreferredUILanguages; null where the system lacks it.
  BOOL(WINAPI* get_thread_preferred_ui_languages)
  (DWORD flags, PULONG count, PZZWSTR buffer, PULONG buffer_size);
  LANGID(WINAPI* get_user_default_ui_language)();
  int(WINAPI* get_locale_info)(LCID locale, LCTYPE type, LPWSTR data, int size);
};

// The running system's functions, looked up anew on every call.
UILanguageApi GetSystemUILanguageApi();

bool GetPreferredUILanguageList(const UILanguageApi& api,
                                std::vector<std::u16string>* languages);

}  // namespace internal
}  // namespace i18n
}  // namespace win
}  // namespace base

#endif  // BASE_WIN_I18N_H_
