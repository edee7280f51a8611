// favload's dialogue and its writes: the console texts, the bookmarks filed
// as "Web Element Replica" documents of the page-replica database.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "favload/bookmark_sources.h"
#include "ledra/vx_types.h"

namespace favload {

inline constexpr char kVersion[] = "1.00";
inline constexpr char kPreferredBrowserKey[] = "Software\\Pellam\\Corvane\\Proxy Information";
inline constexpr char kPreferredBrowserValue[] = "Preferred Browser";
inline constexpr char kFavoritesKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr char kFavoritesValue[] = "Favorites";
inline constexpr char kBookmarkListKey[] = "Software\\Netscape\\Netscape Navigator\\Bookmark List";
inline constexpr char kBookmarkListValue[] = "File Location";

// Writes the bookmarks one document each; the database stays open for the
// run and its writes are committed in batches.
class Importer {
 public:
  explicit Importer(std::FILE* out) : out_(out) {}
  ~Importer() { Close(); }
  // Files one bookmark (or skips it, saying so); true when it was imported.
  bool Import(const Bookmark& bookmark);
  // Commits what is written and closes the database.
  void Close();

 private:
  bool Open();
  std::FILE* out_;
  VXHandle database_ = 0;
  bool batch_ = false;
  bool form_found_ = false;
  int in_batch_ = 0;
};

// Whether a URL is filed: an http:// page that is not one of the system's
// own URLs.
bool Importable(const std::string& url);

// The whole dialogue, reading answers from `in`; the exit code.
int RunFavload(std::FILE* in, std::FILE* out);

}  // namespace favload
