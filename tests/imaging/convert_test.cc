// TIFF files written with libtiff in every supported variant are converted
// and the GIF, decoded with giflib, must show every source pixel's colour;
// refused files leave no GIF behind and say why.
#include "imaging/convert.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <tiffio.h>

#include <cstdio>
#include <filesystem>

#include "imaging/bitmap_format.h"
#include "tests/imaging/image_files.h"

namespace imaging {
namespace {

using imaging_test::Colour;
using imaging_test::GifPicture;
using imaging_test::MakePicture;
using imaging_test::ReadGif;
using imaging_test::TempDir;
using imaging_test::TiffPicture;

void ExpectSameColours(const TiffPicture& source, const GifPicture& gif) {
  ASSERT_TRUE(gif.ok) << gif.error;
  ASSERT_EQ(gif.width, source.width);
  ASSERT_EQ(gif.height, source.height);
  ASSERT_EQ(gif.global_colours, 1 << source.bits);
  for (size_t i = 0; i < gif.pixels.size(); ++i) {
    const Colour expected = imaging_test::ExpectedColour(source, source.pixels[i]);
    ASSERT_EQ(gif.pixels[i], expected) << "pixel " << i % size_t(source.width) << ","
                                       << i / size_t(source.width);
  }
}

struct Variant {
  const char* name;
  int width, height, bits, photometric, compression, predictor, rows_per_strip;
  bool big_endian;
  bool eight_bit_map;
};

constexpr Variant kVariants[] = {
    {"bilevel_min_is_black", 37, 23, 1, 1, COMPRESSION_NONE, 1, 0, false, false},
    {"bilevel_min_is_white", 37, 23, 1, 0, COMPRESSION_NONE, 1, 0, false, false},
    {"bilevel_lzw_strips_mm", 131, 40, 1, 1, COMPRESSION_LZW, 1, 7, true, false},
    {"bilevel_packbits_white", 64, 33, 1, 0, COMPRESSION_PACKBITS, 1, 10, false, false},
    {"grey4_lzw", 45, 31, 4, 1, COMPRESSION_LZW, 1, 0, false, false},
    {"grey4_white_packbits_mm", 45, 31, 4, 0, COMPRESSION_PACKBITS, 1, 0, true, false},
    {"grey4_strips", 51, 60, 4, 1, COMPRESSION_NONE, 1, 8, false, false},
    {"grey8_lzw_predictor_strips", 77, 50, 8, 1, COMPRESSION_LZW, 2, 16, false, false},
    {"grey8_white_mm_strips", 77, 50, 8, 0, COMPRESSION_NONE, 1, 9, true, false},
    {"grey8_lzw", 300, 200, 8, 1, COMPRESSION_LZW, 1, 0, false, false},
    {"grey8_packbits", 99, 41, 8, 0, COMPRESSION_PACKBITS, 1, 5, false, false},
    {"palette8_map16_lzw_strips", 83, 70, 8, 3, COMPRESSION_LZW, 1, 12, false, false},
    {"palette8_map8_packbits", 83, 70, 8, 3, COMPRESSION_PACKBITS, 1, 0, false, true},
    {"palette8_map8_none_mm", 40, 30, 8, 3, COMPRESSION_NONE, 1, 0, true, true},
    {"palette8_lzw_predictor_mm", 83, 70, 8, 3, COMPRESSION_LZW, 2, 20, true, false},
    {"palette4_lzw_mm", 33, 29, 4, 3, COMPRESSION_LZW, 1, 4, true, false},
    {"palette4_map8_none", 33, 29, 4, 3, COMPRESSION_NONE, 1, 0, false, true},
    {"palette1_none", 19, 17, 1, 3, COMPRESSION_NONE, 1, 0, false, false},
    {"palette8_large_lzw", 640, 480, 8, 3, COMPRESSION_LZW, 1, 32, false, false},
};

TEST(Convert, EverySupportedVariantKeepsEveryPixelColour) {
  TempDir dir;
  uint32_t seed = 1;
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.name);
    TiffPicture p = MakePicture(v.width, v.height, v.bits, v.photometric, seed++);
    p.compression = v.compression;
    p.predictor = v.predictor;
    p.rows_per_strip = v.rows_per_strip;
    p.big_endian = v.big_endian;
    p.eight_bit_colour_map = v.eight_bit_map;
    if (v.eight_bit_map) {
      for (uint16_t& c : p.colour_map) c &= 0xff;
    }
    const std::string tif = dir.Path(std::string(v.name) + ".tif");
    const std::string gif = dir.Path(std::string(v.name) + ".gif");
    ASSERT_TRUE(imaging_test::WriteTiff(tif, {p}));
    int error = -1;
    ASSERT_EQ(Convert(tif, gif, &error), 0) << ErrorText(error);
    ExpectSameColours(p, ReadGif(gif));
  }
}

