// The steps a response body passes through on its way to the browser, each
// fed piece by piece as the pieces arrive:
//   ChunkedDecoder    undoes the chunked transfer coding and tells where the
//                     body ends (also used only to find the end)
//   Inflater          undoes gzip or deflate content coding
//   FragmentInjector  holds back the end of an HTML page so that the
//                     dashboard fragment can go before its closing tag
#pragma once

#include <zlib.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace proxy {

class ChunkedDecoder {
 public:
  // Decodes `in`, appending the data to *out (may be null: only the end is
  // looked for). Returns the bytes of `in` used: all of them, unless the
  // body ended inside `in`. False in *ok (may stay true) on a malformed
  // chunk size line.
  size_t Add(std::string_view in, std::string* out, bool* ok);
  // The last chunk and the trailers have been read.
  bool Done() const { return state_ == State::kDone; }

 private:
  enum class State { kSize, kSizeRest, kData, kDataEnd, kTrailer, kDone };
  State state_ = State::kSize;
  unsigned long long remaining_ = 0;
  int size_digits_ = 0;
  bool trailer_line_empty_ = true;
};

class Inflater {
 public:
  // `coding`: "gzip", "x-gzip" or "deflate" (zlib-wrapped or raw).
  explicit Inflater(std::string_view coding);
  ~Inflater();
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Appends the decoded bytes of `in` to *out; false on damaged data.
  [[nodiscard]] bool Add(std::string_view in, std::string* out);
  // Whether a coding is one the Inflater reads.
  static bool Knows(std::string_view coding);

 private:
  bool Start(bool raw);
  z_stream stream_{};
  bool started_ = false;
  bool deflate_ = false;
  bool first_ = true;
  bool ended_ = false;
  bool members_done_ = false;  // a whole member was read
};

// The tag before which the fragment goes: "<", "/", the four letters in any
// case, ">".
inline constexpr char kClosingTag[] = "</html>";
// The end of the page that is held back until the body ends.
inline constexpr size_t kHeldBack = 8192;

class FragmentInjector {
 public:
  explicit FragmentInjector(std::string fragment) : fragment_(std::move(fragment)) {}
  // Appends to *out what can go to the browser now; the last kHeldBack
  // bytes stay behind.
  void Add(std::string_view data, std::string* out);
  // The body has ended: appends the held bytes with the fragment before the
  // last closing tag among them, or after them when there is none.
  void Finish(std::string* out);
  // The body was cut short (a silent server, damaged data): appends the held
  // bytes without the fragment.
  void Release(std::string* out);

 private:
  std::string fragment_;
  std::string held_;
};

}  // namespace proxy
