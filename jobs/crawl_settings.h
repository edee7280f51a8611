// The settings of a favourite crawl, read from its Schedule document, and
// the content-type filter ("Fidelity") they name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ledra/vx_types.h"

namespace jobs {

struct CrawlSettings {
  std::string starting_url;
  char offline_form_method = 0;  // 'P' a stored POST, 'G' a stored GET result
  long cutoff_size = 0;          // bytes; 0 no limit
  long max_db_size = 900;        // megabytes (0 in the document means 900)
  long max_run_time = 0;         // minutes; 0 no limit
  char digging_mode = 0;         // 'D': one pass at the full depth
  int cutoff_levels = 0;         // 0 to 200
  std::string user_name, password;
  std::string when;
  std::string fidelity_text;
  char fidelity = 0;  // the first letter of Fidelity
  std::string search_text;
  std::string bounding_urls;
  std::string preprocessor;
  char compact = 0, auto_fulltext = 0, quiet = 0, show_dialog = 0;
  std::string override_text;  // read only when ShowDialog is 'Y'
  std::string preprocessor_r, postprocessor_t, postprocessor_f, postprocessor_r;
  bool compression = false;  // "On"
  std::string repository;
  uint32_t encryption = 0;  // 0x1000000 to 0x3000000, or 0
  std::string title;
};

// Reads every setting from the open Schedule document.
void ReadCrawlSettings(VXHandle schedule, CrawlSettings* settings);

// The page-replica database a "Repository" text ("title{server;path}")
// names; the default database when server or path is missing. A path
// written with ';' or '\' separators names the same folders.
void ParseRepository(const std::string& repository, std::string* title, std::string* server,
                     std::string* path);

// The encryption level that an "Encryption" text names: "simple" or '2'
// 0x1000000, "medium" or '3' 0x2000000, "strong" or '4' 0x3000000, else 0.
uint32_t EncryptionLevel(std::string_view text);

// Whether an element of content type `type` may be stored under the
// Fidelity letter: 'H' every type, 'N' all but Java classes, 'M' images and
// text, 'L' text, 'S' and any other letter none.
bool FidelityPasses(char letter, std::string_view type);

// Whether a URL names an image that Fidelity 'S' and 'L' never request
// (ending ".gif" or ".jpg", letter case ignored).
bool SkippedImageUrl(char letter, std::string_view url);

}  // namespace jobs
