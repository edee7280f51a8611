// Imaging test helpers: libtiff writing, giflib reading, hand-made TIFFs.
#include "tests/imaging/image_files.h"

#include <gif_lib.h>
#include <tiffio.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

namespace imaging_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "imaging_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

// Packs one row of sample values, most significant bits first.
std::vector<uint8_t> PackRow(const uint8_t* values, size_t count, int bits) {
  std::vector<uint8_t> row((count * size_t(bits) + 7) / 8, 0);
  for (size_t i = 0; i < count; ++i) {
    if (bits == 8) {
      row[i] = values[i];
    } else {
      const size_t bit = i * size_t(bits);
      row[bit / 8] |= uint8_t(values[i] << (8 - bits - bit % 8));
    }
  }
  return row;
}

bool WriteOne(TIFF* tif, const TiffPicture& p) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(p.width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(p.height));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(p.bits));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(p.samples_per_pixel));
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(p.photometric));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(p.compression));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, uint16_t(p.planar));
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(p.rows_per_strip ? p.rows_per_strip : p.height));
  if (p.predictor != 1) TIFFSetField(tif, TIFFTAG_PREDICTOR, uint16_t(p.predictor));
  if (p.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
  std::vector<uint16_t> map = p.colour_map;
  if (p.photometric == PHOTOMETRIC_PALETTE) {
    const size_t n = size_t(1) << p.bits;
    if (map.size() != 3 * n) return false;
    TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
  }
  const size_t spp = size_t(p.samples_per_pixel);
  const size_t width = size_t(p.width);
  if (p.planar == PLANARCONFIG_SEPARATE) {
    for (size_t s = 0; s < spp; ++s) {
      for (int y = 0; y < p.height; ++y) {
        std::vector<uint8_t> values(width);
        for (size_t x = 0; x < width; ++x) values[x] = p.pixels[(size_t(y) * width + x) * spp + s];
        std::vector<uint8_t> row = PackRow(values.data(), width, p.bits);
        if (TIFFWriteScanline(tif, row.data(), uint32_t(y), uint16_t(s)) < 0) return false;
      }
    }
  } else {
    for (int y = 0; y < p.height; ++y) {
      std::vector<uint8_t> row = PackRow(&p.pixels[size_t(y) * width * spp], width * spp, p.bits);
      if (TIFFWriteScanline(tif, row.data(), uint32_t(y), 0) < 0) return false;
    }
  }
  return TIFFWriteDirectory(tif) == 1;
}

}  // namespace

bool WriteTiff(const std::string& path, const std::vector<TiffPicture>& pictures) {
  TIFFSetWarningHandler(nullptr);
  TIFF* tif = TIFFOpen(path.c_str(), pictures.front().big_endian ? "wb" : "wl");
  if (!tif) return false;
  bool ok = true;
  for (const TiffPicture& p : pictures) ok = ok && WriteOne(tif, p);
  TIFFClose(tif);
  return ok;
}

TiffPicture MakePicture(int width, int height, int bits, int photometric, uint32_t seed) {
  TiffPicture p;
  p.width = width;
  p.height = height;
  p.bits = bits;
  p.photometric = photometric;
  p.samples_per_pixel = photometric == 2 ? 3 : photometric == 5 ? 4 : 1;
  std::mt19937 random(seed);
  const uint32_t values = 1u << bits;
  p.pixels.resize(size_t(width) * size_t(height) * size_t(p.samples_per_pixel));
  for (size_t i = 0; i < p.pixels.size();) {
    const uint8_t v = uint8_t(random() % values);
    // Half runs, half noise.
    const size_t run = random() % 2 ? 1 + random() % 20 : 1;
    for (size_t k = 0; k < run && i < p.pixels.size(); ++k) p.pixels[i++] = v;
  }
  if (photometric == 3) {
    p.colour_map.resize(3 * values);
    for (uint16_t& c : p.colour_map) c = uint16_t(random());
  }
  return p;
}

