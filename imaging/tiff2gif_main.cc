// tiff2gif IN OUT: converts a TIFF file into a GIF file. Exits 0 on success;
// on failure prints the reason and exits 1.
#include <cstdio>

#include "imaging/bitmap_format.h"
#include "imaging/convert.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: tiff2gif IN OUT\n");
    return 1;
  }
  int error = 0;
  const int rc = imaging::Convert(argv[1], argv[2], &error);
  if (rc != 0) std::fprintf(stderr, "tiff2gif: %s\n", imaging::ErrorText(error));
  return rc;
}
