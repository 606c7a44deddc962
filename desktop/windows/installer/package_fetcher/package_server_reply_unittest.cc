#include "desktop/windows/installer/package_fetcher/package_server_reply.h"

#include <memory>
#include <string>

#include "gtest/gtest.h"

namespace installer {
namespace {

TEST(PackageServerReplyTest, RequiredMembers) {
  const struct {
    const char* json;
    bool parses;
  } cases[] = {
      {R"({"installer": "https://a/b.exe", "installer_checksum": "ab"})", true},
      // Unknown members are ignored; "download_url" is no member.
      {R"({"installer": "u", "installer_checksum": "c", "download_url": 1,
           "x": [1, 2]})",
       true},
      {R"({"installer": "u"})", false},
      {R"({"installer_checksum": "c"})", false},
      {R"({"installer": 7, "installer_checksum": "c"})", false},
      {R"({"installer": "u", "installer_checksum": null})", false},
      {R"({"installer": "u", "installer_checksum": "c",})", false},
      {R"(["installer", "installer_checksum"])", false},
      {R"("text")", false},
      {"", false},
      {R"({"installer": "u", "installer_checksum": "c"} trailing)", false},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(test.parses, PackageServerReply::Parse(test.json) != nullptr)
        << test.json;
  }
}

TEST(PackageServerReplyTest, Values) {
  std::unique_ptr<PackageServerReply> reply = PackageServerReply::Parse(
      R"({"installer": "https://dl.velna.com/p/\u00e9.exe",
            "installer_checksum": "0123abcd",
            "url_welcome": "https://www.velna.com/welcome?a=1&b=2"})");
  ASSERT_TRUE(reply);
  EXPECT_EQ(u"https://dl.velna.com/p/\u00e9.exe", reply->installer_url());
  EXPECT_EQ("0123abcd", reply->installer_checksum());
  std::string welcome;
  EXPECT_TRUE(reply->GetWelcomeUrl(&welcome));
  EXPECT_EQ("https://www.velna.com/welcome?a=1&b=2", welcome);
  EXPECT_EQ(0u, reply->partner_count());

  reply = PackageServerReply::Parse(
      R"({"installer": "u", "installer_checksum": "c", "url_welcome": 3,
          "partner_content": {"href": "h"}})");
  ASSERT_TRUE(reply);
  EXPECT_FALSE(reply->GetWelcomeUrl(&welcome));
  EXPECT_EQ(0u, reply->partner_count());
}

TEST(PackageServerReplyTest, PartnerEntries) {
  std::unique_ptr<PackageServerReply> reply = PackageServerReply::Parse(
      R"({"installer": "u", "installer_checksum": "c", "partner_content": [
        {"href": "https://p.example/a.bin", "filename": "a.bin",
         "checksum": "00ff"},
        "not an object",
        {"filename": "b.bin", "checksum": "00"},
        {"href": "h", "filename": "c.bin", "checksum": "\u00e9"},
        {"href": "h", "filename": 5, "checksum": "00"},
        {"href": "h", "filename": "..\\x", "checksum": "00"},
        {"href": "h", "filename": "sub/x.bin", "checksum": "00"},
        {"href": "h", "filename": "x.bin\r\nother.bin", "checksum": "00"},
        {"href": "h", "filename": "COM1.txt", "checksum": "00"},
        {"href": "h", "filename": "", "checksum": "00"},
        {"href": "h", "filename": "files_list", "checksum": "00"}
      ]})");
  ASSERT_TRUE(reply);
  ASSERT_EQ(11u, reply->partner_count());
  const struct {
    bool valid;
    bool bad_name;
  } expected[] = {
      {true, false},
      {false, false},
      {false, false},
      {false, false},
      {false, false},
      {false, true},
      {false, true},
      {false, true},
      {false, true},
      {false, true},
      // A plain name; whether it is taken is the fetcher's check.
      {true, false},
  };
  for (size_t i = 0; i < reply->partner_count(); ++i) {
    PartnerContentEntry entry;
    bool bad_name = !expected[i].bad_name;
    EXPECT_EQ(expected[i].valid, reply->GetPartnerEntry(i, &entry, &bad_name))
        << i;
    EXPECT_EQ(expected[i].bad_name, bad_name) << i;
  }
  PartnerContentEntry entry;
  ASSERT_TRUE(reply->GetPartnerEntry(0, &entry, nullptr));
  EXPECT_EQ(u"https://p.example/a.bin", entry.href);
  EXPECT_EQ(u"a.bin", entry.file_name);
  EXPECT_EQ("00ff", entry.checksum);
}

TEST(PackageServerReplyTest, PlainFileNames) {
  const struct {
    const char16_t* name;
    bool plain;
  } cases[] = {
      {u"partner.dat", true}, {u"\u00e5rsak \u4e2d.pak", true},
      {u"a.b.c", true},       {u"", false},
      {u".", false},          {u"..", false},
      {u"..\\x", false},      {u"../x", false},
      {u"a\\b", false},       {u"a/b", false},
      {u"C:x", false},        {u"a:stream", false},
      {u"NUL", false},        {u"aux.txt", false},
      {u"LPT9", false},       {u"a\rb", false},
      {u"a\nb", false},       {u"a\tb", false},
      {u"x.", false},         {u"x ", false},
      {u"a*b", false},        {u"a?b", false},
      {u"a|b", false},
  };
  for (const auto& test : cases)
    EXPECT_EQ(test.plain, IsPlainFileName(test.name)) << test.plain;
}

}  // namespace
}  // namespace installer
