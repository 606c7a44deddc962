#include "base/strings/string_tokenizer.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace base {
namespace {

TEST(StringTokenizerTest, SkipsEmptyTokensAndTrimsNothing) {
  const struct {
    const char* text;
    const char* delimiters;
    std::vector<std::string> tokens;
  } cases[] = {
      {"", ",", {}},
      {",,,", ",", {}},
      {"a", ",", {"a"}},
      {",a,,b,", ",", {"a", "b"}},
      {" a , b ", ",", {" a ", " b "}},
      {"a;b,c", ",;", {"a", "b", "c"}},
      {"a,b", "", {"a,b"}},
  };
  for (const auto& c : cases) {
    StringTokenizer tokenizer(c.text, c.delimiters);
    std::vector<std::string> tokens;
    while (tokenizer.GetNext()) tokens.emplace_back(tokenizer.token());
    EXPECT_EQ(c.tokens, tokens) << '"' << c.text << '"';
    EXPECT_FALSE(tokenizer.GetNext()) << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace base