TEST(Convert, FirstImageOfAFileWithTwo) {
  TempDir dir;
  TiffPicture first = MakePicture(50, 20, 8, 3, 7);
  first.compression = COMPRESSION_LZW;
  TiffPicture second = MakePicture(13, 9, 4, 1, 8);
  const std::string tif = dir.Path("two.tif");
  ASSERT_TRUE(imaging_test::WriteTiff(tif, {first, second}));
  ASSERT_EQ(Convert(tif, dir.Path("two.gif")), 0);
  ExpectSameColours(first, ReadGif(dir.Path("two.gif")));
}

TEST(Convert, BilevelGifHasTwoColoursAndCodeSizeTwo) {
  TempDir dir;
  TiffPicture p = MakePicture(21, 5, 1, 0, 3);
  ASSERT_TRUE(imaging_test::WriteTiff(dir.Path("b.tif"), {p}));
  ASSERT_EQ(Convert(dir.Path("b.tif"), dir.Path("b.gif")), 0);
  const std::vector<uint8_t> gif = imaging_test::ReadFile(dir.Path("b.gif"));
  ASSERT_GT(gif.size(), 31u);
  EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF87a");
  EXPECT_EQ(gif[6] | gif[7] << 8, 21);
  EXPECT_EQ(gif[8] | gif[9] << 8, 5);
  EXPECT_EQ(gif[10], 0x80);  // global table of 2 entries
  EXPECT_EQ(gif[11], 0);
  // Photometric 0: white first, then black.
  EXPECT_EQ(std::vector<uint8_t>(gif.begin() + 13, gif.begin() + 19),
            (std::vector<uint8_t>{255, 255, 255, 0, 0, 0}));
  EXPECT_EQ(gif[19], ',');
  EXPECT_EQ(gif[28], 0);  // bits - 1
  EXPECT_EQ(gif[29], 2);  // LZW minimum code size
  EXPECT_EQ(gif.back(), ';');
  EXPECT_EQ(ReadGif(dir.Path("b.gif")).global_colours, 2);
}

struct Refusal {
  const char* name;
  TiffPicture picture;
  const char* text;
};

TiffPicture WithCompression(TiffPicture p, int compression) {
  p.compression = compression;
  return p;
}

TEST(Convert, RefusedImagesGiveTheirTextAndNoGif) {
  TiffPicture mask = MakePicture(16, 8, 1, 1, 5);
  mask.photometric = PHOTOMETRIC_MASK;
  const Refusal refusals[] = {
      {"rgb", MakePicture(16, 8, 8, 2, 1), "not supported"},
      {"cmyk", MakePicture(16, 8, 8, 5, 2), "not supported"},
      {"ccitt_g3", WithCompression(MakePicture(64, 8, 1, 0, 3), COMPRESSION_CCITTFAX3),
       "Compression tag is CCITT T.4 G3 Facsimile, not supported"},
      {"ccitt_g4", WithCompression(MakePicture(64, 8, 1, 0, 4), COMPRESSION_CCITTFAX4),
       "Compression tag is CCITT T.6 G4 Facsimile, not supported"},
      {"mask", mask, "PhotometricInterpretation tag is transparency mask, not supported"},
  };
  TempDir dir;
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    const std::string tif = dir.Path(std::string(r.name) + ".tif");
    const std::string gif = dir.Path(std::string(r.name) + ".gif");
    ASSERT_TRUE(imaging_test::WriteTiff(tif, {r.picture}));
    int error = 0;
    EXPECT_EQ(Convert(tif, gif, &error), 1);
    EXPECT_STREQ(ErrorText(error), r.text);
    EXPECT_FALSE(std::filesystem::exists(gif));
  }
}

