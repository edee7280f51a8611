// TIFF header, palette and data reading.
#include "imaging/tiff_reader.h"

#include <algorithm>
#include <limits>
#include <unordered_set>

#include "imaging/tiff_codecs.h"

namespace imaging {

namespace {

constexpr const char* kTiffErrorTexts[] = {
    "version number not 42",
    "corrupt header",
    "bad tag type",
    "too many tags in file",
    "less bitmaps in file than index requested",
    "ImageWidth, ImageLength or StripOffsets tag missing",
    "SamplesPerPixel tag must be 1 for bitmap or greyscale file",
    "BitsPerSample tag must be 1,4 or 8 for bitmap or greyscale file",
    "SamplesPerPixel tag must be 3 or more for RGB file",
    "BitsPerSample tag must be 8 for RGB file",
    "SamplesPerPixel tag must be 1 for palettised file",
    "BitsPerSample tag must be 1,4 or 8 for paletteised file",
    "ColorMap tag missing",
    "PhotometricInterpretation tag is transparency mask, not supported",
    "SamplesPerPixel tag must be 4 for CMYK file",
    "BitsPerSample tag must be 8 for CMYK file",
    "InkSet tag indicates non-CMYK colour seperations",
    "PhotometricInterpreation tag is Y-Cb-Cr colour space, not supported",
    "PhotometricInterpretation tag unsupported/bad",
    "Compression tag is CCITT 1D Modified Huffman, not supported",
    "Compression tag is CCITT T.4 G3 Facsimile, not supported",
    "Compression tag is CCITT T.6 G4 Facsimile, not supported",
    "Compression tag not uncompressed, PackBits or LZW, not supported",
    "Orientation tag must be 1 or 4",
    "FillOrder tag must be 1",
    "PlanarConfiguration tag must be 1 or 2 for RGB files",
    "PlanarConfiguration tag must be 1 for non RGB files",
    "Predictor tag bad",
    "encoded data is corrupt",
};
static_assert(std::size(kTiffErrorTexts) == kTiffErrorEnd - kTiffErrorBase);

enum : uint16_t {
  kTagImageWidth = 256,
  kTagImageLength = 257,
  kTagBitsPerSample = 258,
  kTagCompression = 259,
  kTagPhotometric = 262,
  kTagFillOrder = 266,
  kTagStripOffsets = 273,
  kTagOrientation = 274,
  kTagSamplesPerPixel = 277,
  kTagRowsPerStrip = 278,
  kTagStripByteCounts = 279,
  kTagPlanarConfiguration = 284,
  kTagPredictor = 317,
  kTagColorMap = 320,
  kTagInkSet = 332,
};

enum : uint16_t { kTypeByte = 1, kTypeShort = 3, kTypeLong = 4 };

enum : uint32_t { kCompressionNone = 1, kCompressionLzw = 5, kCompressionPackBits = 32773 };

// Bytes per value of the TIFF field types 1 to 13; 0 marks a type that is
// not defined.
uint32_t TypeSize(uint16_t type) {
  static constexpr uint8_t kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
  return type < std::size(kSizes) ? kSizes[type] : 0;
}

struct Entry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  uint64_t data_offset = 0;  // where the values are: in the entry or elsewhere
};

// Bounds-checked reads in the file's byte order.
class TiffBytes {
 public:
  TiffBytes(std::span<const uint8_t> file, bool big_endian) : file_(file), big_(big_endian) {}

