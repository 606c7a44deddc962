#include "desktop/windows/rc_l10n_handler/language_choice.h"

#include <fstream>
#include <iterator>
#include <set>

#include "base/strings/utf_string_conversions.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// The language list the installer ships.
std::vector<std::u16string> ShippedLanguages() {
  std::ifstream file(VELNA_LANGUAGE_LIST_FILE, std::ios::binary);
  EXPECT_TRUE(file) << VELNA_LANGUAGE_LIST_FILE;
  const std::string bytes((std::istreambuf_iterator<char>(file)),
                          std::istreambuf_iterator<char>());
  return ParseLanguageList(bytes);
}

TEST(LanguageChoiceTest, ShippedListHoldsDistinctRealLanguages) {
  const std::vector<std::u16string> codes = ShippedLanguages();
  EXPECT_EQ(56u, codes.size());
  std::set<LangId> ids;
  for (const std::u16string& code : codes) {
    const LangId id = LookUpLangId(code);
    EXPECT_NE(0, id) << base::UTF16ToUTF8(code);
    // 1024 is the user's default language, not a language of its own.
    EXPECT_NE(1024, id);
    EXPECT_TRUE(ids.insert(id).second) << base::UTF16ToUTF8(code);
  }
  for (const char16_t* code : {u"en-US", u"en-GB", u"es", u"es-419", u"pt-BR",
                               u"pt-PT", u"zh-CN", u"zh-TW", u"fil"}) {
    EXPECT_TRUE(FindAvailableLanguage(codes, code)) << base::UTF16ToUTF8(code);
  }
  // Without them the choices the installer promises would not hold.
  for (const char16_t* code : {u"en-AU", u"zh-HK", u"en", u"tl", u"iw", u"no",
                               u"neutral", u"userdefault", u"fake-bidi"}) {
    EXPECT_FALSE(FindAvailableLanguage(codes, code)) << base::UTF16ToUTF8(code);
  }
}

TEST(LanguageChoiceTest, LangIdTable) {
  struct Case {
    const char16_t* code;
    LangId expected;
  } const kCases[] = {
      {u"en-US", 1033},  {u"EN-us", 1033},
      {u"en", 1033},     {u"en-GB", 2057},
      {u"fil", 1124},    {u"tl", 1124},
      {u"TL", 1124},     {u"he", 1037},
      {u"iw", 1037},     {u"nb", 1044},
      {u"no", 1044},     {u"zh-HK", 3076},
      {u"es-419", 2058}, {u"userdefault", 1024},
      {u"neutral", 0},   {u"", 0},
      {u"xx", 0},        {u"en-", 0},
      {u"en-US ", 0},
  };
  for (const Case& c : kCases)
    EXPECT_EQ(c.expected, LookUpLangId(c.code)) << base::UTF16ToUTF8(c.code);
}

TEST(LanguageChoiceTest, RightToLeftLanguagesOfTheShippedList) {
  std::set<std::u16string> right_to_left;
  for (const std::u16string& code : ShippedLanguages()) {
    if (IsRightToLeftLanguage(LookUpLangId(code))) right_to_left.insert(code);
  }
  EXPECT_EQ((std::set<std::u16string>{u"ar", u"fa", u"he", u"ur"}),
            right_to_left);
  // Every region of a right-to-left language; not the neutral or user ids.
  EXPECT_TRUE(IsRightToLeftLanguage(0x0C01));  // Arabic (Egypt)
  EXPECT_TRUE(IsRightToLeftLanguage(LookUpLangId(u"fake-bidi")));
  EXPECT_FALSE(IsRightToLeftLanguage(0));
  EXPECT_FALSE(IsRightToLeftLanguage(1024));
}

TEST(LanguageChoiceTest, ListParsingDropsEmptyEntriesAndTrims) {
  const std::vector<std::u16string> expected = {u"de", u"en-US", u"fr"};
  EXPECT_EQ(expected, ParseLanguageList("de\nen-US\nfr\n"));
  EXPECT_EQ(expected, ParseLanguageList("de\r\nen-US\r\nfr\r\n"));
  EXPECT_EQ(expected, ParseLanguageList("\n de \n\n\t\r\nen-US\nfr"));
  EXPECT_TRUE(ParseLanguageList("").empty());
  EXPECT_TRUE(ParseLanguageList("\n\r\n \n").empty());
  // Bytes are widened one by one, never decoded.
  EXPECT_EQ(std::vector<std::u16string>{u"\u00e9s"},
            ParseLanguageList("\xe9s"));
}

