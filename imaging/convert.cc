// Convert: read the source's header, palette and data through its format's
// readers, then write the destination with its format's writer.
#include "imaging/convert.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <new>
#include <vector>

#include "imaging/bitmap_format.h"

namespace imaging {

namespace {

// The source file, mapped read-only for the time of the read.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() {
    if (address_ != MAP_FAILED) munmap(address_, size_);
  }

  bool Open(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_size > 0) {
      size_ = size_t(st.st_size);
      address_ = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
      ok = address_ != MAP_FAILED;
    }
    close(fd);
    return ok;
  }

  std::span<const uint8_t> bytes() const {
    if (address_ == MAP_FAILED) return {};
    return {static_cast<const uint8_t*>(address_), size_};
  }

 private:
  void* address_ = MAP_FAILED;
  size_t size_ = 0;
};

int ReadSource(const BitmapFormat& source_format, const BitmapFormat& destination_format,
               const std::string& source_path, BitmapInfo* info, Palette* palette,
               std::vector<uint8_t>* data) {
  MappedFile file;
  if (!file.Open(source_path)) return kErrRead;
  BitmapRead read;
  read.file = file.bytes();
  if (int rc = source_format.read_header(read, ""); rc != kBitmapOk) return rc;
  if (!FormatWrites(destination_format, read.info.bits_per_pixel)) return kErrNotSupported;
  if (int rc = source_format.read_palette(read, palette); rc != kBitmapOk) return rc;
  try {
    data->assign(BitmapStride(read.info) * size_t(read.info.height), 0);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  if (int rc = source_format.read_data(read, *data); rc != kBitmapOk) return rc;
  *info = read.info;
  return kBitmapOk;
}

int WriteDestination(const BitmapFormat& format, const std::string& path, const BitmapInfo& info,
                     const Palette& palette, const std::vector<uint8_t>& data) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return kErrWrite;
  ByteSink sink(file);
  int rc = format.write(sink, info, palette, data, "");
  // Data still buffered can fail to reach the disk only here.
  if (std::fclose(file) != 0 && rc == kBitmapOk) rc = kErrWrite;
  if (rc != kBitmapOk) std::remove(path.c_str());
  return rc;
}

int ConvertFiles(const std::string& source_path, const std::string& destination_path) {
  int source = 0, destination = 0;
  if (int rc = FormatForFile(source_path, &source); rc != kBitmapOk) return rc;
  if (int rc = FormatForFile(destination_path, &destination); rc != kBitmapOk) return rc;
  const std::span<const BitmapFormat> formats = BitmapFormats();

  BitmapInfo info;
  Palette palette{};
  std::vector<uint8_t> data;
  if (int rc = ReadSource(formats[size_t(source)], formats[size_t(destination)], source_path,
                          &info, &palette, &data);
      rc != kBitmapOk) {
    return rc;
  }
  return WriteDestination(formats[size_t(destination)], destination_path, info, palette, data);
}

}  // namespace

int Convert(const std::string& source_path, const std::string& destination_path, int* error) {
  const int rc = ConvertFiles(source_path, destination_path);
  if (error) *error = rc;
  return rc == kBitmapOk ? 0 : 1;
}

}  // namespace imaging