  bool Fits(uint64_t offset, uint64_t size) const {
    return offset <= file_.size() && size <= file_.size() - offset;
  }
  bool U16(uint64_t offset, uint32_t* value) const {
    if (!Fits(offset, 2)) return false;
    const uint8_t* p = file_.data() + offset;
    *value = big_ ? (uint32_t(p[0]) << 8 | p[1]) : (uint32_t(p[1]) << 8 | p[0]);
    return true;
  }
  bool U32(uint64_t offset, uint32_t* value) const {
    if (!Fits(offset, 4)) return false;
    const uint8_t* p = file_.data() + offset;
    *value = big_ ? (uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3])
                  : (uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    return true;
  }
  // Value number i of an entry of type BYTE, SHORT or LONG.
  bool Value(const Entry& entry, uint32_t i, uint32_t* value) const {
    switch (entry.type) {
      case kTypeByte:
        if (!Fits(entry.data_offset + i, 1)) return false;
        *value = file_[entry.data_offset + i];
        return true;
      case kTypeShort:
        return U16(entry.data_offset + uint64_t(i) * 2, value);
      case kTypeLong:
        return U32(entry.data_offset + uint64_t(i) * 4, value);
      default:
        return false;
    }
  }

 private:
  std::span<const uint8_t> file_;
  bool big_;
};

bool IsInteger(uint16_t type) { return type == kTypeByte || type == kTypeShort || type == kTypeLong; }

const Entry* FindEntry(const std::vector<Entry>& entries, uint16_t tag) {
  for (const Entry& e : entries) {
    if (e.tag == tag) return &e;
  }
  return nullptr;
}

// The first value of `tag`, or `fallback` when the directory lacks it.
int Number(const TiffBytes& bytes, const std::vector<Entry>& entries, uint16_t tag,
           uint32_t fallback, uint32_t* value) {
  const Entry* e = FindEntry(entries, tag);
  if (!e) {
    *value = fallback;
    return kBitmapOk;
  }
  if (!IsInteger(e->type)) return kTiffErrBadTagType;
  if (e->count == 0 || !bytes.Value(*e, 0, value)) return kTiffErrCorruptHeader;
  return kBitmapOk;
}

// The first `n` values of `tag`; the entry must hold at least that many.
int Numbers(const TiffBytes& bytes, const Entry& e, uint32_t n, std::vector<uint32_t>* values) {
  if (!IsInteger(e.type)) return kTiffErrBadTagType;
  if (e.count < n) return kTiffErrCorruptHeader;
  values->resize(n);
  for (uint32_t i = 0; i < n; ++i) {
    if (!bytes.Value(e, i, &(*values)[i])) return kTiffErrCorruptHeader;
  }
  return kBitmapOk;
}

// Finds directory number `index` by following the chain from the first and
// reads its entries. A chain that loops is corrupt: the first directories
// visited are remembered, and since no two directories share an offset, a
// walk longer than the file has bytes has looped too. Memory stays small
// however long the chain.
int ReadDirectory(const TiffBytes& bytes, uint64_t file_size, uint32_t first, long index,
                  std::vector<Entry>* entries) {
  constexpr size_t kRemembered = 1024;
  uint32_t offset = first;
  std::unordered_set<uint32_t> seen;
  for (long i = 0;; ++i) {
    if (offset == 0) return i == 0 ? kTiffErrCorruptHeader : kTiffErrIndex;
    if (seen.count(offset) || uint64_t(i) > file_size) return kTiffErrCorruptHeader;
    if (seen.size() < kRemembered) seen.insert(offset);
    uint32_t count = 0;
    if (!bytes.U16(offset, &count) || count == 0) return kTiffErrCorruptHeader;
    if (count > kTiffMaxTags) return kTiffErrTooManyTags;
    const uint64_t next_at = uint64_t(offset) + 2 + uint64_t(count) * 12;
    uint32_t next = 0;
    if (!bytes.U32(next_at, &next)) return kTiffErrCorruptHeader;
    if (i < index) {
      offset = next;
      continue;
    }
    entries->clear();
    for (uint32_t k = 0; k < count; ++k) {
      const uint64_t at = uint64_t(offset) + 2 + uint64_t(k) * 12;
      uint32_t tag = 0, type = 0, value_count = 0, value_field = 0;
      if (!bytes.U16(at, &tag) || !bytes.U16(at + 2, &type) || !bytes.U32(at + 4, &value_count) ||
          !bytes.U32(at + 8, &value_field)) {
        return kTiffErrCorruptHeader;
      }
      const uint32_t size = TypeSize(uint16_t(type));
      if (size == 0) return kTiffErrBadTagType;
      Entry e;
      e.tag = uint16_t(tag);
      e.type = uint16_t(type);
      e.count = value_count;
      const uint64_t total = uint64_t(value_count) * size;
      e.data_offset = total <= 4 ? at + 8 : value_field;
      entries->push_back(e);
    }
    return kBitmapOk;
  }
}

// Checks every BitsPerSample value for the first `samples` samples.
int AllBitsEqual(const TiffBytes& bytes, const Entry* e, uint32_t samples, uint32_t wanted,
                 bool* equal) {
  *equal = true;
  if (!e) {
    *equal = wanted == 1;
    return kBitmapOk;
  }
  if (!IsInteger(e->type)) return kTiffErrBadTagType;
  if (e->count == 0) return kTiffErrCorruptHeader;
  const uint32_t n = std::min(e->count, samples);
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t bits = 0;
    if (!bytes.Value(*e, i, &bits)) return kTiffErrCorruptHeader;
    if (bits != wanted) *equal = false;
  }
  return kBitmapOk;
}

