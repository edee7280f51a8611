// The GIF writer's bytes and options, its LZW stream checked by giflib on
// images that fill the string table many times, and the format table.
#include "imaging/gif_writer.h"

#include <gtest/gtest.h>

#include <random>

#include "imaging/bitmap_format.h"
#include "tests/imaging/image_files.h"

namespace imaging {
namespace {

// A bitmap in the module's layout with pixel values from `value(x, y)`,
// y counted from the top.
template <typename F>
std::vector<uint8_t> MakeBitmap(const BitmapInfo& info, F value) {
  const size_t stride = BitmapStride(info);
  std::vector<uint8_t> data(stride * size_t(info.height), 0);
  for (int y = 0; y < info.height; ++y) {
    uint8_t* row = &data[size_t(info.height - 1 - y) * stride];
    for (int x = 0; x < info.width; ++x) {
      const uint8_t v = uint8_t(value(x, y));
      if (info.bits_per_pixel == 8) row[x] = v;
      if (info.bits_per_pixel == 4) row[x / 2] |= uint8_t(v << ((x & 1) ? 0 : 4));
      if (info.bits_per_pixel == 1) row[x / 8] |= uint8_t(v << (7 - x % 8));
    }
  }
  return data;
}

Palette DistinctPalette() {
  Palette p{};
  for (int i = 0; i < 256; ++i) p[size_t(i)] = Rgb{uint8_t(i), uint8_t(255 - i), uint8_t(i * 7)};
  return p;
}

// Pixel patterns that exercise the string table differently: noise fills it
// quickly (clear codes every few thousand pixels), flat areas make long
// strings, gradients sit between.
TEST(GifWriter, GiflibDecodesEveryPattern) {
  struct Pattern {
    const char* name;
    int width, height, bits;
    int (*value)(int x, int y);
  };
  static std::mt19937 random(42);
  const Pattern patterns[] = {
      {"noise8", 700, 500, 8, [](int, int) { return int(random() % 256); }},
      {"noise4", 333, 211, 4, [](int, int) { return int(random() % 16); }},
      {"noise1", 1001, 97, 1, [](int, int) { return int(random() % 2); }},
      {"flat8", 1000, 1000, 8, [](int, int) { return 7; }},
      {"gradient8", 640, 480, 8, [](int x, int y) { return (x + y) % 256; }},
      {"stripes1", 9, 300, 1, [](int x, int) { return x % 2; }},
      {"one_pixel", 1, 1, 4, [](int, int) { return 15; }},
  };
  imaging_test::TempDir dir;
  const Palette palette = DistinctPalette();
  for (const Pattern& p : patterns) {
    SCOPED_TRACE(p.name);
    const BitmapInfo info{p.width, p.height, p.bits};
    std::vector<std::vector<int>> values(size_t(p.height), std::vector<int>(size_t(p.width)));
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) values[size_t(y)][size_t(x)] = p.value(x, y);
    }
    const std::vector<uint8_t> data =
        MakeBitmap(info, [&](int x, int y) { return values[size_t(y)][size_t(x)]; });
    std::vector<uint8_t> gif;
    ByteSink sink(&gif);
    ASSERT_EQ(GifWrite(sink, info, palette, data, ""), kBitmapOk);
    imaging_test::WriteFile(dir.Path("p.gif"), gif);
    const imaging_test::GifPicture decoded = imaging_test::ReadGif(dir.Path("p.gif"));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.width, p.width);
    ASSERT_EQ(decoded.height, p.height);
    EXPECT_EQ(decoded.global_colours, 1 << p.bits);
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const Rgb& c = palette[size_t(values[size_t(y)][size_t(x)])];
        ASSERT_EQ(decoded.pixels[size_t(y) * size_t(p.width) + size_t(x)],
                  (imaging_test::Colour{c.red, c.green, c.blue}))
            << x << "," << y;
      }
    }
    // Sub-blocks: 255 bytes each but the last, then a zero block and ";".
    const size_t header = 13 + 3 * (size_t(1) << p.bits) + 10 + 1;
    size_t at = header;
    while (gif[at] != 0) {
      const size_t length = gif[at];
      at += 1 + length;
      if (gif[at] != 0) {
        ASSERT_EQ(length, 255u);
      }
    }
    EXPECT_EQ(at + 2, gif.size());
    EXPECT_EQ(gif.back(), ';');
  }
}

