#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "base/strings/string_util.h"
#include "base/strings/utf_string_conversions.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/util/test/crash_upload_test_server_win.h"
#include "desktop/windows/crash_reporter/util/test/upload_test_util.h"
#include "desktop/windows/crash_reporter/util/wininet_form_upload.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

using test::CrashUploadTestServer;
using test::RecordedRequest;

constexpr char16_t kSuffix[] = u" (Edition test)";

class WinInetFormUploadTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.CreateUniqueTempDir()); }

  base::FilePath Write(const char* name, const std::string& data) {
    return test::WriteTestFile(dir_.GetPath(), base::ASCIIToUTF16(name), data);
  }

  base::ScopedTempDir dir_;
};

TEST_F(WinInetFormUploadTest, BodyIsMultipartWithFieldsThenFiles) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  const std::string content("zip\0bytes\r\n--", 13);
  const base::FilePath path = Write("log.zip", content);
  const WinInetFormUpload::Fields fields = {{u"b", u"v\u00e9 \"x\""},
                                            {u"a", u"1"}};
  for (int round = 0; round < 2; ++round) {
    int32_t status = -1;
    EXPECT_TRUE(WinInetFormUpload::Send(kSuffix, server.Url("/up?x=1&y"),
                                        fields, {{u"file", path}}, std::nullopt,
                                        nullptr, &status));
    EXPECT_EQ(200, status);
  }

  const std::vector<RecordedRequest> requests = server.Requests();
  ASSERT_EQ(2u, requests.size());
  for (const RecordedRequest& request : requests) {
    EXPECT_EQ("POST", request.method);
    EXPECT_EQ("/up?x=1&y", request.target);
    ASSERT_TRUE(request.Header("User-Agent"));
    EXPECT_EQ("CrashReporter/1.0 (Windows) (Edition test)",
              *request.Header("User-Agent"));
    ASSERT_TRUE(request.is_form);
    EXPECT_TRUE(request.form_defects.empty());
    ASSERT_EQ(3u, request.parts.size());
    EXPECT_EQ("a", request.parts[0].name);
    EXPECT_EQ("1", request.parts[0].data);
    EXPECT_EQ("b", request.parts[1].name);
    EXPECT_EQ("v\xC3\xA9 \"x\"", request.parts[1].data);
    EXPECT_EQ("file", request.parts[2].name);
    EXPECT_EQ("application/octet-stream", request.parts[2].content_type);
    EXPECT_EQ(content, request.parts[2].data);
    // The file is named by its base name: no folder (with the user's name)
    // leaves the machine.
    EXPECT_NE(std::string::npos,
              request.body.find("; filename=\"log.zip\"\r\n"));
    EXPECT_EQ(std::string::npos,
              request.body.find(dir_.GetPath().BaseName().AsUTF8()));
  }
  // A boundary of its own for every upload.
  const std::string& type = *requests[0].Header("Content-Type");
  ASSERT_TRUE(base::StartsWith(
      type, "multipart/form-data; boundary=" + std::string(27, '-')));
  EXPECT_EQ(30u + 43u, type.size());
  EXPECT_NE(type, *requests[1].Header("Content-Type"));
}

TEST_F(WinInetFormUploadTest, ReplyMustArriveWholeWhetherWantedOrNot) {
  const struct {
    const char* answer;
    bool want_reply;
    bool result;
    int32_t status;
    size_t reply_size;
  } kCases[] = {
      {"200 100000", true, true, 200, 100000},
      {"200 100000", false, true, 200, 0},
      {"200 0", true, true, 200, 0},
      {"200-short", false, false, 200, 0},
      {"200-short", true, false, 200, 10},
      {"404", false, false, 404, 0},
      {"204", true, false, 204, 0},
  };
  std::vector<std::string> answers;
  for (const auto& c : kCases) answers.push_back(c.answer);
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start(answers));
  for (const auto& c : kCases) {
    std::u16string reply = u"unset";
    int32_t status = -1;
    EXPECT_EQ(c.result,
              WinInetFormUpload::Send(kSuffix, server.Url("/up"),
                                      {{u"a", u"1"}}, {}, std::nullopt,
                                      c.want_reply ? &reply : nullptr, &status))
        << c.answer;
    EXPECT_EQ(c.status, status) << c.answer;
    if (c.want_reply) {
      EXPECT_EQ(c.reply_size, reply.size()) << c.answer;
      EXPECT_EQ(
          std::u16string::npos,
          reply.find_first_not_of(c.reply_size == 10 ? u"0123456789" : u"x"));
    }
  }
  EXPECT_EQ(std::size(kCases), server.Requests().size());
}

TEST_F(WinInetFormUploadTest, NothingIsSentForABadNameOrFile) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"200"}));
  const base::FilePath file = Write("f.txt", "abc");
  const struct {
    const char16_t* field_name;
    const char16_t* file_field_name;
    bool missing_file;
  } kCases[] = {
      {u"", u"file", false},       {u"a\"b", u"file", false},
      {u"\u00e9", u"file", false}, {u"a\x1f", u"file", false},
      {u"a", u"fi\"le", false},    {u"a", u"file", true},
  };
  for (const auto& c : kCases) {
    int32_t status = -1;
    const base::FilePath path =
        c.missing_file ? dir_.GetPath().AppendASCII("missing") : file;
    EXPECT_FALSE(WinInetFormUpload::Send(
        kSuffix, server.Url("/up"), {{c.field_name, u"v"}},
        {{c.file_field_name, path}}, std::nullopt, nullptr, &status));
    EXPECT_EQ(0, status);
  }
  // Neither a scheme other than http(s).
  EXPECT_FALSE(WinInetFormUpload::Send(kSuffix, u"ftp://127.0.0.1/up",
                                       {{u"a", u"v"}}, {}, std::nullopt,
                                       nullptr, nullptr));
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(WinInetFormUploadTest, TimeoutEndsAStalledReply) {
  CrashUploadTestServer server;
  ASSERT_TRUE(server.Start({"stall"}));
  int32_t status = -1;
  EXPECT_FALSE(WinInetFormUpload::Send(
      kSuffix, server.Url("/up"), {{u"a", u"1"}}, {}, 1000, nullptr, &status));
  EXPECT_EQ(0, status);
  EXPECT_EQ(1u, server.Requests().size());
}

}  // namespace
}  // namespace crash_reporter
