#include "desktop/windows/rc_l10n_handler/language_choice.h"

#include <iterator>

#include "base/logging.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"

namespace installer {

namespace {

struct LanguageCode {
  const char* code;  // lower case
  LangId lang_id;
};

// Every code the installer knows, with its language id. Besides the codes a
// language list may offer this holds aliases ("iw", "no"), the pseudo codes
// "neutral", "userdefault" and "fake-bidi", and "en", which shares 1033 with
// "en-us". "tl" is Filipino, like "fil".
constexpr LanguageCode kLanguageCodes[] = {
    {"af", 1078},          {"am", 1118},    {"ar", 1025},    {"az", 1068},
    {"be", 1059},          {"bg", 1026},    {"bn", 1093},    {"ca", 1027},
    {"cs", 1029},          {"da", 1030},    {"de", 1031},    {"el", 1032},
    {"en", 1033},          {"en-gb", 2057}, {"en-us", 1033}, {"es", 3082},
    {"es-419", 2058},      {"et", 1061},    {"eu", 1069},    {"fa", 1065},
    {"fake-bidi", 1037},   {"fi", 1035},    {"fil", 1124},   {"fr", 1036},
    {"fr-ca", 3084},       {"fy", 1122},    {"gd", 1169},    {"gl", 1110},
    {"gu", 1095},          {"he", 1037},    {"hi", 1081},    {"hr", 1050},
    {"hu", 1038},          {"id", 1057},    {"is", 1039},    {"it", 1040},
    {"iw", 1037},          {"ja", 1041},    {"kk", 1087},    {"kn", 1099},
    {"ko", 1042},          {"lt", 1063},    {"lv", 1062},    {"me", 2074},
    {"mk", 1071},          {"ml", 1100},    {"mr", 1102},    {"ms", 1086},
    {"nb", 1044},          {"ne", 1121},    {"neutral", 0},  {"nl", 1043},
    {"nn", 2068},          {"no", 1044},    {"or", 1096},    {"pa", 1094},
    {"pl", 1045},          {"pt-br", 1046}, {"pt-pt", 2070}, {"ro", 1048},
    {"ru", 1049},          {"sa", 1103},    {"si", 1115},    {"sk", 1051},
    {"sl", 1060},          {"sr", 3098},    {"sv", 1053},    {"sw", 1089},
    {"ta", 1097},          {"te", 1098},    {"th", 1054},    {"ti", 2163},
    {"tl", 1124},          {"tr", 1055},    {"uk", 1058},    {"ur", 1056},
    {"userdefault", 1024}, {"uz", 1091},    {"vi", 1066},    {"zh-cn", 2052},
    {"zh-hk", 3076},       {"zh-tw", 1028}, {"zu", 1077},
};

// One replacement of a code, compared without regard to case.
struct CodeConversion {
  const char* from;
  const char16_t* to;
};

// ISO 639 codes of a request that the language list spells otherwise.
constexpr CodeConversion kIsoConversions[] = {
    {"no", u"nb"},
    {"pt", u"pt-PT"},
    {"tl", u"fil"},
};

std::u16string Convert(base::StringPiece16 code,
                       const CodeConversion* conversions, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (base::EqualsCaseInsensitiveASCII16(code, conversions[i].from))
      return conversions[i].to;
  }
  return code.as_string();
}

bool RegionIsOneOf(base::StringPiece16 region,
                   std::initializer_list<const char*> regions) {
  for (const char* candidate : regions) {
    if (base::EqualsCaseInsensitiveASCII16(region, candidate)) return true;
  }
  return false;
}

// The language part of a "language-REGION" name, adjusted to the codes the
// language list uses. Empty when |name| has no region.
std::u16string AdjustForRegion(base::StringPiece16 name) {
  const size_t dash = name.find(u'-');
  if (dash == base::StringPiece16::npos || dash == 0) return std::u16string();
  const base::StringPiece16 language = name.substr(0, dash);
  const base::StringPiece16 region = name.substr(dash + 1);
  if (base::EqualsCaseInsensitiveASCII16(language, "es"))
    return RegionIsOneOf(region, {"es"}) ? u"es" : u"es-419";
  if (base::EqualsCaseInsensitiveASCII16(language, "zh"))
    return RegionIsOneOf(region, {"hk", "mo"}) ? u"zh-TW" : u"zh-CN";
  if (base::EqualsCaseInsensitiveASCII16(language, "en")) {
    return RegionIsOneOf(region, {"au", "ca", "nz", "za"}) ? u"en-GB"
                                                           : u"en-US";
  }
  static constexpr CodeConversion kLanguageConversions[] = {
      {"no", u"nb"},
      {"tl", u"fil"},
  };
  return Convert(language, kLanguageConversions,
                 std::size(kLanguageConversions));
}

}  // namespace

