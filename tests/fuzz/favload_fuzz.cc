// Fuzz target: favload's reader of bookmark HTML exports and its entity
// decoding. Every bookmark found must have been taken from the input's
// lines, and the folder stack must never go below the base category.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "favload/bookmark_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<favload::Bookmark> bookmarks;
  std::string error;
  if (favload::ParseHtmlBookmarks(text, "Base", &bookmarks, &error)) {
    for (const favload::Bookmark& b : bookmarks)
      if (b.category.rfind("Base", 0) != 0) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();
  }
  std::string decoded = favload::DecodeEntities(text);
  // Every reference is at least as long as the bytes it stands for.
  if (decoded.size() > text.size()) __builtin_trap();
  return 0;
}