TEST(GifWriter, ScreenAndDescriptorBytesAndOptions) {
  const BitmapInfo info{300, 2, 4};
  const std::vector<uint8_t> data = MakeBitmap(info, [](int x, int) { return x % 16; });
  struct Case {
    const char* options;
    std::vector<uint8_t> screen;      // bytes 6 to 12
    std::vector<uint8_t> descriptor;  // the 10 bytes after the colour table
  };
  const Case cases[] = {
      {"", {44, 1, 2, 0, 0xb3, 0, 0}, {',', 0, 0, 0, 0, 44, 1, 2, 0, 3}},
      {"xscreen=640,YSCREEN=480\tbackground=5 xpos=7, ypos=258",
       {128, 2, 224, 1, 0xb3, 5, 0},
       {',', 7, 0, 2, 1, 44, 1, 2, 0, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    std::vector<uint8_t> gif;
    ByteSink sink(&gif);
    ASSERT_EQ(GifWrite(sink, info, DistinctPalette(), data, c.options), kBitmapOk);
    EXPECT_EQ(std::vector<uint8_t>(gif.begin() + 6, gif.begin() + 13), c.screen);
    EXPECT_EQ(std::vector<uint8_t>(gif.begin() + 13 + 48, gif.begin() + 13 + 48 + 10), c.descriptor);
    EXPECT_EQ(gif[13 + 48 + 10], 4);  // minimum code size
  }
}

TEST(GifWriter, Refusals) {
  const std::vector<uint8_t> data(4 * 70000 * 3, 0);
  struct Case {
    BitmapInfo info;
    const char* options;
    int error;
  };
  const Case cases[] = {
      {{4, 4, 24}, "", kErrNotSupported},
      {{4, 4, 2}, "", kErrNotSupported},
      {{70000, 1, 8}, "", kErrBadSize},
      {{4, 4, 8}, "xscreen=big", kErrBadOption},
      {{4, 4, 8}, "background=256", kErrBadOption},
      {{4, 4, 8}, "xpos=65536", kErrBadOption},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> gif;
    ByteSink sink(&gif);
    EXPECT_EQ(GifWrite(sink, c.info, Palette{}, data, c.options), c.error) << c.options;
  }
}

TEST(BitmapFormats, TableAndExtensionLookup) {
  const std::span<const BitmapFormat> formats = BitmapFormats();
  ASSERT_EQ(formats.size(), 2u);
  EXPECT_STREQ(formats[0].extensions, "TIF TIFF");
  EXPECT_STREQ(formats[0].description, "Tagged Image File Format support (almost TIFF 6.0 Baseline)");
  EXPECT_STREQ(formats[1].extensions, "GIF");
  EXPECT_STREQ(formats[1].description, "CompuServe Graphics Interchange Format");
  EXPECT_FALSE(FormatWrites(formats[1], 24));
  EXPECT_TRUE(FormatWrites(formats[1], 1));

  const struct {
    const char* name;
    int format;  // -1: not found
  } cases[] = {
      {"a.tif", 0}, {"b.TIFF", 0}, {"/x.y/c.TiF", 0}, {"d.gif", 1}, {"e.GIF", 1},
      {"f.bmp", -1}, {"noext", -1}, {"dir.tif/file", -1}, {"g.", -1}, {"h.ti", -1},
  };
  for (const auto& c : cases) {
    int format = -1;
    const int rc = FormatForFile(c.name, &format);
    EXPECT_EQ(rc, c.format < 0 ? kErrNotFound : kBitmapOk) << c.name;
    EXPECT_EQ(format, c.format) << c.name;
  }
}

}  // namespace
}  // namespace imaging
