#include "desktop/windows/rc_l10n_handler/resource_reader_win.h"

#include "base/logging.h"
#include "desktop/windows/rc_l10n_handler/string_block.h"

namespace installer {

bool ReadResourceString(HMODULE module, LangId lang_id, std::uint32_t id,
                        std::u16string* text) {
  text->clear();
  const std::uint16_t block = StringBlockName(id);
  if (block == 0) {
    LOG(ERROR) << "Failed to find string " << id << ": no such block";
    return false;
  }
  HRSRC resource =
      FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(block), lang_id);
  if (!resource) {
    PLOG(ERROR) << "Failed to find string " << id << " for language "
                << lang_id;
    return false;
  }
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) {
    PLOG(ERROR) << "Failed to load string " << id;
    return false;
  }
  const void* data = LockResource(loaded);
  if (!data) {
    PLOG(ERROR) << "Failed to lock string " << id;
    return false;
  }
  if (!ReadStringBlockEntry(data, SizeofResource(module, resource),
                            id % kStringsPerBlock, text)) {
    LOG(ERROR) << "String block of " << id << " for language " << lang_id
               << " is too short";
    return false;
  }
  return true;
}

bool ReadResourceBytes(HMODULE module, int id, const wchar_t* type,
                       std::string* bytes) {
  bytes->clear();
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!resource) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data) {
    PLOG(ERROR) << "Failed to load resource " << id;
    return false;
  }
  // Exactly the resource's bytes: the resource compiler stores text files
  // without a terminating zero.
  bytes->assign(static_cast<const char*>(data),
                SizeofResource(module, resource));
  return true;
}

}  // namespace installer
