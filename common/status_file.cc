// The status line file.
#include "common/status_file.h"

#include <cstdio>

namespace common {

bool WriteStatusLine(std::string_view text, const std::string& folder) {
  std::string line(text);
  for (char& c : line)
    if (c == '\n') c = ' ';
  std::string path = folder.empty() ? kStatusFile : folder + "/" + kStatusFile;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  written = std::fflush(file) == 0 && written;
  return std::fclose(file) == 0 && written;
}

}  // namespace common
