// Error texts, row strides and option words of the bitmap module.
#include "imaging/bitmap.h"

#include <cctype>

namespace imaging {

namespace {

// The texts are the module's own, kept byte for byte (spelling included).
constexpr const char* kGeneralErrorTexts[] = {
    "ok",
    "out of memory",
    "not supported",
    "bad option(s)",
    "not found",
    "bad magic number / signiture block",
    "bad bitmap size",
    "can't read file",
    "can't write file",
    "general error",
};

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == ','; }

bool StartsWithNoCase(std::string_view word, std::string_view prefix) {
  if (word.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(word[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

const char* GeneralErrorText(int error) {
  if (error < 0 || error > kErrGeneral) return nullptr;
  return kGeneralErrorTexts[error];
}

size_t BitmapStride(const BitmapInfo& info) {
  const uint64_t bits = uint64_t(info.bits_per_pixel) * uint64_t(info.width);
  return size_t((bits + 31) / 32 * 4);
}

std::optional<std::string_view> OptionValue(std::string_view options, std::string_view prefix) {
  size_t i = 0;
  while (i < options.size()) {
    while (i < options.size() && IsSeparator(options[i])) ++i;
    size_t end = i;
    while (end < options.size() && !IsSeparator(options[end])) ++end;
    std::string_view word = options.substr(i, end - i);
    if (!word.empty() && StartsWithNoCase(word, prefix)) return word.substr(prefix.size());
    i = end;
  }
  return std::nullopt;
}

int NumericOption(std::string_view options, std::string_view prefix, long max_value, long* value) {
  std::optional<std::string_view> text = OptionValue(options, prefix);
  if (!text) return kBitmapOk;
  if (text->empty() || text->size() > 10) return kErrBadOption;
  long number = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return kErrBadOption;
    number = number * 10 + (c - '0');
  }
  if (number > max_value) return kErrBadOption;
  *value = number;
  return kBitmapOk;
}

}  // namespace imaging
