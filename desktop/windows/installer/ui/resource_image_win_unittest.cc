#include "desktop/windows/installer/ui/resource_image_win.h"

#include <string>

#include "base/files/file_util.h"
#include "desktop/windows/installer/ui/installer_window_ids.h"
#include "desktop/windows/installer/ui/scoped_gdi_object_win.h"
#include "desktop/windows/installer/ui/test/window_test_util_win.h"
#include "gtest/gtest.h"

namespace installer {
namespace {

// The pictures linked into this test executable, as the files give them.
TEST(ResourceImageTest, PicturesDecodeAtTheirSize) {
  const struct {
    int id;
    const wchar_t* type;
    int width;
    int height;
  } cases[] = {
      // Drawn for 200 %.
      {kLogoPictureId, kPngResourceType, 192, 192},
      {kErrorBadgePictureId, kPngResourceType, 64, 64},
      {kBackgroundPictureId, kJpgResourceType, 600, 400},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    ScopedBitmap bitmap(LoadResourceBitmap(c.id, c.type));
    ASSERT_TRUE(bitmap);
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels =
        test::ReadBitmapPixels(bitmap.get(), &width, &height);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(c.width, width);
    EXPECT_EQ(c.height, height);
  }
}

// AlphaBlend with AC_SRC_ALPHA wants premultiplied colours: no channel
// exceeds the alpha, a transparent pixel is 0 throughout.
TEST(ResourceImageTest, PngAlphaIsPremultiplied) {
  ScopedBitmap logo(LoadResourceBitmap(kLogoPictureId, kPngResourceType));
  ASSERT_TRUE(logo);
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels =
      test::ReadBitmapPixels(logo.get(), &width, &height);
  ASSERT_FALSE(pixels.empty());
  int transparent = 0, translucent = 0, opaque = 0;
  for (uint32_t pixel : pixels) {
    const uint32_t alpha = pixel >> 24;
    for (int shift : {0, 8, 16}) ASSERT_LE((pixel >> shift) & 0xFF, alpha);
    if (alpha == 0)
      ++transparent;
    else if (alpha == 255)
      ++opaque;
    else
      ++translucent;
  }
  // The logo is a disc: transparent corners, smooth edges, an opaque body.
  EXPECT_EQ(0u, pixels[0]);
  EXPECT_GT(transparent, 0);
  EXPECT_GT(translucent, 0);
  EXPECT_GT(opaque, width * height / 2);
}

// Drawn for 192 pixels per inch, scaled to the display's: the size follows
// the resolution, the alpha stays premultiplied, the disc keeps transparent
// corners and an opaque centre.
TEST(ResourceImageTest, PicturesScaleToThePixelsPerInch) {
  const struct {
    int id;
    int dpi;
    int size;
  } cases[] = {
      {kLogoPictureId, 96, 96},        {kLogoPictureId, 120, 120},
      {kLogoPictureId, 144, 144},      {kLogoPictureId, 192, 192},
      {kLogoPictureId, 288, 288},      {kErrorBadgePictureId, 96, 32},
      {kErrorBadgePictureId, 144, 48}, {kErrorBadgePictureId, 168, 56},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " at " << c.dpi);
    ScopedBitmap bitmap(
        LoadResourceBitmapForDpi(c.id, kPngResourceType, c.dpi));
    ASSERT_TRUE(bitmap);
    int width = 0, height = 0;
    const std::vector<uint32_t> pixels =
        test::ReadBitmapPixels(bitmap.get(), &width, &height);
    ASSERT_FALSE(pixels.empty());
    EXPECT_EQ(c.size, width);
    EXPECT_EQ(c.size, height);
    for (uint32_t pixel : pixels) {
      for (int shift : {0, 8, 16})
        ASSERT_LE((pixel >> shift) & 0xFF, pixel >> 24);
    }
    EXPECT_EQ(0u, pixels[0]);
    EXPECT_EQ(0xFFu, pixels[(height / 2) * width + width / 2] >> 24);
  }
}

TEST(ResourceImageTest, JpegIsOpaque) {
  ScopedBitmap background(
      LoadResourceBitmap(kBackgroundPictureId, kJpgResourceType));
  ASSERT_TRUE(background);
  int width = 0, height = 0;
  const std::vector<uint32_t> pixels =
      test::ReadBitmapPixels(background.get(), &width, &height);
  ASSERT_FALSE(pixels.empty());
  for (uint32_t pixel : pixels) ASSERT_EQ(0xFFu, pixel >> 24);
}

TEST(ResourceImageTest, MissingOrUndecodableResourcesGiveNull) {
  // No such id; the wrong type for an existing id; text that is no picture.
  EXPECT_EQ(nullptr, LoadResourceBitmap(4242, kPngResourceType));
  EXPECT_EQ(nullptr, LoadResourceBitmap(kLogoPictureId, kJpgResourceType));
  EXPECT_EQ(nullptr, LoadResourceBitmap(kTermsTextId, L"TXT"));
  EXPECT_EQ(nullptr, CreateStreamOnResource(MAKEINTRESOURCEW(4242), L"TXT"));
}

// The stream holds exactly the resource's bytes: the terms file, which the
// resource compiler stores without a terminating zero.
TEST(ResourceImageTest, StreamHoldsTheResourceBytes) {
  Microsoft::WRL::ComPtr<IStream> stream =
      CreateStreamOnResource(MAKEINTRESOURCEW(kTermsTextId), L"TXT");
  ASSERT_TRUE(stream);
  std::string read(4096, '\0');
  ULONG count = 0;
  ASSERT_TRUE(SUCCEEDED(stream->Read(read.data(), 4096, &count)));
  read.resize(count);
  std::string file;
  ASSERT_TRUE(base::FileUtil::ReadFileToString(
      test::FromUnixPath(VELNA_TERMS_FILE), &file));
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file, read);
}

}  // namespace
}  // namespace installer
