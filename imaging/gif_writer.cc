// GIF writing: screen, colour table, image descriptor and the LZW encoder.
#include "imaging/gif_writer.h"

#include <array>
#include <new>
#include <vector>

namespace imaging {

namespace {

constexpr int kHashSize = 17777;     // string table slots, a prime
constexpr int kClearAtCode = 4094;   // the table starts again when the next free code reaches it
constexpr int kMaxCodeBits = 12;
constexpr int kMaxBlock = 255;

// Encodes a stream of pixels into GIF LZW codes and packs them, least
// significant bit first, into data sub-blocks.
class LzwEncoder {
 public:
  LzwEncoder(ByteSink& sink, int minimum_code_size)
      : sink_(sink),
        minimum_code_size_(minimum_code_size),
        clear_code_(1 << minimum_code_size),
        end_code_(clear_code_ + 1),
        keys_(kHashSize),
        codes_(kHashSize) {
    sink_.Byte(uint8_t(minimum_code_size_));
    ResetTable();
    Output(clear_code_);
  }

  void Pixel(int pixel) {
    if (prefix_ < 0) {
      prefix_ = pixel;
      return;
    }
    const int32_t key = (prefix_ << 8) | pixel;
    int slot = int(((uint32_t(pixel) << 12) ^ uint32_t(prefix_)) % kHashSize);
    while (keys_[slot] >= 0) {
      if (keys_[slot] == key) {
        prefix_ = codes_[slot];
        return;
      }
      if (++slot == kHashSize) slot = 0;
    }
    Output(prefix_);
    if (next_code_ < kClearAtCode) {
      keys_[slot] = key;
      codes_[slot] = uint16_t(next_code_++);
    } else {
      Output(clear_code_);
      ResetTable();
    }
    prefix_ = pixel;
  }

  void Finish() {
    if (prefix_ >= 0) Output(prefix_);
    Output(end_code_);
    if (bit_count_ > 0) PutByte(uint8_t(bit_buffer_));
    if (block_length_ > 0) {
      sink_.Byte(uint8_t(block_length_));
      sink_.Write(block_.data(), size_t(block_length_));
    }
    sink_.Byte(0);
  }

 private:
  void ResetTable() {
    std::fill(keys_.begin(), keys_.end(), -1);
    code_bits_ = minimum_code_size_ + 1;
    next_code_ = clear_code_ + 2;
  }

  // Writes a code at the current width; the width grows once the next free
  // code no longer fits it (the reader's table lags one code behind ours).
  void Output(int code) {
    bit_buffer_ |= uint32_t(code) << bit_count_;
    bit_count_ += code_bits_;
    while (bit_count_ >= 8) {
      PutByte(uint8_t(bit_buffer_ & 0xff));
      bit_buffer_ >>= 8;
      bit_count_ -= 8;
    }
    if (next_code_ >= (1 << code_bits_) && code_bits_ < kMaxCodeBits) ++code_bits_;
  }

  void PutByte(uint8_t b) {
    block_[size_t(block_length_++)] = b;
    if (block_length_ == kMaxBlock) {
      sink_.Byte(uint8_t(kMaxBlock));
      sink_.Write(block_.data(), size_t(kMaxBlock));
      block_length_ = 0;
    }
  }

  ByteSink& sink_;
  const int minimum_code_size_;
  const int clear_code_;
  const int end_code_;
  std::vector<int32_t> keys_;   // (prefix << 8) | pixel, -1 when the slot is free
  std::vector<uint16_t> codes_;
  int code_bits_ = 0;
  int next_code_ = 0;
  int prefix_ = -1;
  uint32_t bit_buffer_ = 0;
  int bit_count_ = 0;
  std::array<uint8_t, kMaxBlock> block_{};
  int block_length_ = 0;
};

}  // namespace

int GifWrite(ByteSink& sink, const BitmapInfo& info, const Palette& palette,
             std::span<const uint8_t> data, std::string_view options) {
  const int bits = info.bits_per_pixel;
  if (bits != 1 && bits != 4 && bits != 8) return kErrNotSupported;
  if (info.width <= 0 || info.height <= 0 || info.width > 0xffff || info.height > 0xffff) {
    return kErrBadSize;
  }
  const size_t stride = BitmapStride(info);
  if (data.size() < stride * size_t(info.height)) return kErrGeneral;

  long screen_width = info.width, screen_height = info.height;
  long background = 0, x_position = 0, y_position = 0;
  struct Option {
    std::string_view prefix;
    long max_value;
    long* value;
  };
  const Option parsed[] = {
      {"xscreen=", 0xffff, &screen_width}, {"yscreen=", 0xffff, &screen_height},
      {"background=", 0xff, &background},  {"xpos=", 0xffff, &x_position},
      {"ypos=", 0xffff, &y_position},
  };
  for (const Option& o : parsed) {
    if (int rc = NumericOption(options, o.prefix, o.max_value, o.value); rc != kBitmapOk) return rc;
  }

  try {
    sink.Write("GIF87a", 6);
    sink.Word(uint16_t(screen_width));
    sink.Word(uint16_t(screen_height));
    sink.Byte(uint8_t(0x80 | ((bits * 17 - 17) & 0xff)));
    sink.Byte(uint8_t(background));
    sink.Byte(0);
    for (int i = 0; i < (1 << bits); ++i) {
      const uint8_t rgb[3] = {palette[size_t(i)].red, palette[size_t(i)].green,
                              palette[size_t(i)].blue};
      sink.Write(rgb, 3);
    }

    sink.Byte(',');
    sink.Word(uint16_t(x_position));
    sink.Word(uint16_t(y_position));
    sink.Word(uint16_t(info.width));
    sink.Word(uint16_t(info.height));
    sink.Byte(uint8_t(bits - 1));

    // Two is the smallest code size GIF allows.
    LzwEncoder encoder(sink, bits == 1 ? 2 : bits);
    const size_t width = size_t(info.width);
    for (size_t y = size_t(info.height); y-- > 0 && !sink.failed();) {
      const uint8_t* row = data.data() + y * stride;
      switch (bits) {
        case 8:
          for (size_t x = 0; x < width; ++x) encoder.Pixel(row[x]);
          break;
        case 4:
          for (size_t x = 0; x < width; ++x) encoder.Pixel((row[x / 2] >> ((x & 1) ? 0 : 4)) & 0x0f);
          break;
        default:
          for (size_t x = 0; x < width; ++x) encoder.Pixel((row[x / 8] >> (7 - x % 8)) & 1);
          break;
      }
    }
    encoder.Finish();
    sink.Byte(';');
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return sink.failed() ? kErrWrite : kBitmapOk;
}

}  // namespace imaging
