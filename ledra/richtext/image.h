// Images in rich text. An image is kept as TIFF data: an image header
// record (0x99) that gives its display size and data length, followed by
// data segment records that carry the TIFF bytes in order. To show one,
// the renderer writes an image stream file (0x01 0x00, then the records'
// bytes, an odd-length record followed by one 0x00) and hands it to the
// image add-in, which writes the TIFF file back. The add-in is ours; it
// stands in for "_XTIFF.DLL", loaded through ledcore 376.
#pragma once

#include <cstdint>
#include <string>

#include "ledra/richtext/byte_io.h"

namespace ledra::richtext {

// TIFF bytes per data segment written by AppendImage.
inline constexpr size_t kImageSegmentSize = 10240;
// Pixels to twips, as the renderer divides by the same.
inline constexpr uint32_t kTwipsPerPixel = 15;
// The conversion entry's format argument for TIFF output.
inline constexpr int kImageFormatTiff = 3;

// The pixel size in the first image directory of a TIFF. kRtBadImage when
// the bytes are not a TIFF or the directory lies outside them.
[[nodiscard]] int TiffDimensions(ByteSpan tiff, uint32_t* width, uint32_t* height);

// Appends the records of an image to *item. A zero width or height is
// taken from the TIFF (pixels times 15). kRtBadImage when tiff is not a
// TIFF; on failure *item is unchanged.
[[nodiscard]] int AppendImage(ByteSpan tiff, uint32_t width_twips, uint32_t height_twips,
                              Bytes* item);

// Appends one raw record's bytes to an image stream as the renderer does:
// the record, then a 0x00 when its length is odd. A new stream begins
// with kImageStreamStart.
inline constexpr uint8_t kImageStreamStart[2] = {0x01, 0x00};
void AppendImageStreamRecord(ByteSpan raw, Bytes* stream);

// The add-in's work on bytes: the TIFF data of an image stream.
// kRtBadImage when the stream does not start with the two bytes and an
// image header, a segment runs past the end, or the segments do not add
// up to the header's data length and segment count.
[[nodiscard]] int TiffFromImageStream(ByteSpan stream, Bytes* tiff);

// The image add-in's exported entry: reads the stream file input and
// writes the TIFF file output. format must be kImageFormatTiff, flags 0;
// options is not used. 0 on success, else a status (the output file is
// then removed).
using ImageConvertFn = int (*)(const char* input, int format, int flags, const char* options,
                               const char* output);
struct ImageAddin {
  ImageConvertFn convert = nullptr;
};

// ledcore 376: loads the image add-in once and returns it (the same
// pointer every time); null when it cannot be loaded.
const ImageAddin* LoadImageAddin();

}  // namespace ledra::richtext
