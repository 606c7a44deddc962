#include "desktop/windows/installer/service/xml_document_win.h"

#include <objbase.h>
#include <windows.h>

#include <string>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/strings/string_util_win.h"
#include "base/test/scoped_temp_dir.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

class XmlDocumentTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { CoUninitialize(); }

  std::string Name() {
    std::string name;
    EXPECT_TRUE(document_.GetName(&name));
    return name;
  }

  XmlDocument document_;
};

// What MSXML's own writer makes of a file on Windows: CRLF line ends and
// tabs, with a comment and white space before the first element.
constexpr char kLoadedText[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<root a=\"1\" n=\"R\xC3\xA9sum\xC3\xA9\">\r\n"
    "\t<!-- comment -->\r\n"
    "\t<first>one</first>\r\n"
    "\ttext between\r\n"
    "\t<second b=\"&lt;&amp;&quot;\"><inner>x</inner></second>\r\n"
    "</root>\r\n";

TEST_F(XmlDocumentTest, MovesOverElementsOnly) {
  ASSERT_TRUE(document_.LoadFromBytes(kLoadedText));
  EXPECT_EQ("#document", Name());
  EXPECT_EQ(kXmlNoElement, document_.MoveToParent());
  ASSERT_EQ(kXmlMoved, document_.MoveToFirstChild());
  EXPECT_EQ("root", Name());
  // The comment and the white space before it are stepped over.
  ASSERT_EQ(kXmlMoved, document_.MoveToFirstChild());
  EXPECT_EQ("first", Name());
  EXPECT_EQ(kXmlNoElement, document_.MoveToFirstChild());
  ASSERT_EQ(kXmlMoved, document_.MoveToFollowingSibling());
  EXPECT_EQ("second", Name());
  EXPECT_EQ(kXmlNoElement, document_.MoveToFollowingSibling());
  EXPECT_EQ("second", Name());
  ASSERT_EQ(kXmlMoved, document_.MoveToFirstChild());
  EXPECT_EQ("inner", Name());
  ASSERT_EQ(kXmlMoved, document_.MoveToParent());
  ASSERT_EQ(kXmlMoved, document_.MoveToParent());
  EXPECT_EQ("root", Name());
  EXPECT_EQ(kXmlNoElement, document_.MoveToParent());
  EXPECT_EQ("root", Name());
}

TEST_F(XmlDocumentTest, ReadsAttributesAndTexts) {
  ASSERT_TRUE(document_.LoadFromBytes(kLoadedText));
  std::string value = "unchanged";
  // The document node is no element.
  EXPECT_FALSE(document_.GetAttribute("a", &value));
  ASSERT_EQ(kXmlMoved, document_.MoveToFirstChild());
  EXPECT_TRUE(document_.GetAttribute("a", &value));
  EXPECT_EQ("1", value);
  EXPECT_TRUE(document_.GetAttribute("n", &value));
  EXPECT_EQ("R\xC3\xA9sum\xC3\xA9", value);
  value = "unchanged";
  EXPECT_FALSE(document_.GetAttribute("missing", &value));
  EXPECT_EQ("unchanged", value);
  ASSERT_EQ(kXmlMoved, document_.MoveToFirstChild());
  EXPECT_TRUE(document_.GetText(&value));
  EXPECT_EQ("one", value);
  ASSERT_EQ(kXmlMoved, document_.MoveToFollowingSibling());
  EXPECT_TRUE(document_.GetAttribute("b", &value));
  EXPECT_EQ("<&\"", value);
  EXPECT_TRUE(document_.GetText(&value));
  EXPECT_EQ("x", value);
}

TEST_F(XmlDocumentTest, WritesThroughTheCursor) {
  ASSERT_TRUE(document_.Create());
  EXPECT_FALSE(document_.SetAttribute("a", "1"));
  ASSERT_TRUE(document_.AddChildElement("root"));
  EXPECT_FALSE(document_.CloseElement());
  EXPECT_EQ("root", Name());
  ASSERT_TRUE(document_.SetAttribute("a", "1"));
  ASSERT_TRUE(document_.SetAttribute("a", "2 & 3"));
  ASSERT_TRUE(document_.AddChildElement("child"));
  ASSERT_TRUE(document_.SetText("t\xC3\xA9xt"));
  ASSERT_TRUE(document_.CloseElement());
  ASSERT_TRUE(document_.AddChildElement("empty"));
  ASSERT_TRUE(document_.CloseElement());
  EXPECT_FALSE(document_.AddChildElement("bad name"));
  std::string text;
  ASSERT_TRUE(document_.SaveToString(&text));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n"
      "<root a=\"2 &amp; 3\">\n <child>t\xC3\xA9xt</child>\n <empty/>\n"
      "</root>\n",
      text);
}

TEST_F(XmlDocumentTest, SavingALoadedFileUsesTheFixedFormat) {
  ASSERT_TRUE(document_.LoadFromBytes(kLoadedText));
  std::string text;
  ASSERT_TRUE(document_.SaveToString(&text));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n"
      "<root a=\"1\" n=\"R\xC3\xA9sum\xC3\xA9\">\n"
      " <!-- comment -->\n"
      " <first>one</first>\n"
      // A text among elements is kept exactly, white space and all.
      " \n&#9;text between\n&#9;\n"
      " <second b=\"&lt;&amp;&quot;\">\n"
      "  <inner>x</inner>\n"
      " </second>\n"
      "</root>\n",
      text);
  EXPECT_EQ(std::string::npos, text.find('\r'));
  EXPECT_EQ(std::string::npos, text.find('\t'));
}