TEST(LanguageChoiceTest, AvailabilityKeepsTheListsSpelling) {
  const std::vector<std::u16string> list = {u"de", u"en-US", u"pt-BR"};
  const std::u16string* found = FindAvailableLanguage(list, u"EN-us");
  ASSERT_TRUE(found);
  EXPECT_EQ(u"en-US", *found);
  EXPECT_FALSE(FindAvailableLanguage(list, u""));
  EXPECT_FALSE(FindAvailableLanguage(list, u"d\u00e9"));
  EXPECT_FALSE(FindAvailableLanguage(list, u"pt"));
  // An empty entry never makes the empty code available.
  EXPECT_FALSE(FindAvailableLanguage({u""}, u""));
}

// The choice over the shipped list: requested code, system languages, and
// the code and language id chosen.
TEST(LanguageChoiceTest, ChoiceOverTheShippedList) {
  struct Case {
    const char* name;
    std::u16string requested;
    std::vector<std::u16string> preferred;
    std::u16string code;
    LangId lang_id;
  } const kCases[] = {
      {"requested and listed", u"de", {u"fr-FR"}, u"de", 1031},
      {"written back as listed", u"DE", {}, u"de", 1031},
      {"case of a region code", u"PT-br", {}, u"pt-BR", 1046},
      {"pt means Portugal", u"pt", {u"pt-BR"}, u"pt-PT", 2070},
      {"no means bokmal", u"no", {}, u"nb", 1044},
      {"tl means Filipino", u"tl", {}, u"fil", 1124},
      {"unlisted request", u"xx", {u"it-IT"}, u"it", 1040},
      {"empty request asks the system", u"", {u"ja-JP", u"ja"}, u"ja", 1041},
      {"first listed system language",
       u"",
       {u"fr-CA", u"de-DE"},
       u"fr-CA",
       3084},
      {"bare language after its region", u"", {u"fr-BE"}, u"fr", 1036},
      {"en-AU gives en-GB", u"", {u"en-AU"}, u"en-GB", 2057},
      {"en-IE gives en-US", u"", {u"en-IE"}, u"en-US", 1033},
      {"en-IE before de-DE", u"", {u"en-IE", u"de-DE"}, u"en-US", 1033},
      {"zh-HK gives zh-TW", u"", {u"zh-HK"}, u"zh-TW", 1028},
      {"zh-MO gives zh-TW", u"", {u"zh-MO"}, u"zh-TW", 1028},
      {"zh-SG gives zh-CN", u"", {u"zh-SG"}, u"zh-CN", 2052},
      {"es-MX gives es-419", u"", {u"es-MX"}, u"es-419", 2058},
      {"es-ES gives es", u"", {u"es-ES"}, u"es", 3082},
      {"nb-NO listed as it is", u"", {u"nb-NO"}, u"nb", 1044},
      {"no-NO gives nb", u"", {u"no-NO"}, u"nb", 1044},
      {"Filipino system", u"", {u"fil-PH"}, u"fil", 1124},
      {"tl-PH gives fil", u"", {u"tl-PH"}, u"fil", 1124},
      {"unlisted system languages",
       u"",
       {u"kk-KZ", u"kk", u"-x"},
       u"en-US",
       1033},
      {"no system languages", u"", {}, u"en-US", 1033},
      {"unlisted request, no system", u"klingon", {}, u"en-US", 1033},
  };
  const std::vector<std::u16string> shipped = ShippedLanguages();
  for (const Case& c : kCases) {
    const LanguageChoice choice =
        ChooseLanguageFrom(c.requested, shipped, c.preferred);
    EXPECT_EQ(c.code, choice.code) << c.name;
    EXPECT_EQ(c.lang_id, choice.lang_id) << c.name;
  }
}

TEST(LanguageChoiceTest, ChoiceOverOtherLists) {
  // Pieces of a list file with CRLF line ends and a trailing newline: the
  // empty code is never available, so the system is asked.
  const std::vector<std::u16string> crlf =
      ParseLanguageList("de\r\nfr\r\nen-GB\r\n");
  LanguageChoice choice = ChooseLanguageFrom(u"", crlf, {u"fr-FR"});
  EXPECT_EQ(u"fr", choice.code);
  EXPECT_EQ(1036, choice.lang_id);
  // Without "en-US" the fallback is "en", still English.
  choice = ChooseLanguageFrom(u"", crlf, {u"it-IT"});
  EXPECT_EQ(u"en", choice.code);
  EXPECT_EQ(kEnglishLangId, choice.lang_id);
  // An installer offering "en-AU" itself takes it as it is.
  choice = ChooseLanguageFrom(u"", {u"en-AU", u"en-GB"}, {u"en-AU"});
  EXPECT_EQ(u"en-AU", choice.code);
  // No list at all: English.
  choice = ChooseLanguageFrom(u"de", {}, {u"de-DE"});
  EXPECT_EQ(u"en", choice.code);
  EXPECT_EQ(kEnglishLangId, choice.lang_id);
}

}  // namespace
}  // namespace installer
