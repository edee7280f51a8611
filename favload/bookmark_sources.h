// Where favload finds bookmarks: a folder of ".url" files, a bookmark file
// in the HTML export format that browsers write, a Chromium "Bookmarks"
// JSON file, and a Firefox places.sqlite. Each reader gives the bookmarks in
// file order with the category path of their folders below `base`
// (names joined by '\'). No platform calls here.
#pragma once

#include <string>
#include <vector>

namespace favload {

struct Bookmark {
  std::string title;
  std::string url;
  std::string category;
};

enum class SourceKind { kHtml, kChromiumJson, kPlaces, kUnknown };

// The kind of a bookmark file by its first bytes.
SourceKind SniffSource(const std::string& path);

// Decodes the character references of the HTML export: &amp; &lt; &gt;
// &quot; &#39; &apos; &nbsp; and numeric ones (decimal and hex, to UTF-8).
std::string DecodeEntities(const std::string& text);

// Reads a bookmark HTML file. False with *error set when the file cannot be
// read or is not a bookmark file; the bookmarks of a truncated file up to
// where it ends are given.
bool ReadHtmlBookmarks(const std::string& path, const std::string& base,
                       std::vector<Bookmark>* bookmarks, std::string* error);
// The same over text already read (tests, fuzzing).
bool ParseHtmlBookmarks(const std::string& text, const std::string& base,
                        std::vector<Bookmark>* bookmarks, std::string* error);

bool ReadChromiumBookmarks(const std::string& path, const std::string& base,
                           std::vector<Bookmark>* bookmarks, std::string* error);

// Reads a copy of the file (the browser keeps it locked while it runs).
bool ReadPlacesBookmarks(const std::string& path, const std::string& base,
                         std::vector<Bookmark>* bookmarks, std::string* error);

// Walks a folder of ".url" files and subfolders, in name order.
bool ReadUrlFolder(const std::string& folder, const std::string& base,
                   std::vector<Bookmark>* bookmarks, std::string* error);

}  // namespace favload