// Step 3 of the header: the colour model decides the bitmap's depth.
int CheckPhotometric(const TiffBytes& bytes, const std::vector<Entry>& entries, uint32_t ink_set,
                     TiffImage* image) {
  const uint32_t spp = image->samples_per_pixel;
  const uint32_t bps = image->bits_per_sample;
  const Entry* bits_entry = FindEntry(entries, kTagBitsPerSample);
  bool all_eight = false;
  switch (image->photometric) {
    case 0:
    case 1:
      if (spp != 1) return kTiffErrGreySamples;
      if (bps != 1 && bps != 4 && bps != 8) return kTiffErrGreyBits;
      image->info.bits_per_pixel = int(bps);
      return kBitmapOk;
    case 2:
      if (spp < 3) return kTiffErrRgbSamples;
      if (int rc = AllBitsEqual(bytes, bits_entry, 3, 8, &all_eight); rc != kBitmapOk) return rc;
      if (!all_eight) return kTiffErrRgbBits;
      image->info.bits_per_pixel = 24;
      return kBitmapOk;
    case 3: {
      if (spp != 1) return kTiffErrPaletteSamples;
      if (bps != 1 && bps != 4 && bps != 8) return kTiffErrPaletteBits;
      const Entry* map = FindEntry(entries, kTagColorMap);
      if (!map) return kTiffErrColorMapMissing;
      if (map->type != kTypeShort) return kTiffErrBadTagType;
      const uint32_t needed = 3u << bps;
      if (map->count < needed || !bytes.Fits(map->data_offset, uint64_t(needed) * 2)) {
        return kTiffErrCorruptHeader;
      }
      image->color_map_offset = map->data_offset;
      image->info.bits_per_pixel = int(bps);
      return kBitmapOk;
    }
    case 4:
      return kTiffErrTransparencyMask;
    case 5:
      if (spp != 4) return kTiffErrCmykSamples;
      if (int rc = AllBitsEqual(bytes, bits_entry, 4, 8, &all_eight); rc != kBitmapOk) return rc;
      if (!all_eight) return kTiffErrCmykBits;
      if (ink_set != 1) return kTiffErrInkSet;
      image->info.bits_per_pixel = 24;
      return kBitmapOk;
    case 6:
      return kTiffErrYCbCr;
    default:
      return kTiffErrPhotometric;
  }
}

// Bytes of one decoded row of one plane as the file stores it.
uint64_t FileRowBytes(const TiffImage& image) {
  const uint64_t width = uint64_t(image.info.width);
  if (image.info.bits_per_pixel != 24) return (width * image.bits_per_sample + 7) / 8;
  if (image.planes == 3) return width;
  return width * image.samples_per_pixel;
}

}  // namespace

