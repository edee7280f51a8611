// A baseline JPEG writer.
//
// File layout: SOI, APP0 (JFIF 1.1), DQT (luminance 0, chrominance 1),
// SOF0 (8-bit, three components Y Cb Cr, each sampled 1x1), DHT (DC and AC
// tables 0 and 1), SOS (all three components), the entropy-coded blocks,
// EOI. Each MCU is one 8x8 block of Y, of Cb and of Cr.
#include "browser/tools/jpeg_writer.h"

#include <algorithm>
#include <cmath>

namespace page_images {

namespace {

constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The example tables of the JPEG standard (its annex K), natural order.
constexpr int kLuminanceQuant[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                     58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                     22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                     77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                     103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};
constexpr int kChrominanceQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

struct HuffmanCounts {
  uint8_t bits[16];
  std::vector<uint8_t> values;
};

const HuffmanCounts kDcLuminance = {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},
                                  {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanCounts kDcChrominance = {{0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0},
                                    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
const HuffmanCounts kAcLuminance = {
    {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d},
    {0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
     0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
     0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
     0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
     0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
     0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
     0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
     0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
     0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
     0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
     0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};
const HuffmanCounts kAcChrominance = {
    {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77},
    {0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
     0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
     0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
     0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
     0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
     0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
     0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
     0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
     0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
     0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
     0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa}};

// Canonical codes of a table: code and length for each symbol.
struct HuffmanCodes {
  uint16_t code[256] = {};
  uint8_t length[256] = {};
};

HuffmanCodes MakeCodes(const HuffmanCounts& counts) {
  HuffmanCodes codes;
  uint16_t code = 0;
  size_t k = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < counts.bits[length - 1]; ++i, ++k) {
      codes.code[counts.values[k]] = code++;
      codes.length[counts.values[k]] = static_cast<uint8_t>(length);
    }
    code = static_cast<uint16_t>(code << 1);
  }
  return codes;
}

class BitWriter {
 public:
  explicit BitWriter(std::string* out) : out_(out) {}
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      byte_ = static_cast<uint8_t>((byte_ << 1) | ((bits >> i) & 1));
      if (++filled_ == 8) Flush();
    }
  }
  // Pads the last byte with one bits.
  void Finish() {
    while (filled_ != 0) Put(1, 1);
  }

 private:
  void Flush() {
    out_->push_back(static_cast<char>(byte_));
    if (byte_ == 0xFF) out_->push_back('\0');  // a data 0xFF is followed by 0
    byte_ = 0;
    filled_ = 0;
  }
  std::string* out_;
  uint8_t byte_ = 0;
  int filled_ = 0;
};

void PutWord(std::string* out, int value) {
  out->push_back(static_cast<char>((value >> 8) & 0xFF));
  out->push_back(static_cast<char>(value & 0xFF));
}

void PutMarker(std::string* out, int marker) {
  out->push_back(static_cast<char>(0xFF));
  out->push_back(static_cast<char>(marker));
}

int Category(int value) {
  int magnitude = std::abs(value), bits = 0;
  while (magnitude != 0) {
    ++bits;
    magnitude >>= 1;
  }
  return bits;
}

void PutValue(BitWriter& bits, int value, int category) {
  if (category == 0) return;
  uint32_t raw = value >= 0 ? static_cast<uint32_t>(value)
                            : static_cast<uint32_t>(value + (1 << category) - 1);
  bits.Put(raw, category);
}

// Forward DCT of a level-shifted block, quantised, in zigzag order.
void Transform(const double block[64], const int quant[64], int out[64]) {
  static double cosines[8][8];
  static bool ready = false;
  if (!ready) {
    for (int x = 0; x < 8; ++x)
      for (int u = 0; u < 8; ++u) cosines[x][u] = std::cos((2 * x + 1) * u * M_PI / 16);
    ready = true;
  }
  for (int v = 0; v < 8; ++v) {
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) sum += block[y * 8 + x] * cosines[x][u] * cosines[y][v];
      double cu = u == 0 ? M_SQRT1_2 : 1, cv = v == 0 ? M_SQRT1_2 : 1;
      double coefficient = 0.25 * cu * cv * sum;
      int natural = v * 8 + u;
      int quantised = static_cast<int>(std::lround(coefficient / quant[natural]));
      for (int k = 0; k < 64; ++k)
        if (kZigzag[k] == natural) out[k] = quantised;
    }
  }
}