TEST_F(XmlDocumentTest, TabsAndReturnsInTextsSurviveSavingAndLoading) {
  const std::string kText = "a\tb\r\nc";
  ASSERT_TRUE(document_.Create());
  ASSERT_TRUE(document_.AddChildElement("root"));
  ASSERT_TRUE(document_.SetAttribute("v", kText));
  ASSERT_TRUE(document_.SetText(kText));
  std::string saved;
  ASSERT_TRUE(document_.SaveToString(&saved));

  XmlDocument loaded;
  ASSERT_TRUE(loaded.LoadFromBytes(saved));
  ASSERT_EQ(kXmlMoved, loaded.MoveToFirstChild());
  std::string value;
  ASSERT_TRUE(loaded.GetAttribute("v", &value));
  EXPECT_EQ(kText, value);
  ASSERT_TRUE(loaded.GetText(&value));
  EXPECT_EQ(kText, value);
}

TEST_F(XmlDocumentTest, RefusesWhatXmlCannotCarry) {
  ASSERT_TRUE(document_.Create());
  ASSERT_TRUE(document_.AddChildElement("root"));
  // MSXML versions differ here (Wine drops the character, Windows keeps it
  // and writes a file no parser reads back); the wrapper refuses it.
  EXPECT_FALSE(
      document_.SetText("a\x01"
                        "b"));
  EXPECT_FALSE(document_.SetAttribute("v", std::string("a\0b", 3)));
  EXPECT_FALSE(document_.SetAttribute("v", "\xC3("));
  EXPECT_FALSE(document_.SetAttribute("bad name", "v"));
  EXPECT_FALSE(document_.AddChildElement("a<b"));
  EXPECT_FALSE(document_.AddChildElement(""));
  std::string text;
  ASSERT_TRUE(document_.SaveToString(&text));
  EXPECT_EQ("<?xml version=\"1.0\"?>\n<root/>\n", text);
}

TEST_F(XmlDocumentTest, LoadsFilesByPathOnly) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  // "#" and "%20" would mean something in a URL.
  base::FilePath folder = temp.GetPath().Append(u"a#b%20c");
  ASSERT_TRUE(base::FileUtil::CreateDirectory(folder));
  base::FilePath path = folder.Append(u"doc.xml");
  const std::string kText = "<root>ok</root>";
  ASSERT_EQ(static_cast<int>(kText.size()),
            base::WriteBufferToFile(path, kText.data(),
                                    static_cast<int>(kText.size())));
  ASSERT_TRUE(document_.Load(path));
  ASSERT_EQ(kXmlMoved, document_.MoveToFirstChild());
  std::string text;
  ASSERT_TRUE(document_.GetText(&text));
  EXPECT_EQ("ok", text);

  EXPECT_FALSE(document_.Load(folder.Append(u"missing.xml")));
}

TEST_F(XmlDocumentTest, RefusesFilesBeyondTheSizeLimit) {
  base::ScopedTempDir temp;
  ASSERT_TRUE(temp.CreateUniqueTempDir());
  base::FilePath path = temp.GetPath().Append(u"big.xml");
  HANDLE file =
      CreateFileW(base::as_wcstr(path.value()), GENERIC_WRITE, 0, nullptr,
                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  const char kStart[] = "<root>";
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, kStart, 6, &written, nullptr));
  LARGE_INTEGER size;
  size.QuadPart = XmlDocument::kMaxFileSize + 1;
  ASSERT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
  ASSERT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_FALSE(document_.Load(path));
}

TEST_F(XmlDocumentTest, RejectsBrokenText) {
  const char* const kBroken[] = {
      "",
      "not xml",
      "<root>",
      "<root></other>",
      "<a/><b/>",
      "<root a=\"1\" a=\"2\"/>",
      "<root>&undefined;</root>",
      "\xEF\xBB\xBF",
  };
  for (const char* text : kBroken) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(document_.LoadFromBytes(text));
  }
}

TEST_F(XmlDocumentTest, RefusesDocumentTypes) {
  // Each level multiplies by ten; unchecked, the last would be 10^9 bytes.
  std::string bomb = "<!DOCTYPE r [<!ENTITY e0 \"xxxxxxxxxx\">";
  for (int i = 1; i < 9; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  bomb += "]><r>&e8;</r>";
  EXPECT_FALSE(document_.LoadFromBytes(bomb));
  EXPECT_FALSE(document_.LoadFromBytes("<!DOCTYPE r><r/>"));
  EXPECT_FALSE(document_.LoadFromBytes(
      "<!DOCTYPE r SYSTEM \"file:///C:/windows/win.ini\"><r/>"));
  EXPECT_TRUE(document_.LoadFromBytes("<r/>"));
}

TEST_F(XmlDocumentTest, DeepNestingIsRefusedWithoutCrashing) {
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "<a>";
  for (int i = 0; i < 100000; ++i) text += "</a>";
  // The parser's depth limit, or else the saver's, refuses it.
  std::string saved;
  EXPECT_FALSE(document_.LoadFromBytes(text) && document_.SaveToString(&saved));
}

}  // namespace
}  // namespace installer
