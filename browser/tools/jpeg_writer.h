// A small baseline JPEG writer for the page images that are photographs
// rather than icons (the welcome page's background): 8-bit RGB in, one
// YCbCr frame out with no subsampling, the example quantisation tables
// scaled by a quality, and the example Huffman tables.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace page_images {

struct RgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // rows top first, 3 bytes a pixel
};

// The JPEG file's bytes; quality 1 (smallest) to 100 (finest).
std::string EncodeJpeg(const RgbImage& image, int quality);

}  // namespace page_images
