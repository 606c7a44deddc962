#include <algorithm>
#include <iterator>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/win/i18n.h"
#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"
#include "desktop/windows/rc_l10n_handler/resource_reader_win.h"
#include "desktop/windows/rc_l10n_handler/string_ids.h"

namespace installer {

namespace {

// The strings whose placeholders stand for a path or a file name.
constexpr std::uint32_t kPathStrings[] = {kIdsFolderNotCreated, kIdsCopyFailed,
                                          kIdsLocationRefused};

// Strings whose translations have no placeholder but which may name the
// folder they are about: the folder goes on a line of its own below.
constexpr std::uint32_t kFolderBelowStrings[] = {kIdsLocationRefused};

// A path reads left to right in every language. Placed plainly into a
// right-to-left sentence, its components would be ordered from the right
// ("Velna\<name>\C:\Users" for a profile named in Arabic script); embedded
// as left to right, it keeps its order and leaves the sentence alone. An
// embedding, not an isolate: fonts without the newer isolate marks draw
// them as gaps, while every system draws the embedding marks as nothing.
constexpr char16_t kLeftToRightEmbedding = u'\u202A';
constexpr char16_t kPopDirectionalFormatting = u'\u202C';

bool HoldsPaths(std::uint32_t id) {
  return std::find(std::begin(kPathStrings), std::end(kPathStrings), id) !=
         std::end(kPathStrings);
}

bool NamesFolderBelow(std::uint32_t id) {
  return std::find(std::begin(kFolderBelowStrings),
                   std::end(kFolderBelowStrings),
                   id) != std::end(kFolderBelowStrings);
}

// String |id| in the current language, else in English.
std::u16string GetStringWithFallback(std::uint32_t id,
                                     const std::vector<std::u16string>& args) {
  const LangId current = RcL10nHandler::CurrentLangId()->load();
  std::u16string text = RcL10nHandler::GetStringForLanguage(current, id, args);
  if (text.empty() && current != kEnglishLangId)
    text = RcL10nHandler::GetStringForLanguage(kEnglishLangId, id, args);
  return text;
}

}  // namespace

std::u16string RcL10nHandler::GetString(std::uint32_t id) {
  return GetStringWithFallback(id, {});
}

std::u16string RcL10nHandler::GetStringWithArgs(std::uint32_t id,
                                                const std::u16string& arg) {
  return GetStringWithFallback(id, {arg});
}

std::u16string RcL10nHandler::GetStringForLanguage(
    LangId lang_id, std::uint32_t id, const std::vector<std::u16string>& args) {
  std::u16string text;
  if (!ReadResourceString(nullptr, lang_id, id, &text) || args.empty())
    return text;
  if (NamesFolderBelow(id) && text.find(u"$1") == std::u16string::npos) {
    if (args[0].empty()) return text;
    text += u"\n\n$1";
  }
  if (!IsRightToLeftLanguage(lang_id) || !HoldsPaths(id))
    return base::ReplaceStringPlaceholders16(text, args);
  std::vector<std::u16string> embedded;
  for (const std::u16string& arg : args)
    embedded.push_back(kLeftToRightEmbedding + arg + kPopDirectionalFormatting);
  return base::ReplaceStringPlaceholders16(text, embedded);
}

std::u16string RcL10nHandler::GetStringForCode(const std::u16string& code,
                                               std::uint32_t id) {
  return GetStringForLanguage(GetLangId(code), id, {});
}

std::vector<std::u16string> RcL10nHandler::GetAvailableLanguages() {
  std::string bytes;
  if (!ReadResourceBytes(nullptr, kLanguageListResourceId, kTextResourceType,
                         &bytes)) {
    LOG(ERROR) << "The executable has no language list";
    return {};
  }
  return ParseLanguageList(bytes);
}

bool RcL10nHandler::IsAvailableLanguage(const std::u16string& code) {
  return FindAvailableLanguage(GetAvailableLanguages(), code) != nullptr;
}

void RcL10nHandler::ChooseLanguage(std::atomic<LangId>* lang_id,
                                   std::u16string* code) {
  std::vector<std::u16string> preferred;
  base::win::i18n::GetUserPreferredUILanguageList(&preferred);
  LanguageChoice choice =
      ChooseLanguageFrom(*code, GetAvailableLanguages(), preferred);
  *code = std::move(choice.code);
  lang_id->store(choice.lang_id);
}

}  // namespace installer