const char* TiffErrorText(int error) {
  if (error < kTiffErrorBase || error >= kTiffErrorEnd) return nullptr;
  return kTiffErrorTexts[error - kTiffErrorBase];
}

int TiffReadHeader(std::span<const uint8_t> file, std::string_view options, TiffImage* image) {
  long index = 0;
  if (int rc = NumericOption(options, "index=", std::numeric_limits<int32_t>::max(), &index);
      rc != kBitmapOk) {
    return rc;
  }
  *image = TiffImage();
  if (file.size() < 2) return kErrBadMagic;
  if (file[0] == 'I' && file[1] == 'I') {
    image->big_endian = false;
  } else if (file[0] == 'M' && file[1] == 'M') {
    image->big_endian = true;
  } else {
    return kErrBadMagic;
  }
  const TiffBytes bytes(file, image->big_endian);
  uint32_t version = 0, first = 0;
  if (!bytes.U16(2, &version)) return kTiffErrCorruptHeader;
  if (version != 42) return kTiffErrVersion;
  if (!bytes.U32(4, &first)) return kTiffErrCorruptHeader;

  std::vector<Entry> entries;
  if (int rc = ReadDirectory(bytes, file.size(), first, index, &entries); rc != kBitmapOk) return rc;

  const Entry* offsets_entry = FindEntry(entries, kTagStripOffsets);
  if (!FindEntry(entries, kTagImageWidth) || !FindEntry(entries, kTagImageLength) ||
      !offsets_entry) {
    return kTiffErrMissingTag;
  }
  uint32_t width = 0, length = 0, fill_order = 0, ink_set = 0;
  struct Field {
    uint16_t tag;
    uint32_t fallback;
    uint32_t* value;
  };
  const Field fields[] = {
      {kTagImageWidth, 0, &width},
      {kTagImageLength, 0, &length},
      {kTagPhotometric, 1, &image->photometric},
      {kTagSamplesPerPixel, 1, &image->samples_per_pixel},
      {kTagBitsPerSample, 1, &image->bits_per_sample},
      {kTagCompression, 1, &image->compression},
      {kTagOrientation, 1, &image->orientation},
      {kTagPlanarConfiguration, 1, &image->planar_configuration},
      {kTagFillOrder, 1, &fill_order},
      {kTagPredictor, 1, &image->predictor},
      {kTagInkSet, 1, &ink_set},
  };
  for (const Field& f : fields) {
    if (int rc = Number(bytes, entries, f.tag, f.fallback, f.value); rc != kBitmapOk) return rc;
  }
  if (int rc = Number(bytes, entries, kTagRowsPerStrip, length, &image->rows_per_strip);
      rc != kBitmapOk) {
    return rc;
  }

  if (int rc = CheckPhotometric(bytes, entries, ink_set, image); rc != kBitmapOk) return rc;

  // The size must fit the bitmap description and the allocation cap.
  if (width == 0 || length == 0 || width > uint32_t(std::numeric_limits<int>::max()) ||
      length > uint32_t(std::numeric_limits<int>::max())) {
    return kErrBadSize;
  }
  image->info.width = int(width);
  image->info.height = int(length);
  if (uint64_t(BitmapStride(image->info)) * length > kMaxBitmapBytes) return kErrBadSize;

  // Step 4: strips. A RowsPerStrip of 0 gives no usable strip count.
  const bool rgb = image->photometric == 2;
  image->planes = (rgb && image->planar_configuration == 2) ? 3 : 1;
  const uint64_t rows = image->rows_per_strip;
  const uint64_t strips = rows == 0 ? 0 : (uint64_t(length) + rows - 1) / rows;
  if (strips == 0 || strips * image->planes > kTiffMaxStrips) return kErrNotSupported;
  image->strips_per_plane = uint32_t(strips);

  // Step 5: compression.
  switch (image->compression) {
    case kCompressionNone:
    case kCompressionLzw:
    case kCompressionPackBits:
      break;
    case 2:
      return kTiffErrCcittHuffman;
    case 3:
      return kTiffErrCcittG3;
    case 4:
      return kTiffErrCcittG4;
    default:
      return kTiffErrCompression;
  }

  // Step 6: layout.
  if (image->orientation != 1 && image->orientation != 4) return kTiffErrOrientation;
  if (fill_order != 1) return kTiffErrFillOrder;
  if (rgb) {
    if (image->planar_configuration != 1 && image->planar_configuration != 2) {
      return kTiffErrPlanarRgb;
    }
  } else if (image->planar_configuration != 1) {
    return kTiffErrPlanarOther;
  }
  if (image->predictor != 1) {
    const uint32_t spp = image->samples_per_pixel;
    if (image->predictor != 2 || image->compression != kCompressionLzw ||
        image->bits_per_sample != 8 || spp == 2) {
      return kTiffErrPredictor;
    }
  }

  // One decoded strip must fit the cap too: extra samples per pixel make
  // the file's rows wider than the bitmap's.
  const uint64_t strip_rows = std::min<uint64_t>(rows, length);
  if (FileRowBytes(*image) * strip_rows > kMaxBitmapBytes) return kErrBadSize;

  const uint32_t total_strips = uint32_t(strips) * image->planes;
  if (int rc = Numbers(bytes, *offsets_entry, total_strips, &image->strip_offsets);
      rc != kBitmapOk) {
    return rc;
  }
  if (const Entry* counts = FindEntry(entries, kTagStripByteCounts)) {
    if (int rc = Numbers(bytes, *counts, total_strips, &image->strip_byte_counts);
        rc != kBitmapOk) {
      return rc;
    }
  }
  return kBitmapOk;
}

