// The GIF writer of the bitmap module: a "GIF87a" file with one image and a
// global colour table, LZW-compressed.
//
//   "GIF87a"
//   logical screen: width, height (16-bit, low byte first), packed byte
//     0x80 | ((bits x 17 - 17) & 0xFF), background index, 0
//   global colour table: 2^bits entries of red, green, blue
//   image descriptor: ",", left, top, width, height (16-bit), bits - 1
//   LZW minimum code size (bits, but 2 for 1-bit images), data sub-blocks
//     of up to 255 bytes, a zero-length block
//   ";"
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "imaging/bitmap.h"
#include "imaging/byte_sink.h"

namespace imaging {

// Writes the bitmap (layout of bitmap.h) to `sink`. Options: "xscreen=",
// "yscreen=" (logical screen, default the image size), "background="
// (default 0), "xpos=", "ypos=" (default 0). Returns kErrNotSupported for a
// depth other than 1, 4 or 8, kErrBadSize for an image GIF cannot describe,
// kErrBadOption, kErrWrite when the sink fails, kErrOutOfMemory.
[[nodiscard]] int GifWrite(ByteSink& sink, const BitmapInfo& info, const Palette& palette,
                           std::span<const uint8_t> data, std::string_view options);

}  // namespace imaging
