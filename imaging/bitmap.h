// The bitmap description shared by the image readers and writers: size and
// depth, the in-memory row layout, palettes, the module's error numbers and
// the option words that readers and writers accept.
//
// Rows are held bottom row first, each padded to a multiple of 4 bytes.
// 1- and 4-bit pixels are packed most significant bits first; 24-bit pixels
// are stored blue, green, red.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace imaging {

struct BitmapInfo {
  int width = 0;
  int height = 0;
  int bits_per_pixel = 0;  // 1, 4, 8 or 24
};

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
};

// Room for the largest palette (8 bits); a bitmap of b bits uses the first
// 2^b entries, a 24-bit bitmap none.
using Palette = std::array<Rgb, 256>;

// Error numbers of the module. 0 is success; the TIFF reader adds its own
// numbers from kTiffErrorBase (tiff_reader.h).
enum : int {
  kBitmapOk = 0,
  kErrOutOfMemory = 1,
  kErrNotSupported = 2,
  kErrBadOption = 3,
  kErrNotFound = 4,
  kErrBadMagic = 5,
  kErrBadSize = 6,
  kErrRead = 7,
  kErrWrite = 8,
  kErrGeneral = 9,
};

// The text of one of the numbers above; nullptr for any other number.
const char* GeneralErrorText(int error);

// Bytes in one held row: ((bits per pixel x width + 31) / 32) x 4.
size_t BitmapStride(const BitmapInfo& info);

// The largest bitmap (stride x height) that a reader will allocate: 256 MiB,
// enough for 8192 x 8192 at 24 bits. Larger claims in a file are refused
// with kErrBadSize, so a hostile header cannot ask for unbounded memory. The
// TIFF reader also decodes a compressed strip into a buffer under the same
// cap, so one conversion holds at most twice this beside the mapped file.
inline constexpr size_t kMaxBitmapBytes = size_t{256} << 20;

// Option texts are words separated by blanks, tabs and commas, matched
// without regard to case.
//
// OptionValue finds the first word that begins with `prefix` (such as
// "index=") and returns the rest of the word; nullopt when there is none.
std::optional<std::string_view> OptionValue(std::string_view options, std::string_view prefix);

// Reads the value of `prefix` as a decimal number in [0, max_value] into
// *value; leaves *value (the default) alone when the word is absent.
// Returns kErrBadOption for a value that is not such a number.
[[nodiscard]] int NumericOption(std::string_view options, std::string_view prefix, long max_value,
                                long* value);

}  // namespace imaging
