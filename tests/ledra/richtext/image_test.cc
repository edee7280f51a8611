// Images: a TIFF file stored through the markup comes back byte for byte
// through the image stream and the image add-in.
#include "ledra/richtext/image.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ledra/richtext/item.h"
#include "ledra/richtext/markup.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

namespace fs = std::filesystem;

// An uncompressed 8-bit grey TIFF, little- or big-endian.
Bytes MakeTiff(uint32_t width, uint32_t height, bool big_endian) {
  Bytes t;
  auto put = [&](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) {
      int shift = big_endian ? 8 * (n - 1 - i) : 8 * i;
      t.push_back(static_cast<uint8_t>(v >> shift));
    }
  };
  const uint32_t pixels = width * height;
  const uint16_t kEntries = 8;
  const uint32_t data_at = 8 + 2 + kEntries * 12 + 4;
  t.push_back(big_endian ? 'M' : 'I');
  t.push_back(big_endian ? 'M' : 'I');
  put(42, 2);
  put(8, 4);
  put(kEntries, 2);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t value) {
    put(tag, 2);
    put(type, 2);
    put(1, 4);
    if (type == 3) {
      put(value, 2);
      put(0, 2);
    } else {
      put(value, 4);
    }
  };
  entry(256, 4, width);
  entry(257, 3, height);
  entry(258, 3, 8);        // bits per sample
  entry(259, 3, 1);        // no compression
  entry(262, 3, 1);        // black is zero
  entry(273, 4, data_at);  // strip offset
  entry(278, 4, height);   // rows per strip
  entry(279, 4, pixels);   // strip byte count
  put(0, 4);
  for (uint32_t i = 0; i < pixels; ++i) t.push_back(static_cast<uint8_t>(i * 7 + i / width));
  return t;
}

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/richtext_image_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // What the renderer writes for the image whose header is record first.
  Bytes StreamOf(const std::vector<RecordView>& records, size_t first) {
    Bytes stream(std::begin(kImageStreamStart), std::end(kImageStreamStart));
    AppendImageStreamRecord(records[first].content, &stream);
    for (size_t i = first + 1; i < records.size(); ++i) {
      NativeRecord n;
      if (records[i].kind != kKindRaw || SplitNativeRecord(records[i].content, &n) != kRtOk ||
          !IsImageDataSignature(n.signature)) {
        break;
      }
      AppendImageStreamRecord(records[i].content, &stream);
    }
    return stream;
  }

  int Convert(const Bytes& stream, const fs::path& tiff_out) {
    fs::path stream_path = dir_ / "CD0001";
    WriteFile(stream_path, stream);
    const ImageAddin* addin = LoadImageAddin();
    EXPECT_NE(addin, nullptr);
    return addin->convert(stream_path.c_str(), kImageFormatTiff, 0, "", tiff_out.c_str());
  }

  fs::path dir_;
};

TEST_F(ImageTest, TiffFileComesBackByteExactThroughTheAddin) {
  // 151 x 101 pixels: three segments, the last of odd length.
  static const struct {
    uint32_t width, height;
    bool big_endian;
  } kCases[] = {{151, 101, false}, {3, 3, true}, {100, 102, false}};
  for (const auto& c : kCases) {
    Bytes tiff = MakeTiff(c.width, c.height, c.big_endian);
    WriteFile(dir_ / "picture.tif", tiff);
    Bytes item;
    MarkupError error;
    MarkupParseOptions options;
    options.base_dir = dir_.string();
    ASSERT_EQ(ParseMarkup("before{image src=\"picture.tif\"}after", options, &item, &error), kRtOk)
        << error.message;
    std::vector<RecordView> records;
    ASSERT_EQ(ParseItem(item, &records), kRtOk);
    ImageHeader header;
    ASSERT_EQ(ReadImageHeader(records[1].content, &header), kRtOk);
    EXPECT_EQ(header.width_twips, c.width * 15);
    EXPECT_EQ(header.height_twips, c.height * 15);
    EXPECT_EQ(header.data_length, tiff.size());
    EXPECT_EQ(header.segment_count, (tiff.size() + kImageSegmentSize - 1) / kImageSegmentSize);

    fs::path out = dir_ / "CD0001.TIF";
    ASSERT_EQ(Convert(StreamOf(records, 1), out), kRtOk);
    EXPECT_EQ(ReadFile(out), tiff);
  }
}