bool IsRightToLeftLanguage(LangId lang_id) {
  // Primary language ids (the low 10 bits of a LANGID).
  constexpr LangId kRightToLeft[] = {
      0x01,  // Arabic
      0x0D,  // Hebrew
      0x20,  // Urdu
      0x29,  // Persian
      0x5A,  // Syriac
      0x63,  // Pashto
      0x65,  // Divehi
      0x80,  // Uyghur
      0x8C,  // Dari
  };
  const LangId primary = lang_id & 0x3FF;
  for (LangId rtl : kRightToLeft) {
    if (primary == rtl) return true;
  }
  return false;
}

LangId LookUpLangId(base::StringPiece16 code) {
  for (const LanguageCode& entry : kLanguageCodes) {
    if (base::EqualsCaseInsensitiveASCII16(code, entry.code))
      return entry.lang_id;
  }
  return 0;
}

std::vector<std::u16string> ParseLanguageList(base::StringPiece bytes) {
  std::vector<std::u16string> codes;
  std::u16string piece;
  auto finish_piece = [&] {
    std::u16string code = base::TrimWhitespace16(piece);
    if (!code.empty()) codes.push_back(std::move(code));
    piece.clear();
  };
  for (char byte : bytes) {
    if (byte == '\n') {
      finish_piece();
    } else {
      piece.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
    }
  }
  finish_piece();
  return codes;
}

const std::u16string* FindAvailableLanguage(
    const std::vector<std::u16string>& available, base::StringPiece16 code) {
  if (code.empty() || !base::IsStringASCII16(code)) return nullptr;
  for (const std::u16string& entry : available) {
    if (base::EqualsCaseInsensitiveASCII16(code, entry)) return &entry;
  }
  return nullptr;
}

LanguageChoice ChooseLanguageFrom(
    base::StringPiece16 requested, const std::vector<std::u16string>& available,
    const std::vector<std::u16string>& preferred) {
  const std::u16string converted =
      Convert(requested, kIsoConversions, std::size(kIsoConversions));
  LOG(INFO) << "Language converted from ISO631:" << converted;

  const std::u16string* found = FindAvailableLanguage(available, converted);
  if (!found) {
    LOG(INFO) << "Language not in the available languages list: " << converted;
    for (const std::u16string& name : preferred) {
      LOG(INFO) << "Trying language from system preferred list: " << name;
      found = FindAvailableLanguage(available, name);
      if (found) break;
      const std::u16string adjusted = AdjustForRegion(name);
      if (adjusted.empty()) continue;
      LOG(INFO) << "Retrying after adjustments: " << adjusted;
      found = FindAvailableLanguage(available, adjusted);
      if (found) break;
    }
  }

  LanguageChoice choice;
  if (found) {
    choice.code = *found;
  } else {
    LOG(WARNING) << "Falling back to english";
    found = FindAvailableLanguage(available, u"en-US");
    choice.code = found ? *found : u"en";
  }
  choice.lang_id = LookUpLangId(choice.code);
  return choice;
}

}  // namespace installer
