#include "desktop/windows/installer/ui/anchor_markup.h"

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(AnchorMarkupTest, WellFormedAnchorsBecomeLinks) {
  const struct {
    const char16_t* markup;
    const char16_t* text;
    std::vector<TextLink> links;
  } cases[] = {
      {u"By clicking on \"Accept\" you agree to Velna's "
       u"<a href=\"tos\">Terms of Service</a>",
       u"By clicking on \"Accept\" you agree to Velna's Terms of Service",
       {{45, 16, u"tos"}}},
      // Single quotes, spaces around "=", another attribute after the
      // target, text on both sides.
      {u"x <a  href = 'tos' class=\"k\">T</a> y", u"x T y", {{2, 1, u"tos"}}},
      // Two anchors; the second starts right after the first.
      {u"<a href=\"one\">1</a><a href=\"two\">22</a>.",
       u"122.",
       {{0, 1, u"one"}, {1, 2, u"two"}}},
      // Labels keep what they contain, up to the first end tag.
      {u"<a href=\"t\">a <b> c</a></a>", u"a <b> c</a>", {{0, 7, u"t"}}},
      // The quote of the other kind belongs to the target.
      {u"<a href=\"it's\">x</a>", u"x", {{0, 1, u"it's"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::u16string(c.markup).size());
    const LinkedText parsed = ParseAnchorMarkup(c.markup);
    EXPECT_EQ(std::u16string(c.text), parsed.text);
    EXPECT_EQ(c.links, parsed.links);
  }
}

TEST(AnchorMarkupTest, MalformedAnchorsStayPlainText) {
  const char16_t* const cases[] = {
      u"",
      u"no anchor at all",
      u"<a",
      u"<a ",
      u"<ahref=\"tos\">T</a>",      // no space after "<a"
      u"<a hrf=\"tos\">T</a>",      // not href
      u"<a href\"tos\">T</a>",      // no "="
      u"<a href=tos>T</a>",         // no quote
      u"<a href=\"tos>T</a>",       // target never closed
      u"<a href=\"\">T</a>",        // empty target
      u"<a href=\"tos\" <b>T</a>",  // "<" before the tag ends
      u"<a href=\"tos\"",           // no ">"
      u"<a href=\"tos\">T",         // no end tag
      u"<a href=\"tos\"></a>",      // empty label
      u"<A HREF=\"tos\">T</A>",     // upper case is not an anchor
      u"<a href='tos\">T</a>",      // quotes do not match
  };
  for (const char16_t* markup : cases) {
    SCOPED_TRACE(std::u16string(markup).size());
    const LinkedText parsed = ParseAnchorMarkup(markup);
    EXPECT_EQ(std::u16string(markup), parsed.text);
    EXPECT_TRUE(parsed.links.empty());
  }
}

TEST(AnchorMarkupTest, MalformedAnchorBeforeAGoodOne) {
  const LinkedText parsed =
      ParseAnchorMarkup(u"<a bad> and <a href=\"tos\">Terms</a>!");
  EXPECT_EQ(u"<a bad> and Terms!", parsed.text);
  ASSERT_EQ(1u, parsed.links.size());
  EXPECT_EQ((TextLink{12, 5, u"tos"}), parsed.links[0]);
}

TEST(AnchorMarkupTest, FindLinkTargetCoversExactlyTheLabels) {
  const std::vector<TextLink> links = {{2, 3, u"a"}, {5, 1, u"b"}};
  const struct {
    size_t position;
    const char16_t* target;
  } cases[] = {{0, u""},  {1, u""}, {2, u"a"}, {4, u"a"},
               {5, u"b"}, {6, u""}, {100, u""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    EXPECT_EQ(std::u16string(c.target), FindLinkTarget(links, c.position));
  }
}

}  // namespace
}  // namespace installer
