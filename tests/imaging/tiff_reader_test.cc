// The TIFF reader on files assembled tag by tag: every refusal and its text,
// damaged headers and strips, the directory chain, orientation, and the
// 24-bit reads of RGB and CMYK files written with libtiff.
#include "imaging/tiff_reader.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include "imaging/bitmap_format.h"
#include "tests/imaging/image_files.h"

namespace imaging {
namespace {

using imaging_test::TiffBuilder;

struct ReadResult {
  int error = 0;
  TiffImage image;
  Palette palette{};
  std::vector<uint8_t> data;
};

// Header, palette and data, as Convert reads them.
ReadResult ReadAll(const std::vector<uint8_t>& file, std::string_view options = "") {
  ReadResult r;
  r.error = TiffReadHeader(file, options, &r.image);
  if (r.error) return r;
  r.error = TiffReadPalette(file, r.image, &r.palette);
  if (r.error) return r;
  r.data.assign(BitmapStride(r.image.info) * size_t(r.image.info.height), 0xee);
  r.error = TiffReadData(file, r.image, r.data);
  return r;
}

constexpr uint32_t kStrip = 0xffffffff;  // stands for the offset of the strip data

struct TagChange {
  uint16_t tag;
  uint16_t type;
  std::vector<uint32_t> values;  // empty: the tag is removed
};

// A 4 x 2 8-bit grey image, uncompressed, with `changes` applied.
std::vector<uint8_t> SmallTiff(const std::vector<TagChange>& changes,
                               const std::vector<uint8_t>& strip = {1, 2, 3, 4, 5, 6, 7, 8},
                               bool big_endian = false) {
  std::vector<TagChange> tags = {
      {256, 3, {4}}, {257, 3, {2}},       {258, 3, {8}}, {259, 3, {1}}, {262, 3, {1}},
      {273, 4, {kStrip}}, {277, 3, {1}}, {278, 3, {2}}, {279, 4, {uint32_t(strip.size())}},
  };
  for (const TagChange& c : changes) {
    auto it = std::find_if(tags.begin(), tags.end(), [&](const TagChange& t) { return t.tag == c.tag; });
    if (it != tags.end()) tags.erase(it);
    if (!c.values.empty()) tags.push_back(c);
  }
  std::sort(tags.begin(), tags.end(), [](const TagChange& a, const TagChange& b) { return a.tag < b.tag; });
  TiffBuilder b(big_endian);
  const uint32_t offset = b.Data(strip);
  for (TagChange t : tags) {
    for (uint32_t& v : t.values) {
      if (v == kStrip) v = offset;
    }
    b.Tag(t.tag, t.type, t.values);
  }
  return b.Build();
}

struct Case {
  const char* name;
  std::vector<TagChange> changes;
  const char* text;
};

TEST(TiffReader, RefusalsGiveTheirTexts) {
  const std::vector<uint32_t> map(3 * 256, 0x1234);
  const Case cases[] = {
      {"no_width", {{256, 3, {}}}, "ImageWidth, ImageLength or StripOffsets tag missing"},
      {"no_length", {{257, 3, {}}}, "ImageWidth, ImageLength or StripOffsets tag missing"},
      {"no_offsets", {{273, 4, {}}}, "ImageWidth, ImageLength or StripOffsets tag missing"},
      {"grey_two_samples", {{277, 3, {2}}}, "SamplesPerPixel tag must be 1 for bitmap or greyscale file"},
      {"grey_two_bits", {{262, 3, {0}}, {258, 3, {2}}},
       "BitsPerSample tag must be 1,4 or 8 for bitmap or greyscale file"},
      {"rgb_one_sample", {{262, 3, {2}}}, "SamplesPerPixel tag must be 3 or more for RGB file"},
      {"rgb_16_bits", {{262, 3, {2}}, {277, 3, {3}}, {258, 3, {8, 8, 16}}},
       "BitsPerSample tag must be 8 for RGB file"},
      {"palette_two_samples", {{262, 3, {3}}, {277, 3, {2}}, {320, 3, map}},
       "SamplesPerPixel tag must be 1 for palettised file"},
      {"palette_two_bits", {{262, 3, {3}}, {258, 3, {2}}, {320, 3, map}},
       "BitsPerSample tag must be 1,4 or 8 for paletteised file"},
      {"palette_without_map", {{262, 3, {3}}}, "ColorMap tag missing"},
      {"mask", {{262, 3, {4}}}, "PhotometricInterpretation tag is transparency mask, not supported"},
      {"cmyk_three_samples", {{262, 3, {5}}, {277, 3, {3}}}, "SamplesPerPixel tag must be 4 for CMYK file"},
      {"cmyk_4_bits", {{262, 3, {5}}, {277, 3, {4}}, {258, 3, {4, 4, 4, 4}}},
       "BitsPerSample tag must be 8 for CMYK file"},
      {"cmyk_inkset", {{262, 3, {5}}, {277, 3, {4}}, {258, 3, {8, 8, 8, 8}}, {332, 3, {2}}},
       "InkSet tag indicates non-CMYK colour seperations"},
      {"ycbcr", {{262, 3, {6}}, {277, 3, {3}}},
       "PhotometricInterpreation tag is Y-Cb-Cr colour space, not supported"},
      {"cielab", {{262, 3, {8}}}, "PhotometricInterpretation tag unsupported/bad"},
      {"huffman", {{259, 3, {2}}}, "Compression tag is CCITT 1D Modified Huffman, not supported"},
      {"g3", {{259, 3, {3}}}, "Compression tag is CCITT T.4 G3 Facsimile, not supported"},
      {"g4", {{259, 3, {4}}}, "Compression tag is CCITT T.6 G4 Facsimile, not supported"},
      {"jpeg", {{259, 3, {7}}}, "Compression tag not uncompressed, PackBits or LZW, not supported"},
      {"orientation", {{274, 3, {3}}}, "Orientation tag must be 1 or 4"},
      {"fill_order", {{266, 3, {2}}}, "FillOrder tag must be 1"},
      {"rgb_planar_3", {{262, 3, {2}}, {277, 3, {3}}, {258, 3, {8, 8, 8}}, {284, 3, {3}}},
       "PlanarConfiguration tag must be 1 or 2 for RGB files"},
      {"grey_planar_2", {{284, 3, {2}}}, "PlanarConfiguration tag must be 1 for non RGB files"},
      {"predictor_uncompressed", {{317, 3, {2}}}, "Predictor tag bad"},
      {"predictor_3", {{259, 3, {5}}, {317, 3, {3}}}, "Predictor tag bad"},
      {"predictor_4_bits", {{259, 3, {5}}, {258, 3, {4}}, {317, 3, {2}}}, "Predictor tag bad"},
      {"width_zero", {{256, 3, {0}}}, "bad bitmap size"},
      {"too_big", {{256, 4, {100000}}, {257, 4, {100000}}}, "bad bitmap size"},
      {"rows_per_strip_zero", {{278, 3, {0}}}, "not supported"},
      {"300_strips", {{257, 3, {300}}, {278, 3, {1}}}, "not supported"},
      {"width_as_text", {{256, 2, {4}}}, "bad tag type"},
      {"undefined_type", {{305, 14, {1}}}, "bad tag type"},
      {"offsets_short", {{278, 3, {1}}}, "corrupt header"},
      {"colour_map_short", {{262, 3, {3}}, {320, 3, {1, 2, 3}}}, "corrupt header"},
      {"colour_map_as_long", {{262, 3, {3}}, {320, 4, std::vector<uint32_t>(768, 1)}}, "bad tag type"},
      {"strip_past_end", {{273, 4, {5000}}}, "can't read file"},
      {"count_past_end", {{279, 4, {5000}}}, "can't read file"},
      {"strip_too_short", {{279, 4, {4}}}, "can't read file"},
      {"lzw_garbage", {{259, 3, {5}}}, "encoded data is corrupt"},
      {"packbits_short", {{259, 3, {32773}}}, "encoded data is corrupt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(ErrorText(ReadAll(SmallTiff(c.changes)).error), c.text);
  }
}

TEST(TiffReader, DamagedHeaders) {
  const std::vector<uint8_t> good = SmallTiff({});
  ASSERT_EQ(ReadAll(good).error, kBitmapOk);
  auto changed = [&](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> f = good;
    std::copy(bytes.begin(), bytes.end(), f.begin() + long(at));
    return f;
  };
  const uint32_t directory = good[4] | good[5] << 8;
  const uint32_t entries = good[directory] | good[directory + 1] << 8;
  const size_t next_at = directory + 2 + 12 * entries;
  struct {
    const char* name;
    std::vector<uint8_t> file;
    const char* options;
    const char* text;
  } cases[] = {
      {"empty", {}, "", "bad magic number / signiture block"},
      {"one_byte", {'I'}, "", "bad magic number / signiture block"},
      {"mixed_order", changed(0, {'I', 'M'}), "", "bad magic number / signiture block"},
      {"no_version", {'M', 'M', 0}, "", "corrupt header"},
      {"version_43", changed(2, {43, 0}), "", "version number not 42"},
      {"no_directory_offset", {'I', 'I', 42, 0, 8}, "", "corrupt header"},
      {"directory_past_end", changed(4, {0xf0, 0xff, 0, 0}), "", "corrupt header"},
      {"directory_at_zero", changed(4, {0, 0, 0, 0}), "", "corrupt header"},
      {"no_entries", changed(directory, {0, 0}), "", "corrupt header"},
      {"2000_entries", changed(directory, {0xd0, 0x07}), "", "too many tags in file"},
      {"entries_past_end", changed(directory, {0x00, 0x02}), "", "corrupt header"},
      {"second_image_missing", good, "index=1", "less bitmaps in file than index requested"},
      {"chain_loops", changed(next_at, {uint8_t(directory), uint8_t(directory >> 8), 0, 0}),
       "index=3", "corrupt header"},
      {"index_not_a_number", good, "index=one", "bad option(s)"},
      {"index_negative", good, "index=-1", "bad option(s)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_STREQ(ErrorText(ReadAll(c.file, c.options).error), c.text);
  }
}

TEST(TiffReader, LongLoopingChainEnds) {
  // 3000 one-entry directories, the last pointing back to the first.
  constexpr uint32_t kCount = 3000;
  std::vector<uint8_t> file = {'I', 'I', 42, 0, 8, 0, 0, 0};
  for (uint32_t i = 0; i < kCount; ++i) {
    const uint32_t next = i + 1 < kCount ? 8 + (i + 1) * 18 : 8;
    const uint8_t directory[18] = {1, 0, 0, 1, 3, 0, 1, 0, 0, 0, 4, 0, 0, 0,
                                   uint8_t(next), uint8_t(next >> 8), 0, 0};
    file.insert(file.end(), directory, directory + 18);
  }
  EXPECT_STREQ(ErrorText(ReadAll(file, "index=2999").error),
               "ImageWidth, ImageLength or StripOffsets tag missing");
  EXPECT_STREQ(ErrorText(ReadAll(file, "index=100000").error), "corrupt header");
}

TEST(TiffReader, DirectoryChainAndIndexOption) {
  for (bool big : {false, true}) {
    TiffBuilder b(big);
    const uint32_t first = b.Data({10, 20, 30, 40});
    const uint32_t second = b.Data({0x12, 0x34});
    // First image: 2 x 2 grey; second: 3 x 1 4-bit palette.
    b.Tag(256, 3, {2}), b.Tag(257, 3, {2}), b.Tag(258, 3, {8}), b.Tag(273, 4, {first});
    b.NextDirectory();
    std::vector<uint32_t> map(48);
    for (uint32_t i = 0; i < 16; ++i) map[i] = i << 8, map[16 + i] = 0x8000, map[32 + i] = 0xff00;
    b.Tag(256, 4, {3}), b.Tag(257, 4, {1}), b.Tag(258, 3, {4}), b.Tag(262, 3, {3});
    b.Tag(273, 4, {second}), b.Tag(320, 3, map);
    const std::vector<uint8_t> file = b.Build();

    ReadResult r = ReadAll(file, "Index=1");
    ASSERT_EQ(r.error, kBitmapOk) << ErrorText(r.error);
    EXPECT_EQ(r.image.info.width, 3);
    EXPECT_EQ(r.image.info.bits_per_pixel, 4);
    EXPECT_EQ(r.data, (std::vector<uint8_t>{0x12, 0x34, 0, 0}));
    EXPECT_EQ(r.palette[3].red, 3);
    EXPECT_EQ(r.palette[3].green, 0x80);
    EXPECT_EQ(r.palette[3].blue, 0xff);

    r = ReadAll(file);
    ASSERT_EQ(r.error, kBitmapOk);
    EXPECT_EQ(r.image.info.bits_per_pixel, 8);
    // Bottom row first, padded to 4 bytes; BitsPerSample 8 without
    // PhotometricInterpretation is a grey ramp with zero black.
    EXPECT_EQ(r.data, (std::vector<uint8_t>{30, 40, 0, 0, 10, 20, 0, 0}));
    EXPECT_EQ(r.palette[255].red, 255);
    EXPECT_STREQ(ErrorText(ReadAll(file, "index=2").error),
                 "less bitmaps in file than index requested");
  }
}

TEST(TiffReader, OrientationFourStoresTheBottomRowFirst) {
  ReadResult top_first = ReadAll(SmallTiff({}));
  ReadResult bottom_first = ReadAll(SmallTiff({{274, 3, {4}}}));
  ASSERT_EQ(top_first.error, kBitmapOk);
  ASSERT_EQ(bottom_first.error, kBitmapOk);
  EXPECT_EQ(top_first.data, (std::vector<uint8_t>{5, 6, 7, 8, 1, 2, 3, 4}));
  EXPECT_EQ(bottom_first.data, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(TiffReader, StripsWithoutByteCounts) {
  // Uncompressed strips are then exactly their rows; compressed ones run to
  // the end of the file.
  ReadResult plain = ReadAll(SmallTiff({{279, 4, {}}}));
  ASSERT_EQ(plain.error, kBitmapOk);
  EXPECT_EQ(plain.data, (std::vector<uint8_t>{5, 6, 7, 8, 1, 2, 3, 4}));
  // PackBits: a literal of 4, then 9 repeated 4 times.
  ReadResult packed = ReadAll(SmallTiff({{259, 3, {32773}}, {279, 4, {}}}, {3, 1, 2, 3, 4, 0xfd, 9}));
  ASSERT_EQ(packed.error, kBitmapOk) << ErrorText(packed.error);
  EXPECT_EQ(packed.data, (std::vector<uint8_t>{9, 9, 9, 9, 1, 2, 3, 4}));
}

// RGB and CMYK files are read to 24 bits (blue, green, red), though GIF
// cannot take them.
TEST(TiffReader, RgbAndCmykReadTo24Bits) {
  struct Variant {
    const char* name;
    int photometric, samples, planar, compression, predictor, rows_per_strip;
    bool big_endian;
  };
  const Variant variants[] = {
      {"rgb", 2, 3, 1, COMPRESSION_NONE, 1, 0, false},
      {"rgb_alpha_lzw_predictor", 2, 4, 1, COMPRESSION_LZW, 2, 5, true},
      {"rgb_planar_strips", 2, 3, 2, COMPRESSION_PACKBITS, 1, 6, false},
      {"rgb_planar_lzw_predictor", 2, 3, 2, COMPRESSION_LZW, 2, 0, true},
      {"cmyk", 5, 4, 1, COMPRESSION_LZW, 1, 7, false},
  };
  imaging_test::TempDir dir;
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    imaging_test::TiffPicture p = imaging_test::MakePicture(23, 17, 8, v.photometric, 5);
    p.samples_per_pixel = v.samples;
    p.pixels = imaging_test::MakePicture(23 * v.samples, 17, 8, 1, 6).pixels;
    p.planar = v.planar;
    p.compression = v.compression;
    p.predictor = v.predictor;
    p.rows_per_strip = v.rows_per_strip;
    p.big_endian = v.big_endian;
    ASSERT_TRUE(imaging_test::WriteTiff(dir.Path("c.tif"), {p}));
    ReadResult r = ReadAll(imaging_test::ReadFile(dir.Path("c.tif")));
    ASSERT_EQ(r.error, kBitmapOk) << ErrorText(r.error);
    ASSERT_EQ(r.image.info.bits_per_pixel, 24);
    const size_t stride = BitmapStride(r.image.info);
    ASSERT_EQ(stride, 72u);
    for (size_t y = 0; y < 17; ++y) {
      for (size_t x = 0; x < 23; ++x) {
        const uint8_t* s = &p.pixels[(y * 23 + x) * size_t(v.samples)];
        uint8_t red = s[0], green = s[1], blue = s[2];
        if (v.photometric == 5) {
          red = uint8_t(255 - std::min(255, s[0] + s[3]));
          green = uint8_t(255 - std::min(255, s[1] + s[3]));
          blue = uint8_t(255 - std::min(255, s[2] + s[3]));
        }
        const uint8_t* d = &r.data[(16 - y) * stride + x * 3];
        ASSERT_EQ((std::vector<int>{d[0], d[1], d[2]}), (std::vector<int>{blue, green, red}))
            << x << "," << y;
      }
    }
  }
}

}  // namespace
}  // namespace imaging
