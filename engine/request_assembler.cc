// Completion rule of the intake.
#include "engine/request_assembler.h"

#include "common/text.h"

namespace engine {

bool RequestAssembler::Add(std::string_view piece) {
  if (complete_ || too_large_) return complete_;
  text_.append(piece);
  if (text_.size() > size_cap_) {
    too_large_ = true;
    return false;
  }
  Examine();
  return complete_;
}

void RequestAssembler::Examine() {
  if (header_length_ == 0) {
    // The headers end at the first empty line; bare line feeds count too.
    // Bytes searched before held neither ending, so only the new bytes and
    // the three before them can complete one: the search stays linear
    // however the request is cut into pieces.
    size_t from = searched_ > 3 ? searched_ - 3 : 0;
    size_t crlf = text_.find("\r\n\r\n", from);
    size_t lf = text_.find("\n\n", from);
    bytes_examined_ += text_.size() - from;
    searched_ = text_.size();
    if (crlf == std::string::npos && lf == std::string::npos) return;
    header_length_ =
        (crlf != std::string::npos && (lf == std::string::npos || crlf < lf)) ? crlf + 4 : lf + 2;
    // "Content-length: " with its blank, in the headers only: a body may
    // hold the same words.
    std::string_view headers(text_.data(), header_length_);
    size_t at = common::FindText('<', headers, "Content-length: ");
    if (at != common::kNotFound) {
      long long length = 0;
      bool digits = false;
      for (size_t i = at + 16; i < headers.size() && headers[i] >= '0' && headers[i] <= '9'; ++i) {
        digits = true;
        length = length * 10 + (headers[i] - '0');
        if (length > static_cast<long long>(size_cap_)) {
          too_large_ = true;
          return;
        }
      }
      if (digits) content_length_ = length;
    }
  }
  if (content_length_ <= 0 ||
      static_cast<long long>(text_.size() - header_length_) >= content_length_) {
    complete_ = true;
  }
}

}  // namespace engine
