// Decoders for compressed TIFF strips (LZW and PackBits, as TIFF 6.0 defines
// them) and the horizontal-differencing predictor.
//
// Both decoders fill `out` exactly: they stop once it is full and ignore the
// rest of the input. They never write outside `out`, whatever the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace imaging {

// TIFF LZW: codes packed most significant bit first, 9 to 12 bits wide,
// 256 clears the table, 257 ends the strip, the width grows one code early
// (at 511, 1023 and 2047). Returns false when the data is damaged or ends
// before `out` is full.
[[nodiscard]] bool TiffLzwDecode(std::span<const uint8_t> in, std::span<uint8_t> out);

// PackBits: a count byte n, then n + 1 literal bytes for 0..127, one byte
// repeated 1 - n times for -127..-1; -128 is skipped. A run that would pass
// the end of `out` is cut there. Returns false when the input ends first.
[[nodiscard]] bool PackBitsDecode(std::span<const uint8_t> in, std::span<uint8_t> out);

// Undoes horizontal differencing on 8-bit samples in place: every sample is
// added to the one `samples_per_pixel` bytes before it in the same row.
void UndoHorizontalPredictor(std::span<uint8_t> rows, size_t row_bytes, size_t samples_per_pixel);

}  // namespace imaging
