#include "desktop/windows/installer/service/xml_tree.h"

#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

std::string Name(XmlCursor* cursor) {
  std::string name;
  EXPECT_TRUE(cursor->GetName(&name));
  return name;
}

// <root a="1"><!--c--> <first>x</first>text<second/></root>
void BuildSample(XmlTree* tree) {
  ASSERT_TRUE(tree->AddChildElement("root"));
  ASSERT_TRUE(tree->SetAttribute("a", "1"));
  ASSERT_TRUE(tree->AddComment("c"));
  ASSERT_TRUE(tree->AddTextNode(" \n "));
  ASSERT_TRUE(tree->AddChildElement("first"));
  ASSERT_TRUE(tree->SetText("x"));
  ASSERT_TRUE(tree->CloseElement());
  ASSERT_TRUE(tree->AddTextNode("text"));
  ASSERT_TRUE(tree->AddChildElement("second"));
  ASSERT_TRUE(tree->CloseElement());
  tree->MoveToDocument();
}

TEST(XmlTreeTest, MovesOverElementsOnly) {
  XmlTree tree;
  BuildSample(&tree);
  EXPECT_EQ("#document", Name(&tree));
  EXPECT_EQ(kXmlNoElement, tree.MoveToParent());
  ASSERT_EQ(kXmlMoved, tree.MoveToFirstChild());
  EXPECT_EQ("root", Name(&tree));
  // The comment and the white space before it are stepped over.
  ASSERT_EQ(kXmlMoved, tree.MoveToFirstChild());
  EXPECT_EQ("first", Name(&tree));
  EXPECT_EQ(kXmlNoElement, tree.MoveToFirstChild());
  EXPECT_EQ("first", Name(&tree));
  ASSERT_EQ(kXmlMoved, tree.MoveToFollowingSibling());
  EXPECT_EQ("second", Name(&tree));
  // The last element stays where it is.
  EXPECT_EQ(kXmlNoElement, tree.MoveToFollowingSibling());
  EXPECT_EQ("second", Name(&tree));
  ASSERT_EQ(kXmlMoved, tree.MoveToParent());
  EXPECT_EQ("root", Name(&tree));
  // The root element's parent is the document, which is no element.
  EXPECT_EQ(kXmlNoElement, tree.MoveToParent());
  EXPECT_EQ("root", Name(&tree));
  EXPECT_EQ(kXmlNoElement, tree.MoveToFollowingSibling());
}

TEST(XmlTreeTest, ReadsTextsAndAttributes) {
  XmlTree tree;
  BuildSample(&tree);
  ASSERT_EQ(kXmlMoved, tree.MoveToFirstChild());
  std::string value = "unchanged";
  EXPECT_TRUE(tree.GetAttribute("a", &value));
  EXPECT_EQ("1", value);
  value = "unchanged";
  EXPECT_FALSE(tree.GetAttribute("b", &value));
  EXPECT_EQ("unchanged", value);
  // The text content of all descendants, comments left out.
  EXPECT_TRUE(tree.GetText(&value));
  EXPECT_EQ(" \n xtext", value);
  tree.MoveToDocument();
  EXPECT_FALSE(tree.GetAttribute("a", &value));
}

TEST(XmlTreeTest, WritesLikeTheDom) {
  XmlTree tree;
  EXPECT_FALSE(tree.SetAttribute("a", "1"));
  EXPECT_FALSE(tree.SetText("text"));
  ASSERT_TRUE(tree.AddChildElement("root"));
  // The root element cannot be left upwards.
  EXPECT_FALSE(tree.CloseElement());
  EXPECT_TRUE(tree.SetAttribute("a", "1"));
  EXPECT_TRUE(tree.SetAttribute("a", "2"));
  EXPECT_TRUE(tree.AddChildElement("child"));
  EXPECT_TRUE(tree.CloseElement());
  // Text replaces the children.
  EXPECT_TRUE(tree.SetText("only"));
  EXPECT_EQ(kXmlNoElement, tree.MoveToFirstChild());
  tree.MoveToDocument();
  // A document has one root element.
  EXPECT_FALSE(tree.AddChildElement("second"));
  std::string text;
  ASSERT_TRUE(tree.SaveToString(&text));
  EXPECT_EQ("<?xml version=\"1.0\"?>\n<root a=\"2\">only</root>\n", text);
}

TEST(XmlTreeTest, SavingLeavesOutIndentationTexts) {
  XmlTree tree;
  BuildSample(&tree);
  std::string text;
  ASSERT_TRUE(tree.SaveToString(&text));
  EXPECT_EQ(
      "<?xml version=\"1.0\"?>\n"
      "<root a=\"1\">\n <!--c-->\n <first>x</first>\n text\n <second/>\n"
      "</root>\n",
      text);
}

}  // namespace
}  // namespace installer
