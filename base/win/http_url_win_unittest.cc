#include "base/win/http_url_win.h"

#include <windows.h>
#include <wininet.h>

#include "gtest/gtest.h"

namespace base {
namespace win {
namespace {

TEST(HttpUrlTest, CracksHttpAndHttpsUrls) {
  const std::u16string long_path = u"/" + std::u16string(30000, u'p');
  const struct {
    const char* name;
    std::u16string url;
    std::u16string host;
    uint16_t port;
    std::u16string path_and_query;
    bool secure;
  } cases[] = {
      {"port, path, query and fragment",
       u"http://127.0.0.1:8080/a/b?x=1&y=2#frag", u"127.0.0.1", 8080,
       u"/a/b?x=1&y=2", false},
      {"https on its default port, escapes kept",
       u"https://dl.velna.com/p%20q.exe?n=%C3%A9", u"dl.velna.com", 443,
       u"/p%20q.exe?n=%C3%A9", true},
      {"http on its default port, no path", u"http://velna.com", u"velna.com",
       80, u"/", false},
      {"a fragment alone", u"http://velna.com/#top", u"velna.com", 80, u"/",
       false},
      {"a path longer than any fixed buffer", u"http://h" + long_path, u"h", 80,
       long_path, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpUrl parts;
    ASSERT_TRUE(CrackHttpUrl(c.url, &parts));
    EXPECT_EQ(c.host, parts.host);
    EXPECT_EQ(c.port, parts.port);
    EXPECT_EQ(c.path_and_query, parts.path_and_query);
    EXPECT_EQ(c.secure, parts.secure);
  }
}

TEST(HttpUrlTest, RefusesWhatIsNoHttpUrl) {
  const struct {
    const char* name;
    std::u16string url;
    DWORD error;  // 0: whatever InternetCrackUrlW sets.
  } cases[] = {
      {"another scheme", u"ftp://127.0.0.1/file",
       ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {"no host", u"http:///file", 0},
      {"not a URL", u"not a url", 0},
      {"nothing", u"", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpUrl parts;
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(CrackHttpUrl(c.url, &parts));
    const DWORD error = ::GetLastError();
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS), error);
    if (c.error) {
      EXPECT_EQ(c.error, error);
    }
  }
}

TEST(HttpUrlTest, LimitsRefuseLongerHostsAndPaths) {
  const HttpUrlLimits kLimits = {255, 4095};
  const std::u16string host255 = std::u16string(251, u'h') + u".com";
  const std::u16string host256 = u"h" + host255;
  const std::u16string path4095 = u"/" + std::u16string(4090, u'p') + u"?q=1";
  const std::u16string path4096 = u"/p" + path4095.substr(1);
  const struct {
    const char* name;
    std::u16string url;
    bool accepted;
  } cases[] = {
      {"longest host", u"http://" + host255 + u"/", true},
      {"host too long", u"http://" + host256 + u"/", false},
      {"longest path with its query", u"https://h" + path4095, true},
      {"path too long", u"https://h" + path4096, false},
      {"a fragment does not count", u"http://h" + path4095 + u"#fragment",
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpUrl parts;
    ::SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(c.accepted, CrackHttpUrl(c.url, &parts, kLimits));
    if (!c.accepted) {
      EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER),
                ::GetLastError());
    }
    // Without limits every one splits.
    EXPECT_TRUE(CrackHttpUrl(c.url, &parts));
  }
}

}  // namespace
}  // namespace win
}  // namespace base
