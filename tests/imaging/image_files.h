// Test helpers for the imaging tests: TIFF files written with libtiff, TIFF
// files assembled tag by tag (for damaged and unusual headers), GIF files
// decoded with giflib, and a temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace imaging_test {

// A folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  std::string Path(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// One image for libtiff to write. Pixels are sample values, top row first,
// samples_per_pixel per pixel, one byte each (1- and 4-bit values too).
struct TiffPicture {
  int width = 0;
  int height = 0;
  int bits = 8;
  int samples_per_pixel = 1;
  int photometric = 1;
  int compression = 1;
  int predictor = 1;
  int rows_per_strip = 0;   // 0: the whole image in one strip
  int planar = 1;
  bool big_endian = false;
  bool eight_bit_colour_map = false;  // palette values 0..255 in the 16-bit fields
  std::vector<uint16_t> colour_map;   // 3 x 2^bits: reds, greens, blues
  std::vector<uint8_t> pixels;
};

// Writes the pictures as the images of one file; false when libtiff fails.
bool WriteTiff(const std::string& path, const std::vector<TiffPicture>& pictures);

// A picture of pseudo-random values with runs mixed in (so that the
// compressors have something to find), and a random colour map for
// photometric 3.
TiffPicture MakePicture(int width, int height, int bits, int photometric, uint32_t seed);

struct Colour {
  uint8_t red, green, blue;
  bool operator==(const Colour&) const = default;
};

// The colour a grey or palette picture's pixel should show.
Colour ExpectedColour(const TiffPicture& picture, uint8_t value);

// A GIF decoded with giflib: every pixel's colour, top row first, and the
// facts the tests look at.
struct GifPicture {
  bool ok = false;
  std::string error;
  int width = 0;
  int height = 0;
  int global_colours = 0;  // entries of the global colour table
  std::vector<Colour> pixels;
};
GifPicture ReadGif(const std::string& path);

std::vector<uint8_t> ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Assembles a TIFF file: the header, the strip data added with Data(), then
// one directory per Directory() with its entries, values that do not fit an
// entry stored after it.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool big_endian = false);
  // Appends bytes and returns their offset.
  uint32_t Data(const std::vector<uint8_t>& bytes);
  // Adds an entry to the current directory; values are written as bytes
  // for type 1, 16 bits for type 3 and 32 bits for any other type.
  void Tag(uint16_t tag, uint16_t type, std::vector<uint32_t> values);
  // Ends the current directory and starts another.
  void NextDirectory();
  std::vector<uint8_t> Build() const;

 private:
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    std::vector<uint8_t> value;  // encoded values
  };
  void Put16(std::vector<uint8_t>& out, uint32_t v) const;
  void Put32(std::vector<uint8_t>& out, uint32_t v) const;
  bool big_;
  std::vector<uint8_t> data_;
  std::vector<std::vector<Entry>> directories_{1};
};

}  // namespace imaging_test
