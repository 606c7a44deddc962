#include "desktop/windows/installer/service/install_log.h"

#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "desktop/windows/installer/service/install_log_test_data.h"
#include "desktop/windows/installer/service/xml_tree.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegQword = 11;

// An element to build into an XmlTree, for documents that the writer would
// never produce.
struct Element {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::vector<Element> children;

  Element& Child(const std::string& child_name) {
    for (Element& child : children) {
      if (child.name == child_name) return child;
    }
    ADD_FAILURE() << "no child " << child_name;
    return children.front();
  }
  void Set(const std::string& attribute, const std::string& value) {
    for (auto& pair : attributes) {
      if (pair.first == attribute) {
        pair.second = value;
        return;
      }
    }
    attributes.emplace_back(attribute, value);
  }
  void Erase(const std::string& attribute) {
    std::erase_if(attributes,
                  [&](const auto& pair) { return pair.first == attribute; });
  }
};

void BuildInto(const Element& element, XmlTree* tree) {
  ASSERT_TRUE(tree->AddChildElement(element.name));
  for (const auto& [name, value] : element.attributes) {
    ASSERT_TRUE(tree->SetAttribute(name, value));
  }
  if (!element.text.empty()) {
    ASSERT_TRUE(tree->SetText(element.text));
  }
  for (const Element& child : element.children) BuildInto(child, tree);
  // At the root this fails, which leaves the cursor there.
  tree->CloseElement();
}

bool Read(const Element& root, InstallLog* out) {
  XmlTree tree;
  BuildInto(root, &tree);
  tree.MoveToDocument();
  return ReadInstallLogElements(&tree, out);
}

// The smallest log the reader takes, with one of each optional part.
Element ValidLog() {
  return {"install_log",
          {{"version", "1.0"},
           {"copy_only", "False"},
           {"all_users", "True"},
           {"pinned", "False"}},
          "",
          {{"path", {}, "C:\\V", {}},
           {"files", {}, "", {{"file", {}, "C:\\V\\a", {}}}},
           {"registry",
            {{"hive", "HKCU"}},
            "",
            {{"key",
              {{"path", "Software\\V"}, {"clean", "1"}},
              "",
              {{"value", {{"name", "n"}, {"type", "REG_SZ"}}, "d", {}}}}}},
           {"shortcut", {{"type", "SC_DEST_DESKTOP"}}, "C:\\d.lnk", {}}}};
}

TEST(InstallLogTest, AddRegistryValueFormatsDataByType) {
  const char16_t kText[] = u"C:\\Vé";
  const uint8_t kBytes[] = {0x0a, 0x1b, 0xff};
  const uint32_t kOne = 1;
  const uint32_t kThirtyTwo = 32;
  struct {
    const char* name;
    const void* data;
    uint32_t type;
    uint32_t size;
    const char* type_name;
    const char* text;
  } const kCases[] = {
      {"sz", kText, kRegSz, sizeof(kText), "REG_SZ", "C:\\V\xC3\xA9"},
      {"expand sz", kText, kRegExpandSz, sizeof(kText), "REG_EXPAND_SZ",
       "C:\\V\xC3\xA9"},
      {"sz without terminator in its size", kText, kRegSz, 6, "REG_SZ", "C:\\"},
      {"empty sz", u"", kRegSz, 0, "REG_SZ", ""},
      {"null sz", nullptr, kRegSz, 0, "REG_SZ", ""},
      {"binary", kBytes, kRegBinary, 2, "REG_BINARY", "0a,1b"},
      {"binary of three", kBytes, kRegBinary, 3, "REG_BINARY", "0a,1b,ff"},
      {"binary of nothing", kBytes, kRegBinary, 0, "REG_BINARY", ""},
      {"dword 1", &kOne, kRegDword, 4, "REG_DWORD", "00000001"},
      {"dword 32", &kThirtyTwo, kRegDword, 4, "REG_DWORD", "00000020"},
      {"short dword", &kOne, kRegDword, 2, "REG_DWORD", ""},
      {"none", nullptr, kRegNone, 0, "REG_NONE", ""},
      {"qword has a name but no text", &kOne, kRegQword, 4, "REG_QWORD", ""},
      {"unknown type", &kOne, 12, 4, "", ""},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.name);
    InstallLogRegistry section;
    AddRegistryValue(&section, u"Software\\V", u"name", test_case.data,
                     test_case.type, test_case.size, 1);
    ASSERT_EQ(1u, section.size());
    ASSERT_EQ(1u, section[0].values.size());
    EXPECT_EQ(test_case.type_name, section[0].values[0].type);
    EXPECT_EQ(test_case.text, section[0].values[0].data);
    EXPECT_EQ("name", section[0].values[0].name);
  }
}

