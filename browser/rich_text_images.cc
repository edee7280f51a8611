// Images of rich text.
#include "browser/rich_text_images.h"

#include <filesystem>
#include <mutex>
#include <unordered_map>

#include "common/html_escape.h"
#include "common/text.h"
#include "engine/reply_file.h"
#include "imaging/convert.h"
#include "ledra/richtext/image.h"
#include "ledra/richtext/raw_records.h"
#include "ledra/richtext/status.h"
#include "ledra/richtext/vx_composite.h"

namespace browser {

namespace {

namespace fs = std::filesystem;
using ledra::richtext::ByteSpan;

constexpr char kImageFormat[] = "<IMG SRC=\"FILE://%s\"";
constexpr char kImageSizeFormat[] = " width=%u height=%u";
constexpr char kImageEndAttachment[] = " border=1>\n";
constexpr char kImageEnd[] = " border=0>\n";
constexpr size_t kMaxKeptImages = 4096;

// The GIFs made so far, by image key text: the stream file (it reserves
// the name) and the GIF beside it.
struct KeptImage {
  std::string stream;
  std::string gif;
};
std::mutex kept_lock;
std::unordered_map<std::string, KeptImage>& Kept() {  // guarded by kept_lock
  static std::unordered_map<std::string, KeptImage> kept;
  return kept;
}
uint64_t conversions = 0;  // guarded by kept_lock

bool Touch(const std::string& path) {
  std::error_code ec;
  fs::last_write_time(path, fs::file_time_type::clock::now(), ec);
  return !ec;
}

bool Reuse(const std::string& key, std::string* gif) {
  std::lock_guard<std::mutex> guard(kept_lock);
  auto found = Kept().find(key);
  if (found == Kept().end()) return false;
  // Both files must still be there, and stay: the sweep goes by age.
  if (!Touch(found->second.stream) || !Touch(found->second.gif)) {
    Kept().erase(found);
    return false;
  }
  *gif = found->second.gif;
  return true;
}

void Keep(const std::string& key, const std::string& stream, const std::string& gif) {
  std::lock_guard<std::mutex> guard(kept_lock);
  if (Kept().size() >= kMaxKeptImages) Kept().clear();
  Kept()[key] = KeptImage{stream, gif};
}

void Remove(const std::string& path) {
  std::error_code ec;
  fs::remove(path, ec);
}

}  // namespace

std::string ImageKey::Text() const {
  return common::Format("%s|%u|%lld|%s|%u", database.c_str(), noteId,
                        static_cast<long long>(sequence), item.c_str(), record);
}

ImageCollector::~ImageCollector() {
  Abandon();
}

uint64_t ImageCollector::Conversions() {
  std::lock_guard<std::mutex> guard(kept_lock);
  return conversions;
}

void ImageCollector::Abandon() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  collecting_ = false;
}

void ImageCollector::Begin(const ImageKey& key, ByteSpan header) {
  Abandon();
  collecting_ = true;
  cached_ = false;
  failed_ = false;
  key_ = key;
  width_ = height_ = 0;
  ledra::richtext::ImageHeader fields;
  if (ledra::richtext::ReadImageHeader(header, &fields) == ledra::richtext::kRtOk) {
    width_ = fields.width_twips / ledra::richtext::kTwipsPerPixel;
    height_ = fields.height_twips / ledra::richtext::kTwipsPerPixel;
  }
  if (!key_.database.empty() && Reuse(key_.Text(), &gif_path_)) {
    cached_ = true;
    return;
  }
  std::optional<std::string> name = engine::NewReplyFileName("", kImageNamePrefix);
  if (!name) {
    failed_ = true;
    return;
  }
  stream_path_ = *name;
  gif_path_ = stream_path_ + ".GIF";
  stream_ = std::fopen(stream_path_.c_str(), "wb");
  if (stream_ == nullptr) {
    failed_ = true;
    return;
  }
  Append(header);  // the stream's start mark, then the header record
}

void ImageCollector::Append(ByteSpan record) {
  if (!collecting_ || cached_ || failed_ || stream_ == nullptr) return;
  ledra::richtext::Bytes bytes;
  if (std::ftell(stream_) == 0)
    bytes.assign(std::begin(ledra::richtext::kImageStreamStart),
                 std::end(ledra::richtext::kImageStreamStart));
  ledra::richtext::AppendImageStreamRecord(record, &bytes);
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
    // A write error abandons the image.
    std::fclose(stream_);
    stream_ = nullptr;
    failed_ = true;
  }
}

void ImageCollector::Finish(bool in_attachment, std::string* out) {
  if (!collecting_) return;
  collecting_ = false;
  bool readable = cached_;
  if (!cached_ && !failed_ && stream_ != nullptr) {
    bool written = std::fclose(stream_) == 0;
    stream_ = nullptr;
    const ledra::richtext::ImageAddin* addin = LCLoadImageAddin();
    std::string tiff_path = stream_path_ + ".TIF";
    if (written && addin != nullptr && addin->convert != nullptr &&
        addin->convert(stream_path_.c_str(), ledra::richtext::kImageFormatTiff, 0, "",
                       tiff_path.c_str()) == 0) {
      (void)imaging::Convert(tiff_path, gif_path_);
      {
        std::lock_guard<std::mutex> guard(kept_lock);
        ++conversions;
      }
      readable = true;
      if (!key_.database.empty() && fs::exists(gif_path_))
        Keep(key_.Text(), stream_path_, gif_path_);
    }
    Remove(tiff_path);
    // The stream's name stays taken while the GIF beside it is in use; its
    // bytes are no longer needed.
    if (std::FILE* empty = std::fopen(stream_path_.c_str(), "wb")) std::fclose(empty);
  }
  Abandon();
  if (!readable) {
    out->append(kImageUnreadable);
    return;
  }
  out->append(common::Format(kImageFormat, common::HtmlEscape(gif_path_).c_str()));
  if (width_ != 0 && height_ != 0) out->append(common::Format(kImageSizeFormat, width_, height_));
  out->append(in_attachment ? kImageEndAttachment : kImageEnd);
}

}  // namespace browser
