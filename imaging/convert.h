// Converts an image file into another format, chosen by the files'
// extensions; the system turns TIFF files into GIF files with it.
#pragma once

#include <string>

namespace imaging {

// Reads `source_path` (its first image) and writes `destination_path`.
// Returns 0 on success and 1 on failure; on failure *error (when given)
// receives the error number (ErrorText in bitmap_format.h gives its text),
// and a destination whose writing failed has been deleted.
[[nodiscard]] int Convert(const std::string& source_path, const std::string& destination_path,
                          int* error = nullptr);

}  // namespace imaging
