// The TIFF reader of the bitmap module: header, palette and data of one
// image of a TIFF file held in memory.
//
// File layout read here (offsets in the file's byte order, "II" little
// endian, "MM" big endian):
//
//   OFFSET SIZE  header
//   0      2     byte order "II" or "MM"
//   2      2     42
//   4      4     offset of the first directory
//
//   directory at offset D:
//   D      2     number of entries N (1 to kTiffMaxTags)
//   D+2    12*N  entries: tag (2), type (2), count (4), value or offset (4);
//                a value of 4 bytes or fewer sits in the entry itself
//   D+2+12N 4    offset of the next directory, 0 at the end of the chain
//
// Supported: photometric 0 and 1 (1, 4, 8 bits), 3 (palette, 1, 4, 8
// bits), 2 (RGB, 8 bits per sample, chunky or planar) and 5 (CMYK, 8 bits)
// read to 24 bits; strips uncompressed, LZW or PackBits; the horizontal
// predictor with LZW. Every offset and count taken from the file is checked
// against the file size before use; bitmaps are capped at kMaxBitmapBytes.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "imaging/bitmap.h"

namespace imaging {

// The reader's own error numbers.
enum : int {
  kTiffErrorBase = 100,
  kTiffErrVersion = kTiffErrorBase,  // "version number not 42"
  kTiffErrCorruptHeader,
  kTiffErrBadTagType,
  kTiffErrTooManyTags,
  kTiffErrIndex,
  kTiffErrMissingTag,
  kTiffErrGreySamples,
  kTiffErrGreyBits,
  kTiffErrRgbSamples,
  kTiffErrRgbBits,
  kTiffErrPaletteSamples,
  kTiffErrPaletteBits,
  kTiffErrColorMapMissing,
  kTiffErrTransparencyMask,
  kTiffErrCmykSamples,
  kTiffErrCmykBits,
  kTiffErrInkSet,
  kTiffErrYCbCr,
  kTiffErrPhotometric,
  kTiffErrCcittHuffman,
  kTiffErrCcittG3,
  kTiffErrCcittG4,
  kTiffErrCompression,
  kTiffErrOrientation,
  kTiffErrFillOrder,
  kTiffErrPlanarRgb,
  kTiffErrPlanarOther,
  kTiffErrPredictor,
  kTiffErrCorruptData,
  kTiffErrorEnd,
};

// The text of a TIFF reader error number; nullptr for any other number.
const char* TiffErrorText(int error);

// Directories with more entries than this are refused ("too many tags in
// file"); real writers use a few dozen.
inline constexpr uint32_t kTiffMaxTags = 1024;
// Strips per image (per plane, times 3 for RGB stored plane by plane).
inline constexpr uint32_t kTiffMaxStrips = 299;

// What the header reader learnt about the chosen image.
struct TiffImage {
  bool big_endian = false;
  BitmapInfo info;
  uint32_t photometric = 1;
  uint32_t samples_per_pixel = 1;
  uint32_t bits_per_sample = 1;
  uint32_t compression = 1;
  uint32_t orientation = 1;
  uint32_t planar_configuration = 1;
  uint32_t predictor = 1;
  uint32_t rows_per_strip = 0;
  uint32_t strips_per_plane = 0;
  uint32_t planes = 1;  // 3 for RGB stored plane by plane
  std::vector<uint32_t> strip_offsets;      // strips_per_plane x planes
  std::vector<uint32_t> strip_byte_counts;  // same, or empty when the tag is absent
  uint64_t color_map_offset = 0;            // where the ColorMap values are
};

// Reads the header and the directory of the image that the option "index="
// names (default 0). On success fills *image; on failure returns an error
// number and *image is unspecified.
[[nodiscard]] int TiffReadHeader(std::span<const uint8_t> file, std::string_view options,
                                 TiffImage* image);

// Fills the first 2^bits entries of *palette (nothing for 24 bits).
[[nodiscard]] int TiffReadPalette(std::span<const uint8_t> file, const TiffImage& image,
                                  Palette* palette);

// Decodes every strip into `data`, which must hold
// BitmapStride(image.info) x height bytes, in the bitmap layout of bitmap.h.
[[nodiscard]] int TiffReadData(std::span<const uint8_t> file, const TiffImage& image,
                               std::span<uint8_t> data);

}  // namespace imaging