int TiffReadPalette(std::span<const uint8_t> file, const TiffImage& image, Palette* palette) {
  const int bits = image.info.bits_per_pixel;
  if (bits == 24) return kBitmapOk;
  const uint32_t entries = 1u << bits;
  if (image.photometric == 0 || image.photometric == 1) {
    // A grey ramp; photometric 0 means zero is white.
    for (uint32_t i = 0; i < entries; ++i) {
      uint32_t level = i * 255 / (entries - 1);
      if (image.photometric == 0) level = 255 - level;
      (*palette)[i] = Rgb{uint8_t(level), uint8_t(level), uint8_t(level)};
    }
    return kBitmapOk;
  }
  // The colour map: all reds, then all greens, then all blues, 16 bits each.
  const TiffBytes bytes(file, image.big_endian);
  std::vector<uint32_t> map(3 * entries);
  bool any_high = false;
  for (uint32_t i = 0; i < 3 * entries; ++i) {
    if (!bytes.U16(image.color_map_offset + uint64_t(i) * 2, &map[i])) {
      return kTiffErrCorruptHeader;
    }
    if (map[i] > 0xff) any_high = true;
  }
  // Some writers put 8-bit values in the 16-bit fields; then the low byte
  // is the colour.
  const int shift = any_high ? 8 : 0;
  for (uint32_t i = 0; i < entries; ++i) {
    (*palette)[i] = Rgb{uint8_t(map[i] >> shift), uint8_t(map[entries + i] >> shift),
                        uint8_t(map[2 * entries + i] >> shift)};
  }
  return kBitmapOk;
}

