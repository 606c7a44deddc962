// Reads of the installer's resources from one module: RcL10nHandler reads
// the executable (module null); the resource tests also read a shipped
// executable opened as a data file. Every read stays within SizeofResource.

#ifndef DESKTOP_WINDOWS_RC_L10N_HANDLER_RESOURCE_READER_WIN_H_
#define DESKTOP_WINDOWS_RC_L10N_HANDLER_RESOURCE_READER_WIN_H_

#include <windows.h>

#include <cstdint>
#include <string>

#include "desktop/windows/rc_l10n_handler/language_choice.h"

namespace installer {

// The type of the installer's text resources.
inline constexpr wchar_t kTextResourceType[] = L"TXT";
// The language list: ASCII codes separated by "\n".
inline constexpr int kLanguageListResourceId = 134;

// String |id| of language |lang_id| in |module| into |text|. False, with
// |text| empty and the cause in the log, when the language has no block for
// the id, the block cannot be loaded, or it ends before the entry does.
bool ReadResourceString(HMODULE module, LangId lang_id, std::uint32_t id,
                        std::u16string* text);

// The bytes of resource |id| of |type| in |module|, in the language the
// system's resource lookup picks. False when there is no such resource.
bool ReadResourceBytes(HMODULE module, int id, const wchar_t* type,
                       std::string* bytes);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_RC_L10N_HANDLER_RESOURCE_READER_WIN_H_
