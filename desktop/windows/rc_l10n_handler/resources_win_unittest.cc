// The shipped installer.exe, opened as a data file, carries complete string
// tables in every language of its list, and the same languages as this test
// executable (which links the same resource object).

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "base/strings/string_util_win.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/child_process_win.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/resource_reader_win.h"
#include "desktop/windows/rc_l10n_handler/string_block.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// Texts a translation may share with English ("OK", the product's name).
constexpr size_t kMaxTextsAsInEnglish = 4;

std::set<std::u16string> Placeholders(const std::u16string& text) {
  std::set<std::u16string> found;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == u'$' && text[i + 1] >= u'1' && text[i + 1] <= u'9')
      found.insert(text.substr(i, 2));
  }
  return found;
}

// Single "&" marks a mnemonic; "&&" is a literal ampersand.
int Mnemonics(const std::u16string& text) {
  int count = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (i + 1 < text.size() && text[i + 1] == u'&')
      ++i;
    else
      ++count;
  }
  return count;
}

// Exactly one anchor, <a href="tos">label</a>, with a label.
bool HasOneTermsAnchor(const std::u16string& text) {
  const std::u16string open = u"<a href=\"tos\">";
  const size_t start = text.find(u"<a");
  if (start == std::u16string::npos || text.find(open) != start ||
      text.find(u"<a", start + 1) != std::u16string::npos) {
    return false;
  }
  const size_t label = start + open.size();
  const size_t close = text.find(u"</a>", label);
  return close != std::u16string::npos && close > label &&
         text.find(u'<', label) == close &&
         text.find(u"</a>", close + 1) == std::u16string::npos;
}

// The languages with a string table, found by enumerating the block of the
// first id.
std::set<LangId> TableLanguages(HMODULE module) {
  std::set<LangId> languages;
  EnumResourceLanguagesW(
      module, RT_STRING, MAKEINTRESOURCEW(StringBlockName(kIdsFirst)),
      [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) -> BOOL {
        reinterpret_cast<std::set<LangId>*>(param)->insert(language);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&languages));
  return languages;
}

class ShippedResourcesTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::u16string path =
        base::GetTestExecutableFolder() + u"..\\installer\\installer.exe";
    module_ =
        LoadLibraryExW(base::as_wcstr(path), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module_) << GetLastError();
    std::string list;
    ASSERT_TRUE(ReadResourceBytes(module_, kLanguageListResourceId,
                                  kTextResourceType, &list));
    codes_ = ParseLanguageList(list);
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  std::u16string Text(LangId lang_id, std::uint32_t id) {
    std::u16string text;
    EXPECT_TRUE(ReadResourceString(module_, lang_id, id, &text))
        << lang_id << " " << id;
    return text;
  }

  HMODULE module_ = nullptr;
  std::vector<std::u16string> codes_;
};

TEST_F(ShippedResourcesTest, SameLanguagesAsTheTestExecutable) {
  std::string own_list;
  ASSERT_TRUE(ReadResourceBytes(nullptr, kLanguageListResourceId,
                                kTextResourceType, &own_list));
  EXPECT_EQ(RcL10nHandler::GetAvailableLanguages(), codes_);
  EXPECT_EQ(56u, codes_.size());

  // One table per listed language, and no table outside the list.
  std::set<LangId> listed;
  for (const std::u16string& code : codes_) {
    const LangId lang_id = RcL10nHandler::GetLangId(code);
    EXPECT_NE(0, lang_id) << base::UTF16ToUTF8(code);
    EXPECT_NE(1024, lang_id) << base::UTF16ToUTF8(code);
    EXPECT_TRUE(listed.insert(lang_id).second) << base::UTF16ToUTF8(code);
  }
  EXPECT_EQ(listed, TableLanguages(module_));
  EXPECT_EQ(listed, TableLanguages(nullptr));
}

