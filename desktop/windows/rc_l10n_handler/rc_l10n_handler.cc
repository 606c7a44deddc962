#include "desktop/windows/rc_l10n_handler/rc_l10n_handler.h"

#include "base/logging.h"

namespace installer {

std::atomic<LangId>* RcL10nHandler::CurrentLangId() {
  // Constant-initialised and trivially destructible: no first-use race, and
  // lookups during process exit still find it.
  static std::atomic<LangId> current_lang_id{0};
  return &current_lang_id;
}

LangId RcL10nHandler::GetLangId(const std::u16string& code) {
  VLOG(1) << "Looking up LCID for " << code;
  return LookUpLangId(code);
}

}  // namespace installer