TEST(InstallLogTest, AddRegistryValueMergesKeysIgnoringAsciiCase) {
  InstallLogRegistry section;
  AddRegistryValue(&section, u"Software\\Velna", u"a", nullptr, kRegNone, 0, 2);
  AddRegistryValue(&section, u"Software\\Other", u"", nullptr, kRegNone, 0, 0);
  AddRegistryValue(&section, u"SOFTWARE\\velna", u"b", nullptr, kRegNone, 0, 1);
  AddRegistryValue(&section, u"software\\VELNA", u"c", nullptr, kRegNone, 0, 3);
  // A removal records nothing, not even its key.
  AddRegistryValue(&section, u"Software\\Removed", u"x", nullptr,
                   kRegTypeRemoveValue, 0, 4);
  ASSERT_EQ(2u, section.size());
  EXPECT_EQ("Software\\Velna", section[0].path);
  EXPECT_EQ(3, section[0].clean_depth);
  ASSERT_EQ(3u, section[0].values.size());
  EXPECT_EQ("a", section[0].values[0].name);
  EXPECT_EQ("b", section[0].values[1].name);
  EXPECT_EQ("c", section[0].values[2].name);
  EXPECT_EQ(0, section[1].clean_depth);
}

TEST(InstallLogTest, ReferenceLogIsSavedByteForByte) {
  XmlTree tree;
  ASSERT_TRUE(WriteInstallLogElements(MakeReferenceInstallLog(), &tree));
  std::string text;
  ASSERT_TRUE(tree.SaveToString(&text));
  EXPECT_EQ(kReferenceInstallLogText, text);
}

TEST(InstallLogTest, EveryFieldSurvivesWritingAndReading) {
  InstallLog written = MakeReferenceInstallLog();
  for (bool all_users : {true, false}) {
    SCOPED_TRACE(all_users);
    written.all_users = all_users;
    written.copy_only = !all_users;
    written.pinned = !all_users;
    XmlTree tree;
    ASSERT_TRUE(WriteInstallLogElements(written, &tree));
    tree.MoveToDocument();
    InstallLog read;
    read.all_users = !all_users;
    ASSERT_TRUE(ReadInstallLogElements(&tree, &read));
    EXPECT_EQ(written, read);
  }
}

TEST(InstallLogTest, EmptyLogWritesOnlyRootPathAndFiles) {
  InstallLog log;
  XmlTree tree;
  ASSERT_TRUE(WriteInstallLogElements(log, &tree));
  std::string text;
  ASSERT_TRUE(tree.SaveToString(&text));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n"
      "<install_log version=\"\" copy_only=\"False\" all_users=\"True\" "
      "pinned=\"False\" app_id=\"\">\n"
      " <path subfolder=\"\"/>\n"
      " <files/>\n"
      "</install_log>\n",
      text);
  // The reader wants at least one file.
  tree.MoveToDocument();
  InstallLog read;
  EXPECT_FALSE(ReadInstallLogElements(&tree, &read));
}

// The folders an installation created above its path: written only when
// there are any, and read as a small count or not at all.
TEST(InstallLogTest, CreatedParentsAreACount) {
  InstallLog written = MakeReferenceInstallLog();
  written.created_parents = 2;
  XmlTree tree;
  ASSERT_TRUE(WriteInstallLogElements(written, &tree));
  std::string text;
  ASSERT_TRUE(tree.SaveToString(&text));
  EXPECT_NE(std::string::npos, text.find(" created_parents=\"2\""));
  tree.MoveToDocument();
  InstallLog read;
  ASSERT_TRUE(ReadInstallLogElements(&tree, &read));
  EXPECT_EQ(written, read);

  const struct {
    const char* text;
    int count;
  } kCases[] = {{"1", 1},  {"128", 128}, {"0", 0}, {"129", 0},
                {"-1", 0}, {"x", 0},     {"", 0},  {" 2", 0}};
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.text);
    Element log = ValidLog();
    log.Child("path").Set("created_parents", test_case.text);
    InstallLog out;
    out.created_parents = 7;
    ASSERT_TRUE(Read(log, &out));
    EXPECT_EQ(test_case.count, out.created_parents);
  }
}

