// The table of file formats the bitmap module knows, in order: TIFF, then
// GIF. Each entry names its extensions and says which depths it reads and
// writes; its functions read a header, a palette and the data, or write a
// whole file. The system reads TIFF and writes GIF; the other two
// directions are not built and report kErrNotSupported.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "imaging/bitmap.h"
#include "imaging/byte_sink.h"
#include "imaging/tiff_reader.h"

namespace imaging {

enum : unsigned {
  kFormatRead1 = 0x01,
  kFormatRead4 = 0x02,
  kFormatRead8 = 0x04,
  kFormatRead24 = 0x08,
  kFormatWrite1 = 0x10,
  kFormatWrite4 = 0x20,
  kFormatWrite8 = 0x40,
  kFormatWrite24 = 0x80,
};

// One image being read: the whole file in memory and what the header
// reader found.
struct BitmapRead {
  std::span<const uint8_t> file;
  BitmapInfo info;
  TiffImage tiff;
};

struct BitmapFormat {
  const char* name;
  const char* extensions;  // separated by blanks, tabs or commas
  const char* description;
  unsigned flags;
  int (*read_header)(BitmapRead& read, std::string_view options);
  int (*read_palette)(BitmapRead& read, Palette* palette);
  int (*read_data)(BitmapRead& read, std::span<uint8_t> data);
  int (*write)(ByteSink& sink, const BitmapInfo& info, const Palette& palette,
               std::span<const uint8_t> data, std::string_view options);
};

std::span<const BitmapFormat> BitmapFormats();

// The first format one of whose extensions equals the extension of
// `file_name` (without regard to case). Writes its index to *format and
// returns kBitmapOk, or returns kErrNotFound and leaves *format alone.
[[nodiscard]] int FormatForFile(std::string_view file_name, int* format);

// Whether a format can write a bitmap of `bits_per_pixel`.
bool FormatWrites(const BitmapFormat& format, int bits_per_pixel);

// The text of any error number of the module and its formats.
const char* ErrorText(int error);

}  // namespace imaging