int TiffReadData(std::span<const uint8_t> file, const TiffImage& image, std::span<uint8_t> data) {
  const BitmapInfo& info = image.info;
  const size_t stride = BitmapStride(info);
  const size_t height = size_t(info.height);
  if (data.size() < stride * height) return kErrGeneral;
  const size_t row_bytes = size_t(FileRowBytes(image));
  const size_t rows_per_strip = std::min<size_t>(image.rows_per_strip, height);
  // Compressed strips are decoded into this buffer; uncompressed rows are
  // taken from the file where they lie.
  std::vector<uint8_t> strip;
  if (image.compression != kCompressionNone) strip.resize(rows_per_strip * row_bytes);
  const size_t predictor_step = image.planes == 3 ? 1 : image.samples_per_pixel;
  const size_t spp = image.samples_per_pixel;

  for (uint32_t plane = 0; plane < image.planes; ++plane) {
    for (uint32_t s = 0; s < image.strips_per_plane; ++s) {
      const size_t first_row = size_t(s) * rows_per_strip;
      const size_t rows = std::min(rows_per_strip, height - first_row);
      const size_t strip_bytes = rows * row_bytes;
      const size_t k = size_t(plane) * image.strips_per_plane + s;
      const uint64_t offset = image.strip_offsets[k];
      if (offset > file.size()) return kErrRead;
      // Without StripByteCounts an uncompressed strip is exactly its rows and
      // a compressed one runs at most to the end of the file.
      uint64_t count = strip_bytes;
      if (!image.strip_byte_counts.empty()) {
        count = image.strip_byte_counts[k];
      } else if (image.compression != kCompressionNone) {
        count = file.size() - offset;
      }
      if (count > file.size() - offset) return kErrRead;
      const std::span<const uint8_t> in = file.subspan(size_t(offset), size_t(count));
      std::span<const uint8_t> rows_data = in.first(std::min(in.size(), strip_bytes));
      if (image.compression == kCompressionNone) {
        if (in.size() < strip_bytes) return kErrRead;
      } else {
        const std::span<uint8_t> out(strip.data(), strip_bytes);
        const bool ok = image.compression == kCompressionLzw ? TiffLzwDecode(in, out)
                                                             : PackBitsDecode(in, out);
        if (!ok) return kTiffErrCorruptData;
        // The predictor is only allowed with LZW, so it always works on
        // the decoded copy.
        if (image.predictor == 2) UndoHorizontalPredictor(out, row_bytes, predictor_step);
        rows_data = out;
      }

      for (size_t r = 0; r < rows; ++r) {
        const size_t file_row = first_row + r;
        // Orientation 1 stores the top row first, 4 the bottom row first;
        // the bitmap holds the bottom row first.
        const size_t held_row = image.orientation == 4 ? file_row : height - 1 - file_row;
        uint8_t* dst = data.data() + held_row * stride;
        const uint8_t* src = rows_data.data() + r * row_bytes;
        if (info.bits_per_pixel != 24) {
          std::copy_n(src, row_bytes, dst);
          std::fill(dst + row_bytes, dst + stride, 0);
          continue;
        }
        const size_t width = size_t(info.width);
        if (image.planes == 3) {
          for (size_t x = 0; x < width; ++x) dst[x * 3 + (2 - plane)] = src[x];
        } else if (image.photometric == 2) {
          for (size_t x = 0; x < width; ++x) {
            dst[x * 3] = src[x * spp + 2];
            dst[x * 3 + 1] = src[x * spp + 1];
            dst[x * 3 + 2] = src[x * spp];
          }
        } else {
          // CMYK to RGB: each ink takes away its colour and the black.
          for (size_t x = 0; x < width; ++x) {
            const int black = src[x * 4 + 3];
            dst[x * 3] = uint8_t(255 - std::min(255, src[x * 4 + 2] + black));
            dst[x * 3 + 1] = uint8_t(255 - std::min(255, src[x * 4 + 1] + black));
            dst[x * 3 + 2] = uint8_t(255 - std::min(255, src[x * 4] + black));
          }
        }
        if (image.planes != 3 || plane == 2) std::fill(dst + width * 3, dst + stride, 0);
      }
    }
  }
  return kBitmapOk;
}

}  // namespace imaging