TEST(InstallLogTest, OnlyTrueReadsAsTrue) {
  const struct {
    const char* text;
    bool expected;
  } kCases[] = {{"True", true}, {"true", false},  {"TRUE", false}, {"1", false},
                {"", false},    {" True", false}, {"False", false}};
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.text);
    Element log = ValidLog();
    log.Set("copy_only", test_case.text);
    log.Set("all_users", test_case.text);
    log.Set("pinned", test_case.text);
    InstallLog read;
    read.copy_only = read.all_users = read.pinned = !test_case.expected;
    ASSERT_TRUE(Read(log, &read));
    EXPECT_EQ(test_case.expected, read.copy_only);
    EXPECT_EQ(test_case.expected, read.all_users);
    EXPECT_EQ(test_case.expected, read.pinned);
  }
}

// The record of an installation still at work carries complete="False"
// after the other root attributes; a finished one is written as before, and
// a log without the attribute (any older one) reads as complete.
TEST(InstallLogTest, IncompleteMarkIsWrittenOnlyWhenIncomplete) {
  for (bool complete : {true, false}) {
    SCOPED_TRACE(complete);
    InstallLog written = MakeReferenceInstallLog();
    written.complete = complete;
    XmlTree tree;
    ASSERT_TRUE(WriteInstallLogElements(written, &tree));
    std::string text;
    ASSERT_TRUE(tree.SaveToString(&text));
    std::string expected = kReferenceInstallLogText;
    if (!complete) {
      const size_t end = expected.find('>', expected.find("<install_log"));
      expected.insert(end, " complete=\"False\"");
    }
    EXPECT_EQ(expected, text);
    tree.MoveToDocument();
    InstallLog read;
    read.complete = !complete;
    ASSERT_TRUE(ReadInstallLogElements(&tree, &read));
    EXPECT_EQ(written, read);
  }

  const struct {
    const char* text;  // null: no attribute
    bool complete;
  } kCases[] = {{nullptr, true},
                {"True", true},
                {"False", false},
                {"false", false},
                {"", false}};
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.text ? test_case.text : "(none)");
    Element log = ValidLog();
    if (test_case.text) log.Set("complete", test_case.text);
    InstallLog read;
    read.complete = !test_case.complete;
    ASSERT_TRUE(Read(log, &read));
    EXPECT_EQ(test_case.complete, read.complete);
  }
}

TEST(InstallLogTest, ReaderTakesWhatTheFormatAllows) {
  const struct {
    const char* name;
    std::function<void(Element*)> change;
  } kCases[] = {
      {"as built", [](Element*) {}},
      {"no app id or subfolder",
       [](Element* log) {
         log->Erase("app_id");
         log->Child("path").Erase("subfolder");
       }},
      {"clean depth zero",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "0");
       }},
      {"clean depth up to the top component",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "2");
       }},
      {"clean depth with a plus sign",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "+1");
       }},
      {"empty registry section",
       [](Element* log) { log->Child("registry").children.clear(); }},
      {"key without values",
       [](Element* log) {
         log->Child("registry").Child("key").children.clear();
       }},
      {"no registry and no shortcut",
       [](Element* log) { log->children.resize(2); }},
      {"shortcuts of every kind",
       [](Element* log) {
         for (const char* type :
              {"SC_DEST_COMMON_DESKTOP", "SC_DEST_MENU", "SC_DEST_COMMON_MENU",
               "SC_DEST_QUICK_LAUNCH"})
           log->children.push_back(
               {"shortcut", {{"type", type}}, "C:\\s.lnk", {}});
       }},
      {"the HKLM section after the HKCU one",
       [](Element* log) {
         Element hklm = log->Child("registry");
         hklm.Set("hive", "HKLM");
         log->children.insert(log->children.end() - 1, hklm);
       }},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.name);
    Element log = ValidLog();
    test_case.change(&log);
    InstallLog read;
    EXPECT_TRUE(Read(log, &read));
  }
}

