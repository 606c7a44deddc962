#include "base/win/i18n.h"

#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace i18n {
namespace {

using internal::UILanguageApi;

// What the fake system answers.
std::u16string g_thread_languages;  // NUL-separated, ends with two NULs
bool g_thread_call_fails = false;
LANGID g_default_language = 0;
std::u16string g_iso_language;
std::u16string g_iso_region;

BOOL WINAPI FakeGetThreadPreferredUILanguages(DWORD flags, PULONG count,
                                              PZZWSTR buffer,
                                              PULONG buffer_size) {
  if (g_thread_call_fails) return FALSE;
  EXPECT_EQ(0x38u, flags);
  ULONG languages = 0;
  for (size_t i = 0; i + 1 < g_thread_languages.size(); ++i)
    if (g_thread_languages[i] == u'\0') ++languages;
  *count = languages;
  if (!buffer) {
    *buffer_size = static_cast<ULONG>(g_thread_languages.size());
    return TRUE;
  }
  if (*buffer_size < g_thread_languages.size()) return FALSE;
  memcpy(buffer, g_thread_languages.data(),
         g_thread_languages.size() * sizeof(char16_t));
  return TRUE;
}

LANGID WINAPI FakeGetUserDefaultUILanguage() { return g_default_language; }

int WINAPI FakeGetLocaleInfo(LCID locale, LCTYPE type, LPWSTR data, int size) {
  EXPECT_EQ(g_default_language, LANGIDFROMLCID(locale));
  const std::u16string& text = type == 89 ? g_iso_language : g_iso_region;
  if (text.size() + 1 > static_cast<size_t>(size)) return 0;
  memcpy(data, text.c_str(), (text.size() + 1) * sizeof(char16_t));
  return static_cast<int>(text.size() + 1);
}

UILanguageApi FakeApi(bool with_thread_languages) {
  UILanguageApi api;
  api.get_thread_preferred_ui_languages =
      with_thread_languages ? &FakeGetThreadPreferredUILanguages : nullptr;
  api.get_user_default_ui_language = &FakeGetUserDefaultUILanguage;
  api.get_locale_info = &FakeGetLocaleInfo;
  return api;
}

void SetDefaultLanguage(LANGID id, std::u16string language,
                        std::u16string region) {
  g_default_language = id;
  g_iso_language = std::move(language);
  g_iso_region = std::move(region);
}

TEST(UILanguageTest, ThreadLanguagesInOrderAppended) {
  g_thread_call_fails = false;
  g_thread_languages = std::u16string(u"de-DE\0en-US\0en\0\0", 16);
  std::vector<std::u16string> languages = {u"kept"};
  EXPECT_TRUE(internal::GetPreferredUILanguageList(FakeApi(true), &languages));
  EXPECT_EQ((std::vector<std::u16string>{u"kept", u"de-DE", u"en-US", u"en"}),
            languages);
}

TEST(UILanguageTest, DefaultLanguageWhenThreadLanguagesAreMissing) {
  struct Case {
    bool have_function;
    bool call_fails;
    std::u16string thread_languages;
  } cases[] = {
      {false, false, u""},
      {true, true, u""},
      // A list without any language does not count.
      {true, false, std::u16string(u"\0", 1)},
  };
  SetDefaultLanguage(0x0407, u"de", u"DE");
  for (const Case& c : cases) {
    g_thread_call_fails = c.call_fails;
    g_thread_languages = c.thread_languages;
    std::vector<std::u16string> languages;
    EXPECT_TRUE(internal::GetPreferredUILanguageList(FakeApi(c.have_function),
                                                     &languages));
    EXPECT_EQ((std::vector<std::u16string>{u"de-DE", u"de"}), languages);
  }
}

TEST(UILanguageTest, DefaultLanguageEdgeCases) {
  struct Case {
    LANGID id;
    std::u16string language;
    std::u16string region;
    bool result;
    std::vector<std::u16string> expected;
  } cases[] = {
      // A neutral language id names no region, even when one is known.
      {0x0007, u"de", u"DE", true, {u"de"}},
      {0x0409, u"en", u"", true, {u"en"}},
      {0x0409, u"en", u"U", true, {u"en-U", u"en"}},
      {0x1400, u"xx", u"YY", false, {}},
      {0x0409, u"", u"US", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    SetDefaultLanguage(c.id, c.language, c.region);
    std::vector<std::u16string> languages;
    EXPECT_EQ(c.result,
              internal::GetPreferredUILanguageList(FakeApi(false), &languages));
    EXPECT_EQ(c.expected, languages);
  }
}

TEST(UILanguageTest, SystemListStartsWithTheUsersLanguage) {
  // Wine knows one preferred language, the process's locale; the list
  // must at least name it first.
  wchar_t name[LOCALE_NAME_MAX_LENGTH];
  ASSERT_GT(LCIDToLocaleName(MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT),
                             name, LOCALE_NAME_MAX_LENGTH, 0),
            0);
  std::vector<std::u16string> languages;
  ASSERT_TRUE(GetUserPreferredUILanguageList(&languages));
  ASSERT_FALSE(languages.empty());
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(name)),
            languages.front());
}

}  // namespace
}  // namespace i18n
}  // namespace win
}  // namespace base
