// Builds a document from the input and reads it as an install log. The
// input is a small program: each byte picks a cursor step (add an element,
// close it, set an attribute or a text, add a comment or a text node), and
// names and values come from the log's own vocabulary or from raw input
// bytes. A log that reads must come back unchanged after writing it and
// reading it again.

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include <iterator>
#include <string>
#include <vector>

#include "base/strings/utf_string_conversions.h"
#include "desktop/windows/installer/service/install_log.h"
#include "desktop/windows/installer/service/xml_text_writer.h"
#include "desktop/windows/installer/service/xml_tree.h"

namespace installer {
namespace {

constexpr const char* kNames[] = {
    "install_log", "path",   "files",     "file",    "root_files", "registry",
    "key",         "value",  "shortcut",  "version", "copy_only",  "all_users",
    "pinned",      "app_id", "subfolder", "hive",    "clean",      "name",
    "type",        "other",  "complete",
};

constexpr const char* kValues[] = {
    "True",
    "False",
    "HKLM",
    "HKCU",
    "SC_DEST_DESKTOP",
    "SC_DEST_COMMON_DESKTOP",
    "SC_DEST_MENU",
    "SC_DEST_COMMON_MENU",
    "SC_DEST_QUICK_LAUNCH",
    "REG_SZ",
    "0",
    "1",
    "4",
    "-1",
    "2147483648",
    "Software\\Velna",
    "Software\\Classes\\VelnaBeta\\shell",
    "\\",
    "",
    " C:\\Program Files\\Velna \xC2\xA0",
};

class Program {
 public:
  Program(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Done() const { return position_ >= size_; }
  uint8_t Next() { return Done() ? 0 : data_[position_++]; }

  // A word of |vocabulary|, or up to 15 raw bytes.
  template <size_t N>
  std::string Pick(const char* const (&vocabulary)[N]) {
    uint8_t choice = Next();
    if (choice < 0x80) return vocabulary[choice % N];
    std::string raw;
    for (int length = choice & 0x0F; length > 0 && !Done(); --length)
      raw += static_cast<char>(Next());
    return raw;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Whether every text of |log| could be written to a file.
bool IsWritable(const InstallLog& log) {
  std::vector<std::string> texts = {log.app_id, log.version,
                                    base::UTF16ToUTF8(log.path),
                                    base::UTF16ToUTF8(log.subfolder)};
  for (const std::u16string& shortcut :
       {log.desktop_shortcut, log.start_menu_shortcut,
        log.quick_launch_shortcut})
    texts.push_back(base::UTF16ToUTF8(shortcut));
  for (const auto* files : {&log.files, &log.root_files}) {
    for (const std::u16string& file : *files)
      texts.push_back(base::UTF16ToUTF8(file));
  }
  for (const auto* section : {&log.hklm_keys, &log.hkcu_keys}) {
    for (const InstallLogKey& key : *section) {
      texts.push_back(key.path);
      for (const InstallLogValue& value : key.values) {
        texts.push_back(value.name);
        texts.push_back(value.type);
        texts.push_back(value.data);
      }
    }
  }
  for (const std::string& text : texts) {
    if (!IsWritableXmlText(text)) return false;
  }
  return true;
}

void BuildTree(Program* program, XmlTree* tree) {
  while (!program->Done()) {
    switch (program->Next() % 6) {
      case 0:
        tree->AddChildElement(program->Pick(kNames));
        break;
      case 1:
        tree->CloseElement();
        break;
      case 2: {
        std::string name = program->Pick(kNames);
        tree->SetAttribute(name, program->Pick(kValues));
        break;
      }
      case 3:
        tree->SetText(program->Pick(kValues));
        break;
      case 4:
        tree->AddComment(program->Pick(kValues));
        break;
      case 5:
        tree->AddTextNode(program->Pick(kValues));
        break;
    }
  }
}

}  // namespace
}  // namespace installer

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace installer;
  Program program(data, size);
  XmlTree tree;
  BuildTree(&program, &tree);
  std::string text;
  tree.SaveToString(&text);

  tree.MoveToDocument();
  InstallLog read;
  if (!ReadInstallLogElements(&tree, &read)) return 0;

  // Text nodes take any bytes, so a log may hold what no file could; only
  // such a log may fail to be written.
  XmlTree written;
  if (!WriteInstallLogElements(read, &written)) {
    if (IsWritable(read)) abort();
    return 0;
  }
  written.MoveToDocument();
  InstallLog read_again;
  if (!ReadInstallLogElements(&written, &read_again) || !(read == read_again))
    abort();
  return 0;
}
