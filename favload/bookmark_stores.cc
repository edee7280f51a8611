// The browsers' own bookmark stores and the ".url" folder.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "favload/bookmark_sources.h"

namespace favload {

namespace fs = std::filesystem;

namespace {

std::string Below(const std::string& category, const std::string& name) {
  return category.empty() ? name : category + "\\" + name;
}

}  // namespace

SourceKind SniffSource(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  char head[64] = {};
  file.read(head, sizeof head - 1);
  std::string text(head, static_cast<size_t>(file.gcount()));
  if (text.rfind("SQLite format 3", 0) == 0) return SourceKind::kPlaces;
  size_t first = text.find_first_not_of(" \t\r\n\xEF\xBB\xBF");
  if (first != std::string::npos && text[first] == '{') return SourceKind::kChromiumJson;
  if (first != std::string::npos && text[first] == '<') return SourceKind::kHtml;
  return SourceKind::kUnknown;
}

bool ReadChromiumBookmarks(const std::string& path, const std::string& base,
                           std::vector<Bookmark>* bookmarks, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot be opened";
    return false;
  }
  nlohmann::json root;
  try {
    root = nlohmann::json::parse(file);
  } catch (const std::exception& e) {
    *error = std::string("is not a bookmark file (") + e.what() + ")";
    return false;
  }
  if (!root.is_object() || !root.contains("roots") || !root["roots"].is_object()) {
    *error = "is not a bookmark file (no \"roots\")";
    return false;
  }
  std::vector<Bookmark> found;
  std::function<void(const nlohmann::json&, const std::string&, int)> walk =
      [&](const nlohmann::json& node, const std::string& category, int depth) {
        if (!node.is_object() || depth > 200) return;
        std::string type = node.value("type", "");
        std::string name = node.contains("name") && node["name"].is_string()
                               ? node["name"].get<std::string>()
                               : "";
        if (type == "url") {
          if (node.contains("url") && node["url"].is_string())
            found.push_back({name, node["url"].get<std::string>(), category});
          return;
        }
        if (!node.contains("children") || !node["children"].is_array()) return;
        for (const nlohmann::json& child : node["children"])
          walk(child, Below(category, name), depth + 1);
      };
  try {
    for (const char* key : {"bookmark_bar", "other", "synced"})
      if (root["roots"].contains(key)) walk(root["roots"][key], base, 0);
  } catch (const std::exception& e) {
    *error = std::string("is damaged (") + e.what() + ")";
    return false;
  }
  bookmarks->insert(bookmarks->end(), found.begin(), found.end());
  return true;
}

bool ReadPlacesBookmarks(const std::string& path, const std::string& base,
                         std::vector<Bookmark>* bookmarks, std::string* error) {
  // The browser holds the file (and its write-ahead log) while it runs: read
  // a copy of both.
  char pattern[] = "/tmp/favload-places-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    *error = "cannot be copied (no temporary folder)";
    return false;
  }
  std::string folder = pattern;
  std::string copy = folder + "/places.sqlite";
  std::error_code ec;
  fs::copy_file(path, copy, ec);
  if (ec) {
    *error = "cannot be copied: " + ec.message();
    fs::remove_all(folder, ec);
    return false;
  }
  if (fs::exists(path + "-wal")) fs::copy_file(path + "-wal", copy + "-wal", ec);
  sqlite3* db = nullptr;
  bool ok = false;
  // The tree as stored: each folder's entries in their order.
  struct Entry {
    int64_t id;
    int type;
    std::string title, url, guid;
  };
  std::map<int64_t, std::vector<Entry>> children;
  if (sqlite3_open_v2(copy.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(db, 2000);
    sqlite3_stmt* st = nullptr;
    const char* sql =
        "SELECT b.id, b.type, b.parent, COALESCE(b.title, ''), COALESCE(p.url, ''), "
        "COALESCE(b.guid, '') FROM moz_bookmarks b LEFT JOIN moz_places p ON p.id = b.fk "
        "ORDER BY b.parent, b.position, b.id";
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK) {
      int rc;
      while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        auto text = [st](int column) {
          const unsigned char* value = sqlite3_column_text(st, column);
          return value != nullptr ? std::string(reinterpret_cast<const char*>(value)) : "";
        };
        children[sqlite3_column_int64(st, 2)].push_back(
            {sqlite3_column_int64(st, 0), sqlite3_column_int(st, 1), text(3), text(4), text(5)});
      }
      ok = rc == SQLITE_DONE;
    }
    if (!ok) *error = std::string("cannot be read: ") + sqlite3_errmsg(db);
    sqlite3_finalize(st);
  } else {
    *error = std::string("cannot be opened: ") + (db ? sqlite3_errmsg(db) : "out of memory");
  }
  sqlite3_close(db);
  fs::remove_all(folder, ec);
  if (!ok) return false;
  std::function<void(int64_t, const std::string&, int)> walk = [&](int64_t parent,
                                                                   const std::string& category,
                                                                   int depth) {
    auto list = children.find(parent);
    if (list == children.end() || depth > 200) return;
    for (const Entry& e : list->second) {
      if (e.type == 1) {
        bookmarks->push_back({e.title, e.url, category});
      } else if (e.type == 2 && e.guid != "tags________") {
        // Tags hold the same bookmarks again: left out. The root has no name.
        walk(e.id, Below(category, e.title), depth + 1);
      }
    }
  };
  // The root is the folder without a parent; its folders are named below it.
  auto roots = children.find(0);
  if (roots != children.end())
    for (const Entry& root : roots->second) walk(root.id, base, 0);
  return true;
}

bool ReadUrlFolder(const std::string& folder, const std::string& base,
                   std::vector<Bookmark>* bookmarks, std::string* error) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    *error = "is not a folder";
    return false;
  }
  std::function<void(const fs::path&, const std::string&, int)> walk =
      [&](const fs::path& dir, const std::string& category, int depth) {
        if (depth > 64) return;
        std::vector<fs::directory_entry> entries;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
          entries.push_back(*it);
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
        for (const fs::directory_entry& e : entries) {
          std::string name = e.path().filename().string();
          if (name.empty() || name[0] == '.') continue;  // hidden, as the folder walk leaves them
          if (e.is_directory(ec) && !e.is_symlink(ec)) {
            walk(e.path(), Below(category, name), depth + 1);
            continue;
          }
          std::string ext = e.path().extension().string();
          std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
          if (ext != ".url" || !e.is_regular_file(ec)) continue;
          std::ifstream file(e.path(), std::ios::binary);
          std::string line;
          while (std::getline(file, line)) {
            // The line that begins "URL=": shortcuts often carry a
            // "BASEURL=" line before it, which also holds "URL=".
            size_t at = line.find_first_not_of(" \t");
            if (at == std::string::npos || line.size() - at < 4) continue;
            std::string head = line.substr(at, 4);
            for (char& c : head) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (head != "URL=") continue;
            std::string url = line.substr(at + 4);
            while (!url.empty() && (url.back() == '\r' || url.back() == ' ')) url.pop_back();
            bookmarks->push_back({e.path().stem().string(), url, category});
            break;
          }
        }
      };
  walk(folder, base, 0);
  return true;
}

}  // namespace favload
