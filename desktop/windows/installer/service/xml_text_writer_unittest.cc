#include "desktop/windows/installer/service/xml_text_writer.h"

#include <functional>
#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

struct WriterCase {
  const char* name;
  std::function<void(XmlTextWriter*)> feed;
  const char* expected;  // null: Finish() must fail
};

TEST(XmlTextWriterTest, WritesTheFixedFormat) {
  const WriterCase kCases[] = {
      {"empty element",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a/>\n"},
      {"empty text keeps the element empty",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText("");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a/>\n"},
      {"text stays on the element's line",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddAttribute("x", "1");
         w->AddText("t");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a x=\"1\">t</a>\n"},
      {"one space per level",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->StartElement("b");
         w->StartElement("c");
         w->AddText("t");
         w->EndElement();
         w->StartElement("d");
         w->EndElement();
         w->EndElement();
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a>\n <b>\n  <c>t</c>\n  <d/>\n </b>\n</a>\n"},
      {"text among elements gets its own line",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText("x");
         w->StartElement("b");
         w->EndElement();
         w->AddText("y");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a>x\n <b/>\n y\n</a>\n"},
      {"markup in texts",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText("<&>\"'");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a>&lt;&amp;&gt;\"'</a>\n"},
      {"markup in attributes",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddAttribute("x", "<&>\"'");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a x=\"&lt;&amp;&gt;&quot;'\"/>\n"},
      {"tabs, returns and line feeds survive a parser",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddAttribute("x", "1\t2\r3\n4");
         w->AddText("1\t2\r3\n4");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n"
       "<a x=\"1&#9;2&#13;3&#10;4\">1&#9;2&#13;3\n4</a>\n"},
      {"UTF-8 passes unchanged",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText("R\xC3\xA9sum\xC3\xA9 \xF0\x9F\x98\x80");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<a>R\xC3\xA9sum\xC3\xA9 "
       "\xF0\x9F\x98\x80</a>\n"},
      {"comments and instructions around the root",
       [](XmlTextWriter* w) {
         w->AddComment(" c ");
         w->StartElement("a");
         w->AddProcessingInstruction("pi", "data");
         w->EndElement();
       },
       "<?xml version=\"1.0\"?>\n<!-- c -->\n<a>\n <?pi data?>\n</a>\n"},
      {"no document", [](XmlTextWriter* w) {}, "<?xml version=\"1.0\"?>\n\n"},
      {"control character",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText(std::string("x\x01y"));
         w->EndElement();
       },
       nullptr},
      {"NUL in an attribute",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddAttribute("x", std::string("1\0"
                                          "2",
                                          3));
         w->EndElement();
       },
       nullptr},
      {"invalid UTF-8",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText("\xC3(");
         w->EndElement();
       },
       nullptr},
      {"noncharacter U+FFFE",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText("\xEF\xBF\xBE");
         w->EndElement();
       },
       nullptr},
      {"element left open", [](XmlTextWriter* w) { w->StartElement("a"); },
       nullptr},
      {"end without start", [](XmlTextWriter* w) { w->EndElement(); }, nullptr},
      {"attribute after content",
       [](XmlTextWriter* w) {
         w->StartElement("a");
         w->AddText("t");
         w->AddAttribute("x", "1");
         w->EndElement();
       },
       nullptr},
      {"name that breaks markup",
       [](XmlTextWriter* w) {
         w->StartElement("a b");
         w->EndElement();
       },
       nullptr},
      {"double hyphen in a comment",
       [](XmlTextWriter* w) { w->AddComment("a--b"); }, nullptr},
  };
  for (const WriterCase& test_case : kCases) {
    SCOPED_TRACE(test_case.name);
    XmlTextWriter writer;
    test_case.feed(&writer);
    std::string out = "unchanged";
    bool finished = writer.Finish(&out);
    if (test_case.expected) {
      EXPECT_TRUE(finished);
      EXPECT_EQ(test_case.expected, out);
    } else {
      EXPECT_FALSE(finished);
    }
  }
}

TEST(XmlTextWriterTest, WhitespaceTest) {
  EXPECT_TRUE(IsXmlWhitespace(""));
  EXPECT_TRUE(IsXmlWhitespace(" \t\r\n"));
  EXPECT_FALSE(IsXmlWhitespace(" x "));
  // Only XML's four count: a no-break space is content.
  EXPECT_FALSE(IsXmlWhitespace("\xC2\xA0"));
  EXPECT_FALSE(IsXmlWhitespace("\v"));
}

}  // namespace
}  // namespace installer
