#include "desktop/windows/crash_reporter/util/net/http_multipart_builder.h"

#include <memory>
#include <string>

#include "base/files/file_util.h"
#include "base/test/scoped_temp_dir.h"
#include "desktop/windows/crash_reporter/util/net/http_body.h"
#include "gtest/gtest.h"

namespace crash_reporter {
namespace {

// The whole body, or "<error>" when a part fails.
std::string Body(const HTTPMultipartBuilder& builder) {
  std::unique_ptr<HTTPBodyStream> stream = builder.GetBodyStream();
  std::string body;
  uint8_t buffer[7];
  for (;;) {
    const int64_t count = stream->GetBytesBuffer(buffer, sizeof(buffer));
    if (count < 0) return "<error>";
    if (count == 0) return body;
    body.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(count));
  }
}

TEST(HTTPMultipartBuilderTest, BoundaryIsRandomWithAFixedFrame) {
  HTTPMultipartBuilder first;
  HTTPMultipartBuilder second;
  const std::string& boundary = first.boundary();
  ASSERT_EQ(56u, boundary.size());
  EXPECT_EQ("---MultipartBoundary-", boundary.substr(0, 21));
  EXPECT_EQ("---", boundary.substr(53));
  for (size_t i = 21; i < 53; ++i)
    EXPECT_TRUE(isalnum(static_cast<unsigned char>(boundary[i]))) << i;
  EXPECT_NE(first.boundary(), second.boundary());
  EXPECT_EQ("Content-Type", first.GetContentTypeHeader().first);
  EXPECT_EQ("multipart/form-data; boundary=" + boundary,
            first.GetContentTypeHeader().second);
}

TEST(HTTPMultipartBuilderTest, EmptyBuilderHasOnlyTheClosingBoundary) {
  HTTPMultipartBuilder builder;
  EXPECT_EQ("--" + builder.boundary() + "--\r\n", Body(builder));
}

TEST(HTTPMultipartBuilderTest, NamesAreEscapedAndValuesAreNot) {
  HTTPMultipartBuilder builder;
  builder.SetFormData("a\"b%\r\n", "v\"%\r\n");
  const std::string& b = builder.boundary();
  EXPECT_EQ("--" + b +
                "\r\nContent-Disposition: form-data; "
                "name=\"a%22b%25%0d%0a\"\r\n\r\nv\"%\r\n\r\n--" +
                b + "--\r\n",
            Body(builder));
}

TEST(HTTPMultipartBuilderTest, FieldsComeInNameOrderBeforeAttachments) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath path = dir.GetPath().AppendASCII("dump.dmp");
  ASSERT_EQ(4, base::WriteBufferToFile(path, "MDMP", 4));

  HTTPMultipartBuilder builder;
  builder.SetFileAttachment("dump", "na\"me.dmp", path, "");
  builder.SetFormData("zeta", "2");
  builder.SetFormData("Alpha", "1");
  const std::string& b = builder.boundary();
  EXPECT_EQ("--" + b +
                "\r\nContent-Disposition: form-data; name=\"Alpha\"\r\n\r\n"
                "1\r\n--" +
                b +
                "\r\nContent-Disposition: form-data; name=\"zeta\"\r\n\r\n"
                "2\r\n--" +
                b +
                "\r\nContent-Disposition: form-data; name=\"dump\"; "
                "filename=\"na%22me.dmp\"\r\n"
                "Content-Type: application/octet-stream\r\n\r\nMDMP\r\n--" +
                b + "--\r\n",
            Body(builder));
}

TEST(HTTPMultipartBuilderTest, TheLastSetterOfANameWins) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  const base::FilePath path = dir.GetPath().AppendASCII("f.txt");
  ASSERT_EQ(3, base::WriteBufferToFile(path, "abc", 3));

  HTTPMultipartBuilder attachment_wins;
  attachment_wins.SetFormData("x", "field");
  attachment_wins.SetFileAttachment("x", "f.txt", path, "text/plain");
  const std::string& b = attachment_wins.boundary();
  EXPECT_EQ("--" + b +
                "\r\nContent-Disposition: form-data; name=\"x\"; "
                "filename=\"f.txt\"\r\nContent-Type: text/plain\r\n\r\n"
                "abc\r\n--" +
                b + "--\r\n",
            Body(attachment_wins));

  HTTPMultipartBuilder field_wins;
  field_wins.SetFileAttachment("x", "f.txt", path, "");
  field_wins.SetFormData("x", "field");
  EXPECT_EQ("--" + field_wins.boundary() +
                "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n"
                "field\r\n--" +
                field_wins.boundary() + "--\r\n",
            Body(field_wins));
}

TEST(HTTPMultipartBuilderTest, MissingAttachmentFailsTheBody) {
  base::ScopedTempDir dir;
  ASSERT_TRUE(dir.CreateUniqueTempDir());
  HTTPMultipartBuilder builder;
  builder.SetFileAttachment("dump", "d", dir.GetPath().AppendASCII("gone"), "");
  EXPECT_EQ("<error>", Body(builder));
}

TEST(HTTPMultipartBuilderDeathTest, ContentTypeWithAForbiddenCharacter) {
  HTTPMultipartBuilder builder;
  EXPECT_DEATH(builder.SetFileAttachment("f", "f", base::FilePath(u"f"),
                                         "text/plain; charset=x"),
               "");
}

}  // namespace
}  // namespace crash_reporter