TEST(Convert, BadMagicAndTruncatedFilesFail) {
  TempDir dir;
  TiffPicture p = MakePicture(60, 40, 8, 3, 9);
  p.compression = COMPRESSION_LZW;
  ASSERT_TRUE(imaging_test::WriteTiff(dir.Path("whole.tif"), {p}));
  const std::vector<uint8_t> whole = imaging_test::ReadFile(dir.Path("whole.tif"));

  std::vector<uint8_t> bad = whole;
  bad[0] = 'B';
  bad[1] = 'M';
  imaging_test::WriteFile(dir.Path("bad.tif"), bad);
  int error = 0;
  EXPECT_EQ(Convert(dir.Path("bad.tif"), dir.Path("bad.gif"), &error), 1);
  EXPECT_STREQ(ErrorText(error), "bad magic number / signiture block");
  EXPECT_FALSE(std::filesystem::exists(dir.Path("bad.gif")));

  // libtiff puts the directory last, so every cut loses part of it (or of
  // the header) and the file must be refused without a crash.
  for (size_t cut : {size_t(0), size_t(1), size_t(3), size_t(7), size_t(8), whole.size() / 2,
                     whole.size() - 20, whole.size() - 1}) {
    SCOPED_TRACE(cut);
    imaging_test::WriteFile(dir.Path("cut.tif"), {whole.begin(), whole.begin() + long(cut)});
    EXPECT_EQ(Convert(dir.Path("cut.tif"), dir.Path("cut.gif"), &error), 1);
    EXPECT_STRNE(ErrorText(error), "unknown error");
    EXPECT_FALSE(std::filesystem::exists(dir.Path("cut.gif")));
  }
}

TEST(Convert, FileFailures) {
  TempDir dir;
  ASSERT_TRUE(imaging_test::WriteTiff(dir.Path("ok.tif"), {MakePicture(8, 8, 8, 1, 1)}));
  std::filesystem::create_directory(dir.Path("folder.tif"));
  std::filesystem::create_symlink("/dev/full", dir.Path("full.gif"));
  struct Case {
    std::string from, to, text;
  };
  const Case cases[] = {
      {dir.Path("ok.tif"), dir.Path("ok.bmp"), "not found"},
      {dir.Path("ok"), dir.Path("ok.gif"), "not found"},
      {dir.Path("missing.tif"), dir.Path("m.gif"), "can't read file"},
      {dir.Path("folder.tif"), dir.Path("f.gif"), "can't read file"},
      {dir.Path("ok.tif"), dir.Path("no/such/folder.gif"), "can't write file"},
      {dir.Path("ok.tif"), dir.Path("full.gif"), "can't write file"},
      {dir.Path("ok.tif"), dir.Path("ok.tiff"), "not supported"},  // no TIFF writer
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.to);
    int error = 0;
    EXPECT_EQ(Convert(c.from, c.to, &error), 1);
    EXPECT_EQ(ErrorText(error), c.text);
  }
  // The destination whose writing failed is gone.
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir.Path("full.gif"))));
  // Upper-case extensions are found too.
  EXPECT_EQ(Convert(dir.Path("ok.tif"), dir.Path("OK.GIF")), 0);
}

// Runs tiff2gif and returns its exit status; its standard error goes to
// *stderr_text.
int RunTiff2Gif(const std::string& args, std::string* stderr_text) {
  const std::string command = std::string(CORVANE_BIN_DIR) + "/tiff2gif " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  char buffer[256];
  stderr_text->clear();
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) stderr_text->append(buffer, n);
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Tiff2Gif, ExitsWithTheResultAndPrintsTheText) {
  TempDir dir;
  TiffPicture p = MakePicture(30, 10, 4, 3, 11);
  ASSERT_TRUE(imaging_test::WriteTiff(dir.Path("in.tif"), {p}));
  std::string output;
  EXPECT_EQ(RunTiff2Gif(dir.Path("in.tif") + " " + dir.Path("out.gif"), &output), 0);
  EXPECT_EQ(output, "");
  ExpectSameColours(p, ReadGif(dir.Path("out.gif")));

  EXPECT_EQ(RunTiff2Gif(dir.Path("none.tif") + " " + dir.Path("x.gif"), &output), 1);
  EXPECT_EQ(output, "tiff2gif: can't read file\n");
  EXPECT_EQ(RunTiff2Gif("only-one.tif", &output), 1);
  EXPECT_EQ(output, "usage: tiff2gif IN OUT\n");
}

}  // namespace
}  // namespace imaging
