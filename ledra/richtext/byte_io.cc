// Little-endian byte reader and writer, hex and Base64.
#include "ledra/richtext/byte_io.h"

#include "ledra/richtext/status.h"

namespace ledra::richtext {

const char* RtStatusText(int status) {
  switch (status) {
    case kRtOk:
      return "No error";
    case kRtCorrupt:
      return "Rich text item is damaged";
    case kRtNoSuchRecord:
      return "No such rich text record";
    case kRtWrongKind:
      return "Rich text record is of another kind";
    case kRtUnknownConversion:
      return "Unknown rich text structure code";
    case kRtTooLarge:
      return "Value too large for a rich text record";
    case kRtFileError:
      return "File could not be read or written";
    case kRtBadMarkup:
      return "Rich text markup is not valid";
    case kRtFormulaHook:
      return "Compiled formula cannot be converted";
    case kRtBadImage:
      return "Image data is not valid";
    default:
      return "Unknown rich text error";
  }
}

bool ByteReader::Need(size_t n) {
  if (!ok_ || bytes_.size() - offset_ < n) {
    ok_ = false;
    return false;
  }
  return true;
}

uint8_t ByteReader::U8() {
  if (!Need(1)) return 0;
  return bytes_[offset_++];
}

uint16_t ByteReader::U16() {
  if (!Need(2)) return 0;
  uint16_t v = static_cast<uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
  offset_ += 2;
  return v;
}

uint32_t ByteReader::U32() {
  if (!Need(4)) return 0;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | bytes_[offset_ + i];
  offset_ += 4;
  return v;
}

ByteSpan ByteReader::Take(size_t n) {
  if (!Need(n)) return {};
  ByteSpan s = bytes_.subspan(offset_, n);
  offset_ += n;
  return s;
}

std::string ByteReader::Text(size_t n) {
  ByteSpan s = Take(n);
  return std::string(s.begin(), s.end());
}

void ByteWriter::U16(uint16_t v) {
  out_->push_back(static_cast<uint8_t>(v));
  out_->push_back(static_cast<uint8_t>(v >> 8));
}

void ByteWriter::U32(uint32_t v) {
  for (int i = 0; i < 4; ++i) out_->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ByteWriter::PatchU32(size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*out_)[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string HexEncode(ByteSpan bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    out.push_back(kHexDigits[b >> 4]);
    out.push_back(kHexDigits[b & 15]);
  }
  return out;
}

bool HexDecode(std::string_view text, Bytes* out) {
  out->clear();
  if (text.size() % 2 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = HexValue(text[i]);
    int lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out->push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
}

std::string Base64Encode(ByteSpan bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    for (int s = 18; s >= 0; s -= 6) out.push_back(kBase64Alphabet[(v >> s) & 63]);
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = bytes[i] << 16;
    if (rest == 2) v |= bytes[i + 1] << 8;
    out.push_back(kBase64Alphabet[(v >> 18) & 63]);
    out.push_back(kBase64Alphabet[(v >> 12) & 63]);
    out.push_back(rest == 2 ? kBase64Alphabet[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

bool Base64Decode(std::string_view text, Bytes* out) {
  out->clear();
  uint32_t acc = 0;
  int bits = 0;
  size_t padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    if (padding > 0) return false;  // data after the padding
    int v = Base64Value(c);
    if (v < 0) return false;
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<uint8_t>(acc >> bits));
    }
  }
  // Leftover bits must be the zero fill of a short final group.
  if (padding > 2 || bits >= 6 || (acc & ((1u << bits) - 1)) != 0) return false;
  return true;
}

}  // namespace ledra::richtext
