// Images of rich text on their way to the browser: the image records are
// written into a stream file in wtemp (prefix "CD"), the image add-in turns
// the stream into a TIFF file, and the TIFF becomes the GIF the page links
// to. The GIF of one image of one saved version of a note is made once: a
// later page of the same version links to the same file (its time touched
// so that the wtemp sweep keeps it).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "ledra/richtext/byte_io.h"

namespace browser {

inline constexpr char kImageNamePrefix[] = "CD";
// Written where an image cannot be read.
inline constexpr char kImageUnreadable[] = "<FONT COLOR=#ff0000>[image could not be read]</FONT>\n";

// Where an image stands: the database file, the note and its modification
// sequence, the item and the number of the image's header record. An
// empty database marks an image of an unsaved note, which is not kept.
struct ImageKey {
  std::string database;
  uint32_t noteId = 0;
  int64_t sequence = 0;
  std::string item;
  uint32_t record = 0;
  std::string Text() const;
};

class ImageCollector {
 public:
  ImageCollector() = default;
  ~ImageCollector();
  ImageCollector(const ImageCollector&) = delete;
  ImageCollector& operator=(const ImageCollector&) = delete;

  bool Collecting() const { return collecting_; }
  // Starts an image at its header record (the whole native record).
  void Begin(const ImageKey& key, ledra::richtext::ByteSpan header);
  // Appends a data segment record.
  void Append(ledra::richtext::ByteSpan record);
  // Ends the image and appends its IMG element (or the unreadable mark).
  void Finish(bool in_attachment, std::string* out);

  // Number of images converted since the process started (benchmarks).
  static uint64_t Conversions();

 private:
  void Abandon();

  bool collecting_ = false;
  bool cached_ = false;
  bool failed_ = false;
  ImageKey key_;
  std::string stream_path_;
  std::string gif_path_;
  std::FILE* stream_ = nullptr;
  uint32_t width_ = 0, height_ = 0;
};

}  // namespace browser