Colour ExpectedColour(const TiffPicture& p, uint8_t value) {
  const uint32_t entries = 1u << p.bits;
  if (p.photometric == 3) {
    const int shift = p.eight_bit_colour_map ? 0 : 8;
    return Colour{uint8_t(p.colour_map[value] >> shift),
                  uint8_t(p.colour_map[entries + value] >> shift),
                  uint8_t(p.colour_map[2 * entries + value] >> shift)};
  }
  uint8_t level = uint8_t(value * 255u / (entries - 1));
  if (p.photometric == 0) level = uint8_t(255 - level);
  return Colour{level, level, level};
}

GifPicture ReadGif(const std::string& path) {
  GifPicture out;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif) {
    out.error = GifErrorString(error);
    return out;
  }
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
    out.error = GifErrorString(gif->Error);
    DGifCloseFile(gif, &error);
    return out;
  }
  const SavedImage& image = gif->SavedImages[0];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
  out.global_colours = gif->SColorMap ? gif->SColorMap->ColorCount : 0;
  out.width = image.ImageDesc.Width;
  out.height = image.ImageDesc.Height;
  out.ok = map != nullptr;
  for (size_t i = 0; out.ok && i < size_t(out.width) * size_t(out.height); ++i) {
    const int index = image.RasterBits[i];
    if (index >= map->ColorCount) {
      out.ok = false;
      out.error = "pixel outside the colour table";
      break;
    }
    const GifColorType& c = map->Colors[index];
    out.pixels.push_back(Colour{c.Red, c.Green, c.Blue});
  }
  DGifCloseFile(gif, &error);
  return out;
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

TiffBuilder::TiffBuilder(bool big_endian) : big_(big_endian) {}

uint32_t TiffBuilder::Data(const std::vector<uint8_t>& bytes) {
  const uint32_t offset = uint32_t(8 + data_.size());
  data_.insert(data_.end(), bytes.begin(), bytes.end());
  return offset;
}

void TiffBuilder::Tag(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
  Entry e{tag, type, uint32_t(values.size()), {}};
  for (uint32_t v : values) {
    if (type == 1) {
      e.value.push_back(uint8_t(v));
    } else if (type == 3) {
      Put16(e.value, v);
    } else {
      Put32(e.value, v);
    }
  }
  directories_.back().push_back(std::move(e));
}

void TiffBuilder::NextDirectory() { directories_.emplace_back(); }

void TiffBuilder::Put16(std::vector<uint8_t>& out, uint32_t v) const {
  if (big_) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
  } else {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
  }
}

void TiffBuilder::Put32(std::vector<uint8_t>& out, uint32_t v) const {
  if (big_) {
    Put16(out, v >> 16);
    Put16(out, v & 0xffff);
  } else {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
  }
}

std::vector<uint8_t> TiffBuilder::Build() const {
  std::vector<uint8_t> out = big_ ? std::vector<uint8_t>{'M', 'M'} : std::vector<uint8_t>{'I', 'I'};
  Put16(out, 42);
  Put32(out, 0);  // patched below
  out.insert(out.end(), data_.begin(), data_.end());
  size_t link_at = 4;  // where the offset of the next directory goes
  auto patch32 = [&](size_t at, uint32_t v) {
    std::vector<uint8_t> b;
    Put32(b, v);
    std::copy(b.begin(), b.end(), out.begin() + long(at));
  };
  for (const std::vector<Entry>& entries : directories_) {
    if (out.size() % 2) out.push_back(0);
    patch32(link_at, uint32_t(out.size()));
    Put16(out, uint32_t(entries.size()));
    std::vector<size_t> value_at;
    for (const Entry& e : entries) {
      Put16(out, e.tag);
      Put16(out, e.type);
      Put32(out, e.count);
      value_at.push_back(out.size());
      std::vector<uint8_t> field = e.value;
      if (field.size() <= 4) {
        field.resize(4, 0);
        out.insert(out.end(), field.begin(), field.end());
      } else {
        Put32(out, 0);  // patched once the value is placed
      }
    }
    link_at = out.size();
    Put32(out, 0);
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      if (e.value.size() <= 4) continue;
      if (out.size() % 2) out.push_back(0);
      patch32(value_at[i], uint32_t(out.size()));
      out.insert(out.end(), e.value.begin(), e.value.end());
    }
  }
  return out;
}

}  // namespace imaging_test
