// The format table, the extension lookup and the error texts.
#include "imaging/bitmap_format.h"

#include <cctype>

#include "imaging/gif_writer.h"

namespace imaging {

namespace {

int TiffHeader(BitmapRead& read, std::string_view options) {
  int rc = TiffReadHeader(read.file, options, &read.tiff);
  if (rc == kBitmapOk) read.info = read.tiff.info;
  return rc;
}
int TiffPalette(BitmapRead& read, Palette* palette) {
  return TiffReadPalette(read.file, read.tiff, palette);
}
int TiffData(BitmapRead& read, std::span<uint8_t> data) {
  return TiffReadData(read.file, read.tiff, data);
}
int TiffWrite(ByteSink&, const BitmapInfo&, const Palette&, std::span<const uint8_t>,
              std::string_view) {
  return kErrNotSupported;
}

int GifHeader(BitmapRead&, std::string_view) { return kErrNotSupported; }
int GifPalette(BitmapRead&, Palette*) { return kErrNotSupported; }
int GifData(BitmapRead&, std::span<uint8_t>) { return kErrNotSupported; }

constexpr BitmapFormat kFormats[] = {
    {"TIFF", "TIF TIFF", "Tagged Image File Format support (almost TIFF 6.0 Baseline)",
     kFormatRead1 | kFormatRead4 | kFormatRead8 | kFormatRead24, TiffHeader, TiffPalette,
     TiffData, TiffWrite},
    {"GIF", "GIF", "CompuServe Graphics Interchange Format",
     kFormatWrite1 | kFormatWrite4 | kFormatWrite8, GifHeader, GifPalette, GifData, GifWrite},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool ListsExtension(std::string_view extensions, std::string_view extension) {
  size_t i = 0;
  while (i < extensions.size()) {
    size_t end = extensions.find_first_of(" \t,", i);
    if (end == std::string_view::npos) end = extensions.size();
    if (end > i && EqualNoCase(extensions.substr(i, end - i), extension)) return true;
    i = end + 1;
  }
  return false;
}

}  // namespace

std::span<const BitmapFormat> BitmapFormats() { return kFormats; }

int FormatForFile(std::string_view file_name, int* format) {
  const size_t slash = file_name.find_last_of('/');
  const std::string_view base =
      slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot == std::string_view::npos) return kErrNotFound;
  const std::string_view extension = base.substr(dot + 1);
  if (extension.empty()) return kErrNotFound;
  for (size_t i = 0; i < std::size(kFormats); ++i) {
    if (ListsExtension(kFormats[i].extensions, extension)) {
      *format = int(i);
      return kBitmapOk;
    }
  }
  return kErrNotFound;
}

bool FormatWrites(const BitmapFormat& format, int bits_per_pixel) {
  switch (bits_per_pixel) {
    case 1:
      return format.flags & kFormatWrite1;
    case 4:
      return format.flags & kFormatWrite4;
    case 8:
      return format.flags & kFormatWrite8;
    case 24:
      return format.flags & kFormatWrite24;
    default:
      return false;
  }
}

const char* ErrorText(int error) {
  if (const char* text = GeneralErrorText(error)) return text;
  if (const char* text = TiffErrorText(error)) return text;
  return "unknown error";
}

}  // namespace imaging