TEST_F(ShippedResourcesTest, EveryLanguageHasEveryText) {
  std::map<std::uint32_t, std::u16string> english;
  for (std::uint32_t id = kIdsFirst; id <= kIdsLast; ++id)
    english[id] = Text(kEnglishLangId, id);
  ASSERT_TRUE(HasOneTermsAnchor(english[kIdsTermsLine]));

  std::map<std::u16string, std::u16string> names;  // own name -> code
  for (const std::u16string& code : codes_) {
    const std::string name = base::UTF16ToUTF8(code);
    const LangId lang_id = RcL10nHandler::GetLangId(code);
    size_t as_in_english = 0;
    for (std::uint32_t id = kIdsFirst; id <= kIdsLast; ++id) {
      const std::u16string text = Text(lang_id, id);
      EXPECT_FALSE(text.empty()) << name << " " << id;
      EXPECT_EQ(Placeholders(english[id]), Placeholders(text))
          << name << " " << id;
      EXPECT_EQ(Mnemonics(english[id]), Mnemonics(text)) << name << " " << id;
      EXPECT_LE(Mnemonics(text), 1) << name << " " << id;
      if (text == english[id]) ++as_in_english;
    }
    EXPECT_TRUE(HasOneTermsAnchor(Text(lang_id, kIdsTermsLine))) << name;
    const std::u16string own_name = Text(lang_id, kIdsLanguageName);
    EXPECT_TRUE(names.emplace(own_name, code).second)
        << name << " shares its name with "
        << base::UTF16ToUTF8(names[own_name]);
    // English variants are English; every other table is a translation.
    if (code.rfind(u"en", 0) != 0) {
      EXPECT_LE(as_in_english, kMaxTextsAsInEnglish) << name;
    }
  }
}

// The access key of a control's text: the character after the first single
// "&", upper-cased as the dialog manager compares keys; 0 for none.
char16_t AccessKey(const std::u16string& text) {
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != u'&') continue;
    if (text[i + 1] == u'&') {
      ++i;
      continue;
    }
    wchar_t key[] = {static_cast<wchar_t>(text[i + 1]), 0};
    CharUpperW(key);
    return static_cast<char16_t>(key[0]);
  }
  return 0;
}

// What each page of the installer window (and its message boxes) shows with
// an access key, in every variant: two controls of one page must not share
// a key, or the key never reaches the second.
TEST_F(ShippedResourcesTest, AccessKeysDifferOnEveryPage) {
  const struct {
    const char* page;
    std::vector<std::uint32_t> texts;
  } kPages[] = {
      {"welcome", {kIdsOptions, kIdsAcceptAndInstall}},
      {"welcome, upgrade", {kIdsOptions, kIdsAcceptAndUpgrade}},
      {"terms", {kIdsBack, kIdsAcceptAndInstall}},
      {"options",
       {kIdsBack, kIdsAcceptAndInstall, kIdsLanguageLabel, kIdsInstallForLabel,
        kIdsInstallPathLabel, kIdsChangeFolder, kIdsImportData,
        kIdsShareUsageData}},
      // Before Windows 8 the default-browser option is shown too.
      {"options, Windows 7",
       {kIdsBack, kIdsAcceptAndUpgrade, kIdsLanguageLabel, kIdsInstallForLabel,
        kIdsInstallPathLabel, kIdsChangeFolder, kIdsMakeDefaultBrowser,
        kIdsImportData, kIdsShareUsageData}},
      {"error", {kIdsBack, kIdsTryAgain, kIdsGetFullInstaller}},
      {"uninstall", {kIdsCancel, kIdsUninstall, kIdsDeleteUserData}},
      {"uninstall error", {kIdsTryAgain, kIdsGetFullInstaller}},
      {"message box", {kIdsYes, kIdsNo, kIdsOk}},
  };
  for (const std::u16string& code : codes_) {
    const LangId lang_id = RcL10nHandler::GetLangId(code);
    for (const auto& page : kPages) {
      std::map<char16_t, std::uint32_t> keys;
      for (const std::uint32_t id : page.texts) {
        const char16_t key = AccessKey(Text(lang_id, id));
        if (!key) continue;
        const auto [first, added] = keys.emplace(key, id);
        EXPECT_TRUE(added) << base::UTF16ToUTF8(code) << ", " << page.page
                           << ": " << id << " and " << first->second
                           << " share the key "
                           << base::UTF16ToUTF8(std::u16string(1, key));
      }
    }
  }
}

TEST_F(ShippedResourcesTest, CarriesTheWindowsPicturesAndTexts) {
  struct Resource {
    int id;
    const wchar_t* type;
    std::string magic;  // how the file starts
  } const kResources[] = {
      {139, L"JPG", "\xFF\xD8\xFF"},
      {140, L"PNG", "\x89PNG"},
      {141, L"PNG", "\x89PNG"},
      {133, kTextResourceType, "{"},
      {142, kTextResourceType, "Velna Terms of Service"},
  };
  for (const Resource& resource : kResources) {
    std::string bytes;
    EXPECT_TRUE(ReadResourceBytes(module_, resource.id, resource.type, &bytes))
        << resource.id;
    EXPECT_EQ(0u, bytes.find(resource.magic)) << resource.id;
  }
  EXPECT_TRUE(FindResourceW(module_, MAKEINTRESOURCEW(1), RT_GROUP_ICON));
}

}  // namespace
}  // namespace installer
