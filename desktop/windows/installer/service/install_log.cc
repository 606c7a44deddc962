#include "desktop/windows/installer/service/install_log.h"

#include <string.h>

#include <algorithm>
#include <iterator>

#include "base/strings/string_number_conversions.h"
#include "base/strings/string_util.h"
#include "base/strings/stringprintf.h"
#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/xml_cursor.h"

namespace installer {

namespace {

constexpr char kRootElement[] = "install_log";
constexpr char kPathElement[] = "path";
constexpr char kFilesElement[] = "files";
constexpr char kRootFilesElement[] = "root_files";
constexpr char kFileElement[] = "file";
constexpr char kRegistryElement[] = "registry";
constexpr char kKeyElement[] = "key";
constexpr char kValueElement[] = "value";
constexpr char kShortcutElement[] = "shortcut";

constexpr char kVersionAttribute[] = "version";
constexpr char kCopyOnlyAttribute[] = "copy_only";
constexpr char kAllUsersAttribute[] = "all_users";
constexpr char kPinnedAttribute[] = "pinned";
constexpr char kAppIdAttribute[] = "app_id";
constexpr char kCompleteAttribute[] = "complete";
constexpr char kSubfolderAttribute[] = "subfolder";
constexpr char kCreatedParentsAttribute[] = "created_parents";
// More folder levels than any path of MAX_PATH characters has.
constexpr int kMaxCreatedParents = 128;
constexpr char kHiveAttribute[] = "hive";
constexpr char kKeyPathAttribute[] = "path";
constexpr char kCleanAttribute[] = "clean";
constexpr char kNameAttribute[] = "name";
constexpr char kTypeAttribute[] = "type";

constexpr char kHklm[] = "HKLM";
constexpr char kHkcu[] = "HKCU";

constexpr char kTrue[] = "True";
constexpr char kFalse[] = "False";

constexpr char kDesktop[] = "SC_DEST_DESKTOP";
constexpr char kCommonDesktop[] = "SC_DEST_COMMON_DESKTOP";
constexpr char kMenu[] = "SC_DEST_MENU";
constexpr char kCommonMenu[] = "SC_DEST_COMMON_MENU";
constexpr char kQuickLaunch[] = "SC_DEST_QUICK_LAUNCH";

constexpr const char* kRegistryTypeNames[] = {
    "REG_NONE",
    "REG_SZ",
    "REG_EXPAND_SZ",
    "REG_BINARY",
    "REG_DWORD",
    "REG_DWORD_BIG_ENDIAN",
    "REG_LINK",
    "REG_MULTI_SZ",
    "REG_RESOURCE_LIST",
    "REG_FULL_RESOURCE_DESCRIPTOR",
    "REG_RESOURCE_REQUIREMENTS_LIST",
    "REG_QWORD",
};

constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;

std::string DataText(const void* data, uint32_t type, uint32_t size) {
  if (!data) return std::string();
  switch (type) {
    case kRegSz:
    case kRegExpandSz: {
      const char16_t* text = static_cast<const char16_t*>(data);
      size_t units = size / sizeof(char16_t);
      size_t length = 0;
      while (length < units && text[length]) ++length;
      return base::UTF16ToUTF8(base::StringPiece16(text, length));
    }
    case kRegBinary: {
      const unsigned char* bytes = static_cast<const unsigned char*>(data);
      std::string text;
      for (uint32_t i = 0; i < size; ++i)
        base::StringAppendF(&text, i ? ",%.2x" : "%.2x", bytes[i]);
      return text;
    }
    case kRegDword: {
      if (size < sizeof(uint32_t)) return std::string();
      uint32_t number;
      memcpy(&number, data, sizeof(number));
      return base::StringPrintf("%.8x", number);
    }
    default:
      return std::string();
  }
}

// --- Writing

const char* BoolText(bool value) { return value ? kTrue : kFalse; }

bool WriteTextElement(XmlCursor* cursor, const char* name,
                      const std::string& text) {
  return cursor->AddChildElement(name) && cursor->SetText(text) &&
         cursor->CloseElement();
}

bool WriteFileList(XmlCursor* cursor, const char* name,
                   const std::vector<std::u16string>& files) {
  if (!cursor->AddChildElement(name)) return false;
  for (const std::u16string& file : files) {
    if (!WriteTextElement(cursor, kFileElement, base::UTF16ToUTF8(file)))
      return false;
  }
  return cursor->CloseElement();
}

bool WriteRegistry(XmlCursor* cursor, const char* hive,
                   const InstallLogRegistry& keys) {
  if (!cursor->AddChildElement(kRegistryElement) ||
      !cursor->SetAttribute(kHiveAttribute, hive))
    return false;
  for (const InstallLogKey& key : keys) {
    if (!cursor->AddChildElement(kKeyElement) ||
        !cursor->SetAttribute(kKeyPathAttribute, key.path) ||
        !cursor->SetAttribute(kCleanAttribute,
                              base::IntToString(key.clean_depth)))
      return false;
    for (const InstallLogValue& value : key.values) {
      if (!cursor->AddChildElement(kValueElement) ||
          !cursor->SetAttribute(kNameAttribute, value.name) ||
          !cursor->SetAttribute(kTypeAttribute, value.type) ||
          !cursor->SetText(value.data) || !cursor->CloseElement())
        return false;
    }
    if (!cursor->CloseElement()) return false;
  }
  return cursor->CloseElement();
}

bool WriteShortcut(XmlCursor* cursor, const char* type,
                   const std::u16string& path) {
  if (path.empty()) return true;
  return cursor->AddChildElement(kShortcutElement) &&
         cursor->SetAttribute(kTypeAttribute, type) &&
         cursor->SetText(base::UTF16ToUTF8(path)) && cursor->CloseElement();
}

// --- Reading

bool IsNamed(XmlCursor* cursor, const char* name) {
  std::string actual;
  return cursor->GetName(&actual) && actual == name;
}

// A path from the file: cut at a NUL, trimmed of white space.
std::u16string PathFromText(const std::string& text) {
  std::u16string path = base::UTF8ToUTF16(text);
  size_t nul = path.find(u'\0');
  if (nul != std::u16string::npos) path.resize(nul);
  return base::TrimWhitespace16(path);
}

bool ReadFlag(XmlCursor* cursor, const char* name, bool* out) {
  std::string text;
  if (!cursor->GetAttribute(name, &text)) return false;
  *out = text == kTrue;
  return true;
}

// Reads the children of the current element, each through |read_child|,
// and comes back to the element. |min_children| is 0 or 1.
template <typename ReadChild>
bool ReadChildren(XmlCursor* cursor, int min_children, ReadChild read_child) {
  XmlMoveResult moved = cursor->MoveToFirstChild();
  if (moved == kXmlMoveFailed) return false;
  if (moved == kXmlNoElement) return min_children == 0;
  do {
    if (!read_child()) return false;
    moved = cursor->MoveToFollowingSibling();
  } while (moved == kXmlMoved);
  return moved == kXmlNoElement && cursor->MoveToParent() == kXmlMoved;
}

bool ReadFileList(XmlCursor* cursor, std::vector<std::u16string>* files) {
  return ReadChildren(cursor, 1, [cursor, files] {
    std::string text;
    if (!IsNamed(cursor, kFileElement) || !cursor->GetText(&text)) return false;
    files->push_back(PathFromText(text));
    return true;
  });
}

// The number of components of a key path, or 0 when it is empty, starts or
// ends with a backslash or holds an empty component: such a path would make
// the uninstaller's clean-up climb to the root of its hive.
int KeyPathComponents(const std::string& path) {
  if (path.empty() || path.front() == '\\' || path.back() == '\\') return 0;
  if (path.find("\\\\") != std::string::npos) return 0;
  int components = 1;
  for (char c : path) components += c == '\\';
  return components;
}

bool ReadValue(XmlCursor* cursor, InstallLogKey* key) {
  InstallLogValue value;
  std::string data;
  if (!IsNamed(cursor, kValueElement) ||
      !cursor->GetAttribute(kNameAttribute, &value.name) ||
      !cursor->GetAttribute(kTypeAttribute, &value.type) ||
      !cursor->GetText(&data))
    return false;
  value.data = base::TrimWhitespaceASCII(data);
  key->values.push_back(std::move(value));
  return true;
}

bool ReadKey(XmlCursor* cursor, InstallLogRegistry* section) {
  std::string path;
  std::string clean;
  int depth = 0;
  if (!IsNamed(cursor, kKeyElement) ||
      !cursor->GetAttribute(kKeyPathAttribute, &path) ||
      !cursor->GetAttribute(kCleanAttribute, &clean) ||
      !base::StringToInt(clean, &depth))
    return false;
  int components = KeyPathComponents(path);
  if (components == 0 || depth < 0 || depth > components) return false;
  section->push_back(InstallLogKey{depth, std::move(path), {}});
  InstallLogKey* key = &section->back();
  return ReadChildren(cursor, 0,
                      [cursor, key] { return ReadValue(cursor, key); });
}

bool ReadRegistry(XmlCursor* cursor, InstallLog* out) {
  std::string hive;
  if (!cursor->GetAttribute(kHiveAttribute, &hive)) return false;
  InstallLogRegistry* section = nullptr;
  if (hive == kHklm)
    section = &out->hklm_keys;
  else if (hive == kHkcu)
    section = &out->hkcu_keys;
  else
    return false;
  return ReadChildren(cursor, 0,
                      [cursor, section] { return ReadKey(cursor, section); });
}

bool ReadShortcut(XmlCursor* cursor, InstallLog* out) {
  std::string type;
  std::string text;
  if (!cursor->GetAttribute(kTypeAttribute, &type) || !cursor->GetText(&text))
    return false;
  std::u16string* target = nullptr;
  if (type == kDesktop || type == kCommonDesktop)
    target = &out->desktop_shortcut;
  else if (type == kMenu || type == kCommonMenu)
    target = &out->start_menu_shortcut;
  else if (type == kQuickLaunch)
    target = &out->quick_launch_shortcut;
  else
    return false;
  *target = PathFromText(text);
  return true;
}

bool ReadRootAttributes(XmlCursor* cursor, InstallLog* out) {
  if (!IsNamed(cursor, kRootElement) ||
      !cursor->GetAttribute(kVersionAttribute, &out->version))
    return false;
  std::string app_id;
  if (cursor->GetAttribute(kAppIdAttribute, &app_id)) out->app_id = app_id;
  // Optional: the logs of finished installations do not carry it.
  out->complete = true;
  std::string complete;
  if (cursor->GetAttribute(kCompleteAttribute, &complete))
    out->complete = complete == kTrue;
  return ReadFlag(cursor, kCopyOnlyAttribute, &out->copy_only) &&
         ReadFlag(cursor, kAllUsersAttribute, &out->all_users) &&
         ReadFlag(cursor, kPinnedAttribute, &out->pinned);
}

bool ReadPath(XmlCursor* cursor, InstallLog* out) {
  std::string text;
  if (!IsNamed(cursor, kPathElement) || !cursor->GetText(&text)) return false;
  out->path = PathFromText(text);
  std::string subfolder;
  if (cursor->GetAttribute(kSubfolderAttribute, &subfolder))
    out->subfolder = PathFromText(subfolder);
  // Optional, and read conservatively: a value that is no small count
  // removes no folder above the installation.
  out->created_parents = 0;
  std::string created;
  int count = 0;
  if (cursor->GetAttribute(kCreatedParentsAttribute, &created) &&
      base::StringToInt(created, &count) && count > 0 &&
      count <= kMaxCreatedParents) {
    out->created_parents = count;
  }
  return true;
}

}  // namespace

std::string RegistryTypeName(uint32_t type) {
  if (type >= std::size(kRegistryTypeNames)) return std::string();
  return kRegistryTypeNames[type];
}

void AddRegistryValue(InstallLogRegistry* section, const std::u16string& key,
                      const std::u16string& value_name, const void* data,
                      uint32_t type, uint32_t size, int clean_depth) {
  if (type == kRegTypeRemoveValue) return;
  std::string key_path = base::UTF16ToUTF8(key);
  InstallLogKey* record = nullptr;
  for (auto it = section->rbegin(); it != section->rend(); ++it) {
    if (base::EqualsCaseInsensitiveASCII(it->path, key_path)) {
      record = &*it;
      break;
    }
  }
  if (record) {
    record->clean_depth = std::max(record->clean_depth, clean_depth);
  } else {
    section->push_back(InstallLogKey{clean_depth, std::move(key_path), {}});
    record = &section->back();
  }
  record->values.push_back(InstallLogValue{RegistryTypeName(type),
                                           base::UTF16ToUTF8(value_name),
                                           DataText(data, type, size)});
}

bool WriteInstallLogElements(const InstallLog& log, XmlCursor* cursor) {
  if (!cursor->AddChildElement(kRootElement) ||
      !cursor->SetAttribute(kVersionAttribute, log.version) ||
      !cursor->SetAttribute(kCopyOnlyAttribute, BoolText(log.copy_only)) ||
      !cursor->SetAttribute(kAllUsersAttribute, BoolText(log.all_users)) ||
      !cursor->SetAttribute(kPinnedAttribute, BoolText(log.pinned)) ||
      !cursor->SetAttribute(kAppIdAttribute, log.app_id) ||
      (!log.complete && !cursor->SetAttribute(kCompleteAttribute, kFalse)))
    return false;
  if (!cursor->AddChildElement(kPathElement) ||
      !cursor->SetAttribute(kSubfolderAttribute,
                            base::UTF16ToUTF8(log.subfolder)) ||
      (log.created_parents > 0 &&
       !cursor->SetAttribute(kCreatedParentsAttribute,
                             std::to_string(log.created_parents))) ||
      !cursor->SetText(base::UTF16ToUTF8(log.path)) || !cursor->CloseElement())
    return false;
  if (!WriteFileList(cursor, kFilesElement, log.files)) return false;
  if (!log.root_files.empty() &&
      !WriteFileList(cursor, kRootFilesElement, log.root_files))
    return false;
  if (!log.hklm_keys.empty() && !WriteRegistry(cursor, kHklm, log.hklm_keys))
    return false;
  if (!log.hkcu_keys.empty() && !WriteRegistry(cursor, kHkcu, log.hkcu_keys))
    return false;
  return WriteShortcut(cursor, log.all_users ? kCommonDesktop : kDesktop,
                       log.desktop_shortcut) &&
         WriteShortcut(cursor, log.all_users ? kCommonMenu : kMenu,
                       log.start_menu_shortcut) &&
         WriteShortcut(cursor, kQuickLaunch, log.quick_launch_shortcut);
}

bool ReadInstallLogElements(XmlCursor* cursor, InstallLog* out) {
  out->files.clear();
  out->root_files.clear();
  out->hklm_keys.clear();
  out->hkcu_keys.clear();

  if (cursor->MoveToFirstChild() != kXmlMoved ||
      !ReadRootAttributes(cursor, out))
    return false;
  if (cursor->MoveToFirstChild() != kXmlMoved || !ReadPath(cursor, out))
    return false;
  if (cursor->MoveToFollowingSibling() != kXmlMoved ||
      !IsNamed(cursor, kFilesElement) || !ReadFileList(cursor, &out->files))
    return false;

  XmlMoveResult moved = cursor->MoveToFollowingSibling();
  if (moved == kXmlMoved && IsNamed(cursor, kRootFilesElement)) {
    if (!ReadFileList(cursor, &out->root_files)) return false;
    moved = cursor->MoveToFollowingSibling();
  }
  while (moved == kXmlMoved && IsNamed(cursor, kRegistryElement)) {
    if (!ReadRegistry(cursor, out)) return false;
    moved = cursor->MoveToFollowingSibling();
  }
  while (moved == kXmlMoved && IsNamed(cursor, kShortcutElement)) {
    if (!ReadShortcut(cursor, out)) return false;
    moved = cursor->MoveToFollowingSibling();
  }
  // Anything after the shortcuts is out of place.
  return moved == kXmlNoElement;
}

}  // namespace installer
