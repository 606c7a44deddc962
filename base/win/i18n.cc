#include "base/win/i18n.h"

#include "base/strings/string_util_win.h"

namespace base {
namespace win {
namespace i18n {

namespace internal {

namespace {

// MUI_LANGUAGE_NAME | MUI_MERGE_SYSTEM_FALLBACK | MUI_MERGE_USER_FALLBACK:
// names, with the fallbacks the system would use merged in.
constexpr DWORD kPreferredLanguageFlags = 0x8 | 0x10 | 0x20;
// LOCALE_CUSTOM_UI_DEFAULT: no real language to name.
constexpr LANGID kCustomDefaultLanguage = 0x1400;
// Language ids from here on carry a sub-language (a region).
constexpr LANGID kFirstIdWithRegion = 0x400;
// LOCALE_SISO639LANGNAME and LOCALE_SISO3166CTRYNAME.
constexpr LCTYPE kIsoLanguageName = 89;
constexpr LCTYPE kIsoRegionName = 90;
constexpr int kIsoNameBufferSize = 9;

// The thread's languages as a list of NUL-terminated names ended by an
// empty one; false when the system cannot give at least one.
bool GetThreadPreferredUILanguageList(const UILanguageApi& api,
                                      std::u16string* buffer) {
  if (!api.get_thread_preferred_ui_languages) return false;
  ULONG count = 0;
  ULONG size = 0;
  if (!api.get_thread_preferred_ui_languages(kPreferredLanguageFlags, &count,
                                             nullptr, &size) ||
      size == 0) {
    return false;
  }
  buffer->assign(size, u'\0');
  if (!api.get_thread_preferred_ui_languages(
          kPreferredLanguageFlags, &count, as_writable_wcstr(*buffer), &size)) {
    return false;
  }
  return count > 0;
}

// One ISO name of |language|, empty when the system gives fewer than two
// characters (terminating NUL included).
std::u16string GetIsoName(const UILanguageApi& api, LANGID language,
                          LCTYPE type) {
  wchar_t name[kIsoNameBufferSize] = {};
  int length = api.get_locale_info(MAKELCID(language, SORT_DEFAULT), type, name,
                                   kIsoNameBufferSize);
  // The length counts the terminating NUL.
  if (length < 2) return std::u16string();
  return std::u16string(as_u16cstr(name));
}

}  // namespace

UILanguageApi GetSystemUILanguageApi() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  UILanguageApi api;
  api.get_thread_preferred_ui_languages =
      reinterpret_cast<decltype(api.get_thread_preferred_ui_languages)>(
          reinterpret_cast<void*>(
              GetProcAddress(kernel32, "GetThreadPreferredUILanguages")));
  api.get_user_default_ui_language = &GetUserDefaultUILanguage;
  api.get_locale_info = &GetLocaleInfoW;
  return api;
}

bool GetPreferredUILanguageList(const UILanguageApi& api,
                                std::vector<std::u16string>* languages) {
  std::u16string buffer;
  if (GetThreadPreferredUILanguageList(api, &buffer)) {
    for (size_t start = 0; start < buffer.size() && buffer[start] != u'\0';) {
      size_t end = buffer.find(u'\0', start);
      if (end == std::u16string::npos) end = buffer.size();
      languages->push_back(buffer.substr(start, end - start));
      start = end + 1;
    }
    return true;
  }

  LANGID language_id = api.get_user_default_ui_language();
  if (language_id == kCustomDefaultLanguage) return false;
  std::u16string language = GetIsoName(api, language_id, kIsoLanguageName);
  if (language.empty()) return false;
  std::u16string region;
  if (language_id >= kFirstIdWithRegion)
    region = GetIsoName(api, language_id, kIsoRegionName);
  if (!region.empty()) languages->push_back(language + u"-" + region);
  languages->push_back(language);
  return true;
}

}  // namespace internal

bool GetUserPreferredUILanguageList(std::vector<std::u16string>* languages) {
  return internal::GetPreferredUILanguageList(
      internal::GetSystemUILanguageApi(), languages);
}

}  // namespace i18n
}  // namespace win
}  // namespace base