TEST(InstallLogTest, ReaderRejectsMalformedLogs) {
  const struct {
    const char* name;
    std::function<void(Element*)> change;
  } kCases[] = {
      {"wrong root", [](Element* log) { log->name = "install_logs"; }},
      {"no version", [](Element* log) { log->Erase("version"); }},
      {"no copy_only", [](Element* log) { log->Erase("copy_only"); }},
      {"no all_users", [](Element* log) { log->Erase("all_users"); }},
      {"no pinned", [](Element* log) { log->Erase("pinned"); }},
      {"no elements", [](Element* log) { log->children.clear(); }},
      {"path not first",
       [](Element* log) { std::swap(log->children[0], log->children[1]); }},
      {"no files",
       [](Element* log) { log->children.erase(log->children.begin() + 1); }},
      {"files without a file",
       [](Element* log) { log->Child("files").children.clear(); }},
      {"files with another element",
       [](Element* log) {
         log->Child("files").children.push_back({"folder", {}, "C:\\", {}});
       }},
      {"root_files without a file",
       [](Element* log) {
         log->children.insert(log->children.begin() + 2,
                              {"root_files", {}, "", {}});
       }},
      {"root_files twice",
       [](Element* log) {
         Element root_files{"root_files", {}, "", {{"file", {}, "x", {}}}};
         log->children.insert(log->children.begin() + 2, root_files);
         log->children.insert(log->children.begin() + 2, root_files);
       }},
      {"hive missing",
       [](Element* log) { log->Child("registry").Erase("hive"); }},
      {"hive in lower case",
       [](Element* log) { log->Child("registry").Set("hive", "hkcu"); }},
      {"hive HKCR",
       [](Element* log) { log->Child("registry").Set("hive", "HKCR"); }},
      {"registry with another element",
       [](Element* log) { log->Child("registry").Child("key").name = "k"; }},
      {"key without path",
       [](Element* log) { log->Child("registry").Child("key").Erase("path"); }},
      {"key without clean",
       [](Element* log) {
         log->Child("registry").Child("key").Erase("clean");
       }},
      {"negative clean depth",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "-1");
       }},
      {"clean depth above the hive",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "3");
       }},
      {"clean depth with leading white space",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", " 1");
       }},
      {"clean depth with a suffix",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "1x");
       }},
      {"clean depth out of range",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "2147483648");
       }},
      {"empty clean depth",
       [](Element* log) {
         log->Child("registry").Child("key").Set("clean", "");
       }},
      {"empty key path",
       [](Element* log) {
         log->Child("registry").Child("key").Set("path", "");
       }},
      {"key path from the root",
       [](Element* log) {
         log->Child("registry").Child("key").Set("path", "\\Software");
       }},
      {"key path ending in a separator",
       [](Element* log) {
         log->Child("registry").Child("key").Set("path", "Software\\");
       }},
      {"key path with an empty component",
       [](Element* log) {
         log->Child("registry").Child("key").Set("path", "Software\\\\V");
       }},
      {"key with another element",
       [](Element* log) {
         log->Child("registry").Child("key").Child("value").name = "data";
       }},
      {"value without name",
       [](Element* log) {
         log->Child("registry").Child("key").Child("value").Erase("name");
       }},
      {"value without type",
       [](Element* log) {
         log->Child("registry").Child("key").Child("value").Erase("type");
       }},
      {"unknown shortcut type",
       [](Element* log) {
         log->Child("shortcut").Set("type", "SC_DEST_STARTUP");
       }},
      {"shortcut without type",
       [](Element* log) { log->Child("shortcut").Erase("type"); }},
      {"registry after the shortcuts",
       [](Element* log) { log->children.push_back(log->Child("registry")); }},
      {"unknown element at the end",
       [](Element* log) {
         log->children.push_back({"extra", {}, "", {}});
       }},
  };
  for (const auto& test_case : kCases) {
    SCOPED_TRACE(test_case.name);
    Element log = ValidLog();
    test_case.change(&log);
    InstallLog read;
    EXPECT_FALSE(Read(log, &read));
  }
}

