// Decides when the bytes received on a connection make a whole request. A
// request is complete at the end of its headers, unless it carries a
// Content-length, in which case it is complete when that many bytes follow
// the headers. The body is counted in bytes, so a binary body completes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace engine {

class RequestAssembler {
 public:
  explicit RequestAssembler(size_t size_cap) : size_cap_(size_cap) {}

  // Adds a received piece; returns Complete().
  bool Add(std::string_view piece);
  bool Complete() const { return complete_; }
  // The end of the headers has arrived.
  bool HeadersEnded() const { return header_length_ != 0; }
  // More than the cap arrived, or the Content-length announces more.
  bool TooLarge() const { return too_large_; }
  const std::string& Text() const { return text_; }
  std::string TakeText() { return std::move(text_); }
  // Bytes looked at while searching for the end of the headers; stays
  // within a few bytes per piece of the text's length.
  size_t BytesExamined() const { return bytes_examined_; }

 private:
  void Examine();

  size_t size_cap_;
  std::string text_;
  size_t header_length_ = 0;  // 0 until the end of the headers is seen
  size_t searched_ = 0;       // text searched for the end of the headers
  size_t bytes_examined_ = 0;
  long long content_length_ = -1;
  bool complete_ = false;
  bool too_large_ = false;
};

}  // namespace engine
