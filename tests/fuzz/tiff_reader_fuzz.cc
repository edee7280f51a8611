// Fuzz target for the TIFF reader: any bytes go through the header, palette
// and data readers as Convert uses them, and a readable 1-, 4- or 8-bit
// image is written as a GIF in memory. The first byte picks the image
// index, so the directory chain is explored too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/gif_writer.h"
#include "imaging/tiff_reader.h"

using namespace imaging;

// Keeps each run fast; the reader's own cap (kMaxBitmapBytes) is far larger.
constexpr size_t kFuzzMaxBitmapBytes = size_t{4} << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 1) return 0;
  const std::string options = "index=" + std::to_string(bytes[0] % 4);
  const std::span<const uint8_t> file(bytes + 1, size - 1);
  TiffImage image;
  if (TiffReadHeader(file, options, &image) != kBitmapOk) return 0;
  Palette palette{};
  if (TiffReadPalette(file, image, &palette) != kBitmapOk) return 0;
  const size_t data_size = BitmapStride(image.info) * size_t(image.info.height);
  if (data_size > kFuzzMaxBitmapBytes) return 0;
  std::vector<uint8_t> data(data_size);
  if (TiffReadData(file, image, data) != kBitmapOk) return 0;
  if (image.info.bits_per_pixel == 24) return 0;
  std::vector<uint8_t> gif;
  ByteSink sink(&gif);
  (void)GifWrite(sink, image.info, palette, data, "");
  return 0;
}