TEST(InstallLogTest, ReaderTrimsPathsAndDataAndSkipsOtherNodes) {
  XmlTree tree;
  ASSERT_TRUE(tree.AddChildElement("install_log"));
  for (const char* flag : {"version", "copy_only", "all_users", "pinned"})
    ASSERT_TRUE(tree.SetAttribute(flag, "True"));
  ASSERT_TRUE(tree.AddComment("written by hand"));
  ASSERT_TRUE(tree.AddTextNode("\n "));
  ASSERT_TRUE(tree.AddChildElement("path"));
  ASSERT_TRUE(tree.SetAttribute("subfolder", " sub\t"));
  // U+00A0 and U+3000 are white space too.
  ASSERT_TRUE(tree.SetText("\xC2\xA0 C:\\V \xE3\x80\x80"));
  ASSERT_TRUE(tree.CloseElement());
  ASSERT_TRUE(tree.AddComment("files follow"));
  ASSERT_TRUE(tree.AddChildElement("files"));
  ASSERT_TRUE(tree.AddChildElement("file"));
  // No file can hold a NUL; a reader is still never fooled by one.
  ASSERT_TRUE(tree.AddTextNode(std::string("C:\\V\\a\0hidden", 13)));
  ASSERT_TRUE(tree.CloseElement());
  ASSERT_TRUE(tree.CloseElement());
  ASSERT_TRUE(tree.AddChildElement("registry"));
  ASSERT_TRUE(tree.SetAttribute("hive", "HKLM"));
  ASSERT_TRUE(tree.AddChildElement("key"));
  ASSERT_TRUE(tree.SetAttribute("path", "Software\\V"));
  ASSERT_TRUE(tree.SetAttribute("clean", "1"));
  ASSERT_TRUE(tree.AddChildElement("value"));
  ASSERT_TRUE(tree.SetAttribute("name", " n "));
  ASSERT_TRUE(tree.SetAttribute("type", "REG_SZ"));
  ASSERT_TRUE(tree.SetText("\n\t data \r\n"));
  tree.MoveToDocument();

  InstallLog read;
  ASSERT_TRUE(ReadInstallLogElements(&tree, &read));
  EXPECT_EQ(u"C:\\V", read.path);
  EXPECT_EQ(u"sub", read.subfolder);
  ASSERT_EQ(1u, read.files.size());
  EXPECT_EQ(u"C:\\V\\a", read.files[0]);
  ASSERT_EQ(1u, read.hklm_keys.size());
  ASSERT_EQ(1u, read.hklm_keys[0].values.size());
  // Names are taken as they are; data loses its outer white space.
  EXPECT_EQ(" n ", read.hklm_keys[0].values[0].name);
  EXPECT_EQ("data", read.hklm_keys[0].values[0].data);
  EXPECT_TRUE(read.hkcu_keys.empty());
}

TEST(InstallLogTest, ReadingEmptiesTheListsAndKeepsWhatItRead) {
  Element log = ValidLog();
  log.Set("version", "2.0");
  log.Child("shortcut").Set("type", "SC_DEST_UNKNOWN");
  InstallLog read;
  read.files = {u"stale"};
  read.root_files = {u"stale"};
  read.hklm_keys = {{1, "Stale", {}}};
  read.app_id = "kept";
  read.quick_launch_shortcut = u"kept";
  EXPECT_FALSE(Read(log, &read));
  // Read before the failing shortcut:
  EXPECT_EQ("2.0", read.version);
  EXPECT_EQ(std::vector<std::u16string>{u"C:\\V\\a"}, read.files);
  EXPECT_EQ(1u, read.hkcu_keys.size());
  // Emptied or left alone:
  EXPECT_TRUE(read.root_files.empty());
  EXPECT_TRUE(read.hklm_keys.empty());
  EXPECT_EQ("kept", read.app_id);
  EXPECT_EQ(u"kept", read.quick_launch_shortcut);
}

TEST(InstallLogTest, RegistryTypeNames) {
  EXPECT_EQ("REG_NONE", RegistryTypeName(0));
  EXPECT_EQ("REG_DWORD_BIG_ENDIAN", RegistryTypeName(5));
  EXPECT_EQ("REG_RESOURCE_REQUIREMENTS_LIST", RegistryTypeName(10));
  EXPECT_EQ("REG_QWORD", RegistryTypeName(11));
  EXPECT_EQ("", RegistryTypeName(12));
  EXPECT_EQ("", RegistryTypeName(kRegTypeRemoveValue));
}

}  // namespace
}  // namespace installer
