// Lookups for real in this test executable's own resources (the installer's
// resource object is linked in). CTest runs these with LC_ALL=ja_JP.UTF-8, so
// the system's preferred UI language is Japanese.

#include "base/win/i18n.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr LangId kJapanese = 1041;
constexpr LangId kKazakh = 1087;  // in the code table, not in the list

// Restores the process's current language when a test ends.
class ScopedCurrentLanguage {
 public:
  explicit ScopedCurrentLanguage(LangId lang_id)
      : saved_(RcL10nHandler::CurrentLangId()->exchange(lang_id)) {}
  ~ScopedCurrentLanguage() { RcL10nHandler::CurrentLangId()->store(saved_); }

 private:
  const LangId saved_;
};

TEST(RcL10nHandlerWinTest, SystemLanguageIsChosenAndReadBack) {
  std::vector<std::u16string> preferred;
  ASSERT_TRUE(base::win::i18n::GetUserPreferredUILanguageList(&preferred));
  ASSERT_FALSE(preferred.empty());
  ASSERT_EQ(u"ja-JP", preferred.front()) << "run with LC_ALL=ja_JP.UTF-8";

  ScopedCurrentLanguage scope(0);
  std::u16string code;
  RcL10nHandler::ChooseLanguage(RcL10nHandler::CurrentLangId(), &code);
  EXPECT_EQ(u"ja", code);
  EXPECT_EQ(kJapanese, RcL10nHandler::CurrentLangId()->load());
  EXPECT_EQ(u"Velna インストーラー",
            RcL10nHandler::GetString(kIdsInstallerTitle));
  EXPECT_EQ(u"ダウンロードしています…",
            RcL10nHandler::GetString(kIdsDownloading));
  EXPECT_EQ(u"日本語",
            RcL10nHandler::GetStringForCode(u"JA", kIdsLanguageName));
}

TEST(RcL10nHandlerWinTest, RequestedCodesAreWrittenBackAsListed) {
  struct Case {
    const char16_t* requested;
    const char16_t* code;
    LangId lang_id;
  } const kCases[] = {
      {u"DE", u"de", 1031},      {u"tl", u"fil", 1124},
      {u"pt", u"pt-PT", 2070},   {u"zh-tw", u"zh-TW", 1028},
      {u"kk", u"ja", kJapanese},  // not listed: the system's language
  };
  for (const Case& c : kCases) {
    std::atomic<LangId> lang_id{0};
    std::u16string code = c.requested;
    RcL10nHandler::ChooseLanguage(&lang_id, &code);
    EXPECT_EQ(c.code, code);
    EXPECT_EQ(c.lang_id, lang_id.load());
  }
}

TEST(RcL10nHandlerWinTest, AvailableLanguagesComeFromTheList) {
  const std::vector<std::u16string> codes =
      RcL10nHandler::GetAvailableLanguages();
  ASSERT_EQ(56u, codes.size());
  EXPECT_EQ(u"en-US", codes.front());
  EXPECT_TRUE(RcL10nHandler::IsAvailableLanguage(u"EN-us"));
  EXPECT_TRUE(RcL10nHandler::IsAvailableLanguage(u"fil"));
  EXPECT_FALSE(RcL10nHandler::IsAvailableLanguage(u""));
  EXPECT_FALSE(RcL10nHandler::IsAvailableLanguage(u"en"));
  EXPECT_FALSE(RcL10nHandler::IsAvailableLanguage(u"tl"));
}

TEST(RcL10nHandlerWinTest, MissingTextsFallBackToEnglishOnlyInGetString) {
  // No table at all for this language: the raw lookup is empty.
  EXPECT_EQ(u"", RcL10nHandler::GetStringForLanguage(kKazakh,
                                                     kIdsInstallerTitle, {}));
  EXPECT_EQ(u"", RcL10nHandler::GetStringForCode(u"kk", kIdsInstallerTitle));
  ScopedCurrentLanguage scope(kKazakh);
  EXPECT_EQ(u"Velna Installer", RcL10nHandler::GetString(kIdsInstallerTitle));
  EXPECT_EQ(u"The folder D:\\x could not be created.",
            RcL10nHandler::GetStringWithArgs(kIdsFolderNotCreated, u"D:\\x"));
  // Before any choice the language is 0 (neutral), which the resource
  // loader resolves through the thread's UI language: Japanese here.
  RcL10nHandler::CurrentLangId()->store(0);
  EXPECT_EQ(u"Velna インストーラー",
            RcL10nHandler::GetString(kIdsInstallerTitle));
}

TEST(RcL10nHandlerWinTest, EmptyEntriesAndMissingBlocks) {
  ScopedCurrentLanguage scope(kJapanese);
  // 36999 shares its block with 37000 and has length 0, in every language.
  EXPECT_EQ(u"", RcL10nHandler::GetStringForLanguage(1033, kIdsFirst - 1, {}));
  EXPECT_EQ(u"", RcL10nHandler::GetString(kIdsFirst - 1));
  EXPECT_EQ(u"", RcL10nHandler::GetString(kIdsLast + 1));
  // No block, and an id whose block number does not fit a resource name.
  EXPECT_EQ(u"", RcL10nHandler::GetString(100));
  EXPECT_EQ(u"", RcL10nHandler::GetString(0xFFFFFFFF));
}

TEST(RcL10nHandlerWinTest, PlaceholdersAreReplacedOnce) {
  // Without arguments the text stays as the table has it.
  EXPECT_EQ(
      u"The folder $1 could not be created.",
      RcL10nHandler::GetStringForLanguage(1033, kIdsFolderNotCreated, {}));
  // An argument holding "$1" is not expanded again.
  EXPECT_EQ(u"The folder C:\\$1\\$2 could not be created.",
            RcL10nHandler::GetStringForLanguage(1033, kIdsFolderNotCreated,
                                                {u"C:\\$1\\$2"}));
  ScopedCurrentLanguage scope(kJapanese);
  const std::u16string text =
      RcL10nHandler::GetStringWithArgs(kIdsCopyFailed, u"C:\\Velna\\$1.dll");
  EXPECT_NE(std::u16string::npos, text.find(u"C:\\Velna\\$1.dll"));
  EXPECT_EQ(text.find(u"$1"), text.rfind(u"$1"));
}

TEST(RcL10nHandlerWinTest, ARefusedLocationNamesItsFolderBelowItsText) {
  const std::u16string plain =
      RcL10nHandler::GetStringForLanguage(1033, kIdsLocationRefused, {});
  EXPECT_EQ(u"The installation cannot be performed in the selected location.",
            plain);
  EXPECT_EQ(plain + u"\n\nD:\\Apps",
            RcL10nHandler::GetStringForLanguage(1033, kIdsLocationRefused,
                                                {u"D:\\Apps"}));
  // No folder to name: the text alone, without empty lines.
  EXPECT_EQ(plain, RcL10nHandler::GetStringForLanguage(
                       1033, kIdsLocationRefused, {u""}));
  // In a right-to-left language the folder keeps its order.
  constexpr LangId kArabic = 1025;
  const std::u16string arabic = RcL10nHandler::GetStringForLanguage(
      kArabic, kIdsLocationRefused, {u"D:\\Apps"});
  EXPECT_NE(std::u16string::npos, arabic.find(u"\n\n\u202AD:\\Apps\u202C"));
}

}  // namespace
}  // namespace installer
