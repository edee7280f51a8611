// Chunked and compressed bodies, and the place of the dashboard fragment.
#include "proxy/body_codec.h"

#include "common/text.h"

namespace proxy {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && common::StartsWithNoCase(a, b);
}

}  // namespace

size_t ChunkedDecoder::Add(std::string_view in, std::string* out, bool* ok) {
  size_t at = 0;
  // The end of a chunk size line: the last chunk leads to the trailers.
  auto size_line_ends = [&]() -> bool {
    if (size_digits_ == 0) return false;
    state_ = remaining_ == 0 ? State::kTrailer : State::kData;
    trailer_line_empty_ = true;
    return true;
  };
  while (at < in.size() && state_ != State::kDone) {
    char c = in[at];
    switch (state_) {
      case State::kSize: {
        int value = HexValue(c);
        if (value >= 0) {
          if (remaining_ > (1ULL << 56)) {
            *ok = false;
            return in.size();
          }
          remaining_ = remaining_ * 16 + static_cast<unsigned>(value);
          ++size_digits_;
        } else if (c == ';' || c == ' ' || c == '\t' || c == '\r') {
          state_ = State::kSizeRest;
        } else if (c == '\n') {
          if (!size_line_ends()) {
            *ok = false;
            return in.size();
          }
        } else {
          *ok = false;
          return in.size();
        }
        ++at;
        break;
      }
      case State::kSizeRest:
        if (c == '\n' && !size_line_ends()) {
          *ok = false;
          return in.size();
        }
        ++at;
        break;
      case State::kData: {
        size_t take = std::min<unsigned long long>(remaining_, in.size() - at);
        if (out != nullptr) out->append(in.substr(at, take));
        remaining_ -= take;
        at += take;
        if (remaining_ == 0) state_ = State::kDataEnd;
        break;
      }
      case State::kDataEnd:
        if (c == '\n') {
          state_ = State::kSize;
          size_digits_ = 0;
        } else if (c != '\r') {
          *ok = false;
          return in.size();
        }
        ++at;
        break;
      case State::kTrailer:
        if (c == '\n') {
          if (trailer_line_empty_) state_ = State::kDone;
          trailer_line_empty_ = true;
        } else if (c != '\r') {
          trailer_line_empty_ = false;
        }
        ++at;
        break;
      case State::kDone:
        break;
    }
  }
  return at;
}

Inflater::Inflater(std::string_view coding) {
  deflate_ = SameNoCase(coding, "deflate");
}

Inflater::~Inflater() {
  if (started_) inflateEnd(&stream_);
}

bool Inflater::Knows(std::string_view coding) {
  return SameNoCase(coding, "gzip") || SameNoCase(coding, "x-gzip") ||
         SameNoCase(coding, "deflate");
}

bool Inflater::Start(bool raw) {
  stream_ = z_stream{};
  // 15 + 32: a zlib or gzip header, found by looking; -15: no header.
  started_ = inflateInit2(&stream_, raw ? -15 : 15 + 32) == Z_OK;
  return started_;
}

bool Inflater::Add(std::string_view in, std::string* out) {
  if (in.empty() || ended_) return true;
  if (first_) {
    first_ = false;
    // "deflate" is sent both with and without the zlib wrapper; the wrapper's
    // first byte names method 8 with a window of at most 32 KB.
    unsigned char b = static_cast<unsigned char>(in[0]);
    bool wrapped = (b & 0x0F) == 8 && (b >> 4) <= 7;
    if (!Start(deflate_ && !wrapped)) return false;
  }
  stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream_.avail_in = static_cast<uInt>(in.size());
  unsigned char piece[32768];
  for (;;) {
    stream_.next_out = piece;
    stream_.avail_out = sizeof piece;
    int status = inflate(&stream_, Z_NO_FLUSH);
    out->append(reinterpret_cast<char*>(piece), sizeof piece - stream_.avail_out);
    if (status == Z_STREAM_END) {
      // Anything after a zlib stream is not part of the body; gzip allows
      // several members one after another.
      members_done_ = true;
      if (deflate_) {
        ended_ = true;
        return true;
      }
      if (inflateReset(&stream_) != Z_OK) return false;
      if (stream_.avail_in == 0) return true;
      continue;
    }
    if (status == Z_OK) {
      if (stream_.avail_in == 0 && stream_.avail_out != 0) return true;
      continue;
    }
    if (status == Z_BUF_ERROR) return true;  // waits for more input
    // Padding after a whole gzip member is not damage.
    if (members_done_) {
      ended_ = true;
      return true;
    }
    return false;
  }
}

void FragmentInjector::Add(std::string_view data, std::string* out) {
  held_.append(data);
  if (held_.size() <= kHeldBack) return;
  size_t ready = held_.size() - kHeldBack;
  out->append(held_, 0, ready);
  held_.erase(0, ready);
}

void FragmentInjector::Finish(std::string* out) {
  size_t tag = common::FindText('>', held_, kClosingTag);
  if (tag == common::kNotFound) {
    out->append(held_);
    out->append(fragment_);
  } else {
    out->append(held_, 0, tag);
    out->append(fragment_);
    out->append(held_, tag, std::string::npos);
  }
  held_.clear();
}

void FragmentInjector::Release(std::string* out) {
  out->append(held_);
  held_.clear();
}

}  // namespace proxy