void EncodeBlock(BitWriter& bits, const int coefficients[64], int* previous_dc,
                 const HuffmanCodes& dc, const HuffmanCodes& ac) {
  int diff = coefficients[0] - *previous_dc;
  *previous_dc = coefficients[0];
  int category = Category(diff);
  bits.Put(dc.code[category], dc.length[category]);
  PutValue(bits, diff, category);
  int run = 0;
  for (int k = 1; k < 64; ++k) {
    if (coefficients[k] == 0) {
      ++run;
      continue;
    }
    while (run > 15) {
      bits.Put(ac.code[0xF0], ac.length[0xF0]);
      run -= 16;
    }
    int size = Category(coefficients[k]);
    int symbol = (run << 4) | size;
    bits.Put(ac.code[symbol], ac.length[symbol]);
    PutValue(bits, coefficients[k], size);
    run = 0;
  }
  if (run > 0) bits.Put(ac.code[0], ac.length[0]);  // end of block
}

void ScaleTable(const int base[64], int quality, int out[64]) {
  int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  for (int i = 0; i < 64; ++i) out[i] = std::clamp((base[i] * scale + 50) / 100, 1, 255);
}

void PutHuffmanTable(std::string* out, int class_and_id, const HuffmanCounts& counts) {
  out->push_back(static_cast<char>(class_and_id));
  for (uint8_t count : counts.bits) out->push_back(static_cast<char>(count));
  for (uint8_t value : counts.values) out->push_back(static_cast<char>(value));
}

}  // namespace

std::string EncodeJpeg(const RgbImage& image, int quality) {
  quality = std::clamp(quality, 1, 100);
  int quant[2][64];
  ScaleTable(kLuminanceQuant, quality, quant[0]);
  ScaleTable(kChrominanceQuant, quality, quant[1]);
  std::string out;
  PutMarker(&out, 0xD8);
  PutMarker(&out, 0xE0);
  PutWord(&out, 16);
  out.append("JFIF\0", 5);
  out.append("\x01\x01\x00\x00\x01\x00\x01\x00\x00", 9);
  PutMarker(&out, 0xDB);
  PutWord(&out, 2 + 2 * 65);
  for (int table = 0; table < 2; ++table) {
    out.push_back(static_cast<char>(table));
    for (int k = 0; k < 64; ++k) out.push_back(static_cast<char>(quant[table][kZigzag[k]]));
  }
  PutMarker(&out, 0xC0);
  PutWord(&out, 17);
  out.push_back(8);
  PutWord(&out, image.height);
  PutWord(&out, image.width);
  out.push_back(3);
  for (int component = 1; component <= 3; ++component) {
    out.push_back(static_cast<char>(component));
    out.push_back(0x11);
    out.push_back(static_cast<char>(component == 1 ? 0 : 1));
  }
  const HuffmanCounts* huffman_tables[4] = {&kDcLuminance, &kAcLuminance, &kDcChrominance, &kAcChrominance};
  const int ids[4] = {0x00, 0x10, 0x01, 0x11};
  int length = 2;
  for (const HuffmanCounts* counts : huffman_tables) length += 17 + static_cast<int>(counts->values.size());
  PutMarker(&out, 0xC4);
  PutWord(&out, length);
  for (int i = 0; i < 4; ++i) PutHuffmanTable(&out, ids[i], *huffman_tables[i]);
  PutMarker(&out, 0xDA);
  PutWord(&out, 12);
  out.push_back(3);
  for (int component = 1; component <= 3; ++component) {
    out.push_back(static_cast<char>(component));
    out.push_back(static_cast<char>(component == 1 ? 0x00 : 0x11));
  }
  out.push_back(0);
  out.push_back(63);
  out.push_back(0);

  HuffmanCodes dc[2] = {MakeCodes(kDcLuminance), MakeCodes(kDcChrominance)};
  HuffmanCodes ac[2] = {MakeCodes(kAcLuminance), MakeCodes(kAcChrominance)};
  BitWriter bits(&out);
  int previous_dc[3] = {0, 0, 0};
  for (int by = 0; by < image.height; by += 8) {
    for (int bx = 0; bx < image.width; bx += 8) {
      double planes[3][64];
      for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
          // Blocks past the edge repeat the last row and column.
          int px = std::min(bx + x, image.width - 1), py = std::min(by + y, image.height - 1);
          const uint8_t* p = &image.rgb[(static_cast<size_t>(py) * image.width + px) * 3];
          double r = p[0], g = p[1], b = p[2];
          planes[0][y * 8 + x] = 0.299 * r + 0.587 * g + 0.114 * b - 128;
          planes[1][y * 8 + x] = -0.168736 * r - 0.331264 * g + 0.5 * b;
          planes[2][y * 8 + x] = 0.5 * r - 0.418688 * g - 0.081312 * b;
        }
      }
      for (int component = 0; component < 3; ++component) {
        int table = component == 0 ? 0 : 1;
        int coefficients[64];
        Transform(planes[component], quant[table], coefficients);
        EncodeBlock(bits, coefficients, &previous_dc[component], dc[table], ac[table]);
      }
    }
  }
  bits.Finish();
  PutMarker(&out, 0xD9);
  return out;
}

}  // namespace page_images