TEST_F(ImageTest, WriterStoresImagesThroughTheSinkOrInline) {
  Bytes tiff = MakeTiff(20, 10, false);
  Bytes item;
  ASSERT_EQ(AppendImage(tiff, 600, 0, &item), kRtOk);
  std::string inline_markup;
  ASSERT_EQ(WriteMarkup(item, {}, &inline_markup), kRtOk);
  EXPECT_EQ(inline_markup, "{image data=" + Base64Encode(tiff) + " width=600 height=150}\n");

  MarkupWriteOptions write;
  write.image_sink = [&](ByteSpan data, std::string* src) {
    WriteFile(dir_ / "image1.tif", Bytes(data.begin(), data.end()));
    *src = "image1.tif";
    return 0;
  };
  std::string markup;
  ASSERT_EQ(WriteMarkup(item, write, &markup), kRtOk);
  EXPECT_EQ(markup, "{image src=\"image1.tif\" width=600 height=150}\n");
  MarkupParseOptions parse;
  parse.base_dir = dir_.string();
  Bytes again;
  MarkupError error;
  ASSERT_EQ(ParseMarkup(markup, parse, &again, &error), kRtOk) << error.message;
  EXPECT_EQ(again, item);
  ASSERT_EQ(ParseMarkup(inline_markup, parse, &again, &error), kRtOk) << error.message;
  EXPECT_EQ(again, item);
  // Pixels are a convenience for authors: 40px is 600 twips.
  ASSERT_EQ(ParseMarkup("{image src=\"image1.tif\" width=40px}", parse, &again, &error), kRtOk);
  EXPECT_EQ(again, item);
  EXPECT_EQ(ParseMarkup("{image src=\"image1.tif\" width=px}", parse, &again, &error),
            kRtBadMarkup);
}

TEST_F(ImageTest, DamagedStreamsWriteNoTiff) {
  Bytes tiff = MakeTiff(151, 101, false);
  Bytes item;
  ASSERT_EQ(AppendImage(tiff, 0, 0, &item), kRtOk);
  std::vector<RecordView> records;
  ASSERT_EQ(ParseItem(item, &records), kRtOk);
  Bytes good = StreamOf(records, 0);

  Bytes bad_start = good;
  bad_start[0] = 0x02;
  ASSERT_GT(good.size(), 200u);
  Bytes no_pad(good.begin(), good.end() - 1);
  Bytes cut(good.begin(), good.end() - 100);
  Bytes extra = good;
  AppendImageStreamRecord(records[1].content, &extra);
  Bytes no_header(std::begin(kImageStreamStart), std::end(kImageStreamStart));
  AppendImageStreamRecord(records[1].content, &no_header);
  Bytes short_segment = good;
  short_segment[2 + 24 + 2] ^= 0x01;  // first segment's length, one byte less
  Bytes foreign = good;
  foreign[2 + 24] = 0xa4;  // a table cell where a segment belongs
  const struct {
    const char* what;
    Bytes stream;
  } kCases[] = {
      {"wrong start bytes", bad_start},
      {"final pad missing", no_pad},
      {"cut short", cut},
      {"one segment too many", extra},
      {"no header", no_header},
      {"segment length off by one", short_segment},
      {"foreign record", foreign},
      {"empty", Bytes{}},
  };
  for (const auto& c : kCases) {
    fs::path out = dir_ / "out.TIF";
    EXPECT_NE(Convert(c.stream, out), kRtOk) << c.what;
    EXPECT_FALSE(fs::exists(out)) << c.what;
  }
  const ImageAddin* addin = LoadImageAddin();
  EXPECT_EQ(addin, LoadImageAddin());
  EXPECT_NE(addin->convert((dir_ / "missing").c_str(), 3, 0, "", (dir_ / "x.TIF").c_str()), 0);
  WriteFile(dir_ / "CD0002", good);
  EXPECT_NE(addin->convert((dir_ / "CD0002").c_str(), 2, 0, "", (dir_ / "x.TIF").c_str()), 0);
  EXPECT_EQ(addin->convert((dir_ / "CD0002").c_str(), 3, 0, "", (dir_ / "no/dir/x.TIF").c_str()),
            kRtFileError);
}

TEST_F(ImageTest, OnlyTiffDataIsStored) {
  static const struct {
    const char* what;
    Bytes data;
  } kCases[] = {
      {"GIF", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}},
      {"short", Bytes{'I', 'I', 42}},
      {"directory past the end", Bytes{'I', 'I', 42, 0, 0xff, 0, 0, 0}},
      {"directory cut short", Bytes{'I', 'I', 42, 0, 8, 0, 0, 0, 2, 0, 0, 1, 3}},
      {"no size", Bytes{'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : kCases) {
    Bytes item = {9};
    EXPECT_EQ(AppendImage(c.data, 0, 0, &item), kRtBadImage) << c.what;
    EXPECT_EQ(item, Bytes{9}) << c.what;
  }
}

}  // namespace
}  // namespace ledra::richtext
