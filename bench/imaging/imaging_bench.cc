// imaging_bench [ROUNDS]: converts a 2000 x 2000 8-bit palette TIFF (LZW,
// 64 rows per strip) to GIF with Convert, and does the same with libtiff's
// reader and giflib's writer, each ROUNDS times (default 7) in turn. Prints
// the median time of each and the ratio Convert / baseline.
#include <gif_lib.h>
#include <stdlib.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imaging/convert.h"

namespace {

constexpr int kSide = 2000;
constexpr int kRowsPerStrip = 64;

// Something like a picture: smooth shading, flat shapes and a little noise,
// so that LZW has work of both kinds.
std::vector<uint8_t> MakePixels() {
  std::vector<uint8_t> pixels(size_t(kSide) * kSide);
  std::mt19937 random(1);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      int v = int(128 + 60 * std::sin(x / 90.0) + 50 * std::cos(y / 70.0));
      const int dx = x - 1200, dy = y - 800;
      if (dx * dx + dy * dy < 400 * 400) v = 17;
      if (x > 200 && x < 700 && y > 1200 && y < 1700) v = 230;
      if (random() % 16 == 0) v += int(random() % 9) - 4;
      pixels[size_t(y) * kSide + size_t(x)] = uint8_t(std::clamp(v, 0, 255));
    }
  }
  return pixels;
}

bool WriteSource(const std::string& path, const std::vector<uint8_t>& pixels,
                 std::vector<uint16_t>* map) {
  map->resize(3 * 256);
  for (int i = 0; i < 256; ++i) {
    (*map)[size_t(i)] = uint16_t(i * 257);
    (*map)[size_t(256 + i)] = uint16_t((255 - i) * 257);
    (*map)[size_t(512 + i)] = uint16_t(((i * 3) % 256) * 257);
  }
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(kSide));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(kSide));
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, uint16_t(PHOTOMETRIC_PALETTE));
  TIFFSetField(tif, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_LZW));
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, uint32_t(kRowsPerStrip));
  TIFFSetField(tif, TIFFTAG_COLORMAP, map->data(), map->data() + 256, map->data() + 512);
  bool ok = true;
  for (int y = 0; y < kSide && ok; ++y) {
    ok = TIFFWriteScanline(tif, const_cast<uint8_t*>(&pixels[size_t(y) * kSide]), uint32_t(y), 0) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

// The baseline: libtiff decodes every strip, giflib writes a GIF87a.
bool LibraryConvert(const std::string& tiff_path, const std::string& gif_path) {
  TIFF* tif = TIFFOpen(tiff_path.c_str(), "r");
  if (!tif) return false;
  uint32_t width = 0, height = 0;
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue);
  std::vector<uint8_t> pixels(size_t(width) * height);
  const tmsize_t strip_size = TIFFStripSize(tif);
  bool ok = red && green && blue;
  for (tstrip_t s = 0; ok && s < TIFFNumberOfStrips(tif); ++s) {
    ok = TIFFReadEncodedStrip(tif, s, pixels.data() + size_t(s) * size_t(strip_size), -1) >= 0;
  }
  GifColorType colours[256];
  for (int i = 0; ok && i < 256; ++i) {
    colours[i] = GifColorType{uint8_t(red[i] >> 8), uint8_t(green[i] >> 8), uint8_t(blue[i] >> 8)};
  }
  TIFFClose(tif);
  if (!ok) return false;

  int error = 0;
  GifFileType* gif = EGifOpenFileName(gif_path.c_str(), false, &error);
  if (!gif) return false;
  EGifSetGifVersion(gif, false);
  ColorMapObject* map = GifMakeMapObject(256, colours);
  ok = EGifPutScreenDesc(gif, int(width), int(height), 8, 0, map) == GIF_OK &&
       EGifPutImageDesc(gif, 0, 0, int(width), int(height), false, nullptr) == GIF_OK;
  for (uint32_t y = 0; ok && y < height; ++y) {
    ok = EGifPutLine(gif, pixels.data() + size_t(y) * width, int(width)) == GIF_OK;
  }
  ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
  GifFreeMapObject(map);
  return ok;
}

template <typename F>
double MillisecondsOf(F run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
  std::string folder = (std::filesystem::temp_directory_path() / "imaging_bench_XXXXXX").string();
  if (!mkdtemp(folder.data())) return 1;
  const std::string tiff_path = folder + "/source.tif";
  const std::string ours_path = folder + "/ours.gif";
  const std::string theirs_path = folder + "/theirs.gif";

  std::vector<uint16_t> map;
  if (!WriteSource(tiff_path, MakePixels(), &map)) {
    std::fprintf(stderr, "imaging_bench: cannot write the source TIFF\n");
    return 1;
  }
  std::vector<double> ours, theirs;
  bool ok = true;
  for (int i = 0; i < rounds && ok; ++i) {
    ours.push_back(MillisecondsOf([&] { ok = imaging::Convert(tiff_path, ours_path) == 0 && ok; }));
    theirs.push_back(MillisecondsOf([&] { ok = LibraryConvert(tiff_path, theirs_path) && ok; }));
  }
  if (!ok) {
    std::fprintf(stderr, "imaging_bench: a conversion failed\n");
    return 1;
  }
  const double our_ms = Median(ours), their_ms = Median(theirs);
  std::printf("image: %dx%d 8-bit palette TIFF, LZW, %d rows per strip, %ju bytes\n", kSide,
              kSide, kRowsPerStrip, uintmax_t(std::filesystem::file_size(tiff_path)));
  std::printf("Convert (TIFF read + GIF write):         %8.2f ms median of %d  GIF %ju bytes\n",
              our_ms, rounds, uintmax_t(std::filesystem::file_size(ours_path)));
  std::printf("baseline (libtiff read + giflib write):  %8.2f ms median of %d  GIF %ju bytes\n",
              their_ms, rounds, uintmax_t(std::filesystem::file_size(theirs_path)));
  std::printf("ratio Convert / baseline: %.2f\n", our_ms / their_ms);
  std::filesystem::remove_all(folder);
  return 0;
}
