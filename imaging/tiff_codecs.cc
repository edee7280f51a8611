// TIFF LZW and PackBits strip decoders and the horizontal predictor.
#include "imaging/tiff_codecs.h"

#include <array>

namespace imaging {

namespace {

constexpr int kLzwClear = 256;
constexpr int kLzwEnd = 257;
constexpr int kLzwFirstFree = 258;
constexpr int kLzwTableSize = 4096;
constexpr int kLzwMaxBits = 12;

// The string table: each code is its prefix code plus one byte; first and
// length let a string be written back to front without recursion.
struct LzwTable {
  std::array<uint16_t, kLzwTableSize> prefix;
  std::array<uint16_t, kLzwTableSize> length;
  std::array<uint8_t, kLzwTableSize> suffix;
  std::array<uint8_t, kLzwTableSize> first;
};

// Writes the string of `code` at out[pos...], dropping what lies past the
// end, and returns its length.
size_t EmitString(const LzwTable& table, int code, std::span<uint8_t> out, size_t pos) {
  const size_t length = table.length[code];
  int c = code;
  for (size_t j = length; j-- > 0;) {
    if (pos + j < out.size()) out[pos + j] = table.suffix[c];
    c = table.prefix[c];
  }
  return length;
}

}  // namespace

bool TiffLzwDecode(std::span<const uint8_t> in, std::span<uint8_t> out) {
  LzwTable table;
  for (int i = 0; i < 256; ++i) {
    table.prefix[i] = 0;
    table.length[i] = 1;
    table.suffix[i] = uint8_t(i);
    table.first[i] = uint8_t(i);
  }
  int bits = 9;
  int next = kLzwFirstFree;
  int previous = -1;
  size_t in_pos = 0;
  uint32_t bit_buffer = 0;
  int bit_count = 0;
  size_t out_pos = 0;

  while (out_pos < out.size()) {
    while (bit_count < bits) {
      if (in_pos >= in.size()) return false;  // data ends before the strip is full
      bit_buffer = (bit_buffer << 8) | in[in_pos++];
      bit_count += 8;
    }
    const int code = int((bit_buffer >> (bit_count - bits)) & ((1u << bits) - 1));
    bit_count -= bits;

    if (code == kLzwEnd) return false;  // ended early: the strip is short
    if (code == kLzwClear) {
      bits = 9;
      next = kLzwFirstFree;
      previous = -1;
      continue;
    }
    if (previous < 0) {
      if (code > 255) return false;
      out[out_pos++] = uint8_t(code);
      previous = code;
      continue;
    }
    if (code > next || (code == next && next >= kLzwTableSize) || code == kLzwClear ||
        code == kLzwEnd) {
      return false;
    }
    if (next < kLzwTableSize) {
      // The new entry is the previous string plus the first byte of this
      // one; for the code not yet in the table that byte is the previous
      // string's own first byte.
      const uint8_t byte = code < next ? table.first[code] : table.first[previous];
      table.prefix[next] = uint16_t(previous);
      table.suffix[next] = byte;
      table.first[next] = table.first[previous];
      table.length[next] = uint16_t(table.length[previous] + 1);
      ++next;
    }
    out_pos += EmitString(table, code, out, out_pos);
    previous = code;
    // Early change: the writer widens its codes one code before the table
    // needs the extra bit.
    if (next >= (1 << bits) - 1 && bits < kLzwMaxBits) ++bits;
  }
  return true;
}

bool PackBitsDecode(std::span<const uint8_t> in, std::span<uint8_t> out) {
  size_t in_pos = 0;
  size_t out_pos = 0;
  while (out_pos < out.size()) {
    if (in_pos >= in.size()) return false;
    const int n = int(int8_t(in[in_pos++]));
    if (n >= 0) {
      const size_t count = size_t(n) + 1;
      if (in.size() - in_pos < count) return false;
      for (size_t i = 0; i < count && out_pos < out.size(); ++i) out[out_pos++] = in[in_pos + i];
      in_pos += count;
    } else if (n != -128) {
      if (in_pos >= in.size()) return false;
      const uint8_t byte = in[in_pos++];
      for (int i = 0; i < 1 - n && out_pos < out.size(); ++i) out[out_pos++] = byte;
    }
  }
  return true;
}

void UndoHorizontalPredictor(std::span<uint8_t> rows, size_t row_bytes, size_t samples_per_pixel) {
  if (row_bytes == 0 || samples_per_pixel == 0) return;
  for (size_t start = 0; start + row_bytes <= rows.size(); start += row_bytes) {
    uint8_t* row = rows.data() + start;
    for (size_t i = samples_per_pixel; i < row_bytes; ++i) {
      row[i] = uint8_t(row[i] + row[i - samples_per_pixel]);
    }
  }
}

}  // namespace imaging
