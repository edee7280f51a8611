// Image records, the image stream and the image add-in.
#include "ledra/richtext/image.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>

#include "ledra/richtext/item.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/records.h"
#include "ledra/richtext/status.h"

namespace ledra::richtext {
namespace {

// Reads the TIFF's integers in its own byte order; any read outside the
// bytes fails.
struct TiffReader {
  ByteSpan bytes;
  bool big_endian = false;

  bool Read(size_t at, size_t n, uint32_t* v) const {
    if (at > bytes.size() || bytes.size() - at < n) return false;
    *v = 0;
    for (size_t i = 0; i < n; ++i) {
      size_t k = big_endian ? i : n - 1 - i;
      *v = (*v << 8) | bytes[at + k];
    }
    return true;
  }
};

int ConvertStreamFile(const char* input, int format, int flags, const char* /*options*/,
                      const char* output) {
  if (input == nullptr || output == nullptr || format != kImageFormatTiff || flags != 0) {
    return kRtBadImage;
  }
  std::ifstream in(input, std::ios::binary);
  if (!in) return kRtFileError;
  Bytes stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return kRtFileError;
  Bytes tiff;
  if (int s = TiffFromImageStream(stream, &tiff); s != kRtOk) return s;
  std::FILE* f = std::fopen(output, "wb");
  if (f == nullptr) return kRtFileError;
  bool ok = std::fwrite(tiff.data(), 1, tiff.size(), f) == tiff.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) {
    std::remove(output);
    return kRtFileError;
  }
  return kRtOk;
}

}  // namespace

int TiffDimensions(ByteSpan tiff, uint32_t* width, uint32_t* height) {
  TiffReader r{tiff};
  if (tiff.size() < 8) return kRtBadImage;
  if (tiff[0] == 'I' && tiff[1] == 'I') {
    r.big_endian = false;
  } else if (tiff[0] == 'M' && tiff[1] == 'M') {
    r.big_endian = true;
  } else {
    return kRtBadImage;
  }
  uint32_t magic = 0, ifd = 0, count = 0;
  if (!r.Read(2, 2, &magic) || magic != 42 || !r.Read(4, 4, &ifd) || !r.Read(ifd, 2, &count)) {
    return kRtBadImage;
  }
  *width = *height = 0;
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = static_cast<size_t>(ifd) + 2 + static_cast<size_t>(i) * 12;
    uint32_t tag = 0, type = 0, value = 0;
    if (!r.Read(at, 2, &tag) || !r.Read(at + 2, 2, &type)) return kRtBadImage;
    if (tag != 256 && tag != 257) continue;
    // SHORT values sit in the first two bytes of the value field.
    if (type == 3) {
      if (!r.Read(at + 8, 2, &value)) return kRtBadImage;
    } else if (type == 4) {
      if (!r.Read(at + 8, 4, &value)) return kRtBadImage;
    } else {
      return kRtBadImage;
    }
    (tag == 256 ? *width : *height) = value;
  }
  return (*width != 0 && *height != 0) ? kRtOk : kRtBadImage;
}

int AppendImage(ByteSpan tiff, uint32_t width_twips, uint32_t height_twips, Bytes* item) {
  uint32_t w = 0, h = 0;
  if (int s = TiffDimensions(tiff, &w, &h); s != kRtOk) return s;
  size_t segments = (tiff.size() + kImageSegmentSize - 1) / kImageSegmentSize;
  if (tiff.size() > std::numeric_limits<uint32_t>::max() ||
      segments > std::numeric_limits<uint16_t>::max()) {
    return kRtTooLarge;
  }
  ImageHeader header;
  header.width_twips = width_twips != 0 ? width_twips : w * kTwipsPerPixel;
  header.height_twips = height_twips != 0 ? height_twips : h * kTwipsPerPixel;
  header.data_length = static_cast<uint32_t>(tiff.size());
  header.segment_count = static_cast<uint16_t>(segments);
  Bytes out = *item, raw;
  if (int s = WriteImageHeader(header, &raw); s != kRtOk) return s;
  if (int s = AppendRecord(&out, kKindRaw, raw); s != kRtOk) return s;
  for (size_t at = 0; at < tiff.size(); at += kImageSegmentSize) {
    ByteSpan piece = tiff.subspan(at, std::min(kImageSegmentSize, tiff.size() - at));
    if (int s = BuildNativeRecord(kSigImageData, piece, &raw); s != kRtOk) return s;
    if (int s = AppendRecord(&out, kKindRaw, raw); s != kRtOk) return s;
  }
  *item = std::move(out);
  return kRtOk;
}

void AppendImageStreamRecord(ByteSpan raw, Bytes* stream) {
  stream->insert(stream->end(), raw.begin(), raw.end());
  if (raw.size() % 2 != 0) stream->push_back(0);
}

int TiffFromImageStream(ByteSpan stream, Bytes* tiff) {
  if (stream.size() < 2 || stream[0] != kImageStreamStart[0] || stream[1] != kImageStreamStart[1]) {
    return kRtBadImage;
  }
  ByteReader r(stream.subspan(2));
  bool have_header = false;
  ImageHeader header;
  uint32_t segments = 0;
  Bytes out;
  while (!r.AtEnd()) {
    size_t start = r.offset();
    uint16_t signature = r.U16();
    uint32_t length = r.U32();
    if (!r.ok() || length < kNativeHeaderSize) return kRtBadImage;
    ByteSpan payload = r.Take(length - kNativeHeaderSize);
    if (!r.ok()) return kRtBadImage;
    if (length % 2 != 0) r.Skip(1);
    if (!have_header) {
      ByteSpan raw = stream.subspan(2 + start, length);
      if (signature != kSigImageHeader || ReadImageHeader(raw, &header) != kRtOk) {
        return kRtBadImage;
      }
      have_header = true;
      continue;
    }
    if (!IsImageDataSignature(signature) || payload.size() > header.data_length - out.size()) {
      return kRtBadImage;
    }
    out.insert(out.end(), payload.begin(), payload.end());
    ++segments;
  }
  if (!r.ok() || !have_header || out.size() != header.data_length ||
      segments != header.segment_count) {
    return kRtBadImage;
  }
  *tiff = std::move(out);
  return kRtOk;
}

const ImageAddin* LoadImageAddin() {
  static const ImageAddin addin{&ConvertStreamFile};
  return &addin;
}

}  // namespace ledra::richtext
