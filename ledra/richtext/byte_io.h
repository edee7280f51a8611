// Little-endian reading and writing of record bytes. The reader never runs
// past its span: every read reports failure instead, and stays failed, so a
// decoder can read a whole structure and check once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ledra::richtext {

using Bytes = std::vector<uint8_t>;
using ByteSpan = std::span<const uint8_t>;

class ByteReader {
 public:
  explicit ByteReader(ByteSpan bytes) : bytes_(bytes) {}

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  // The next n bytes; an empty span (and failure) when fewer remain.
  ByteSpan Take(size_t n);
  std::string Text(size_t n);
  void Skip(size_t n) { (void)Take(n); }

  bool ok() const { return ok_; }
  size_t offset() const { return offset_; }
  size_t remaining() const { return ok_ ? bytes_.size() - offset_ : 0; }
  bool AtEnd() const { return ok_ && offset_ == bytes_.size(); }

 private:
  bool Need(size_t n);

  ByteSpan bytes_;
  size_t offset_ = 0;
  bool ok_ = true;
};

class ByteWriter {
 public:
  explicit ByteWriter(Bytes* out) : out_(out) {}

  void U8(uint8_t v) { out_->push_back(v); }
  void U16(uint16_t v);
  void U32(uint32_t v);
  void Put(ByteSpan bytes) { out_->insert(out_->end(), bytes.begin(), bytes.end()); }
  void Put(std::string_view text) { out_->insert(out_->end(), text.begin(), text.end()); }
  // Overwrites a 16- or 32-bit value written earlier (a length known later).
  void PatchU32(size_t at, uint32_t v);
  size_t size() const { return out_->size(); }

 private:
  Bytes* out_;
};

inline ByteSpan AsBytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Hex and Base64 text forms used by the markup for opaque bytes.
std::string HexEncode(ByteSpan bytes);
[[nodiscard]] bool HexDecode(std::string_view text, Bytes* out);
std::string Base64Encode(ByteSpan bytes);
[[nodiscard]] bool Base64Decode(std::string_view text, Bytes* out);

}  // namespace ledra::richtext
