// The bookmark HTML export: one entry a line, folders as <H3> headings
// whose entries follow in a <DL> list closed by </DL>.
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "favload/bookmark_sources.h"

namespace favload {

namespace {

size_t FindNoCase(const std::string& text, const char* what, size_t from = 0) {
  size_t n = std::char_traits<char>::length(what);
  for (size_t i = from; i + n <= text.size(); ++i) {
    size_t k = 0;
    while (k < n && std::toupper(static_cast<unsigned char>(text[i + k])) ==
                        std::toupper(static_cast<unsigned char>(what[k])))
      ++k;
    if (k == n) return i;
  }
  return std::string::npos;
}

void AppendUtf8(unsigned long c, std::string* out) {
  if (c == 0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | (c >> 6));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | (c >> 12));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (c >> 18));
    *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string Join(const std::vector<std::string>& folders) {
  std::string path;
  for (const std::string& f : folders) path += (path.empty() ? "" : "\\") + f;
  return path;
}

}  // namespace

std::string DecodeEntities(const std::string& text) {
  static const struct {
    const char* name;
    const char* text;
  } kNamed[] = {{"amp", "&"},  {"lt", "<"},    {"gt", ">"},         {"quot", "\""},
                {"apos", "'"}, {"nbsp", "\xC2\xA0"}};
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    size_t semi = text.find(';', i + 1);
    if (semi == std::string::npos || semi - i > 12) {
      out += '&';
      continue;
    }
    std::string name = text.substr(i + 1, semi - i - 1);
    bool done = false;
    if (name.size() > 1 && name[0] == '#') {
      bool hex = name[1] == 'x' || name[1] == 'X';
      std::string digits = name.substr(hex ? 2 : 1);
      if (!digits.empty() &&
          digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") ==
              std::string::npos) {
        AppendUtf8(std::stoul(digits.substr(0, 8), nullptr, hex ? 16 : 10), &out);
        done = true;
      }
    } else {
      for (const auto& n : kNamed)
        if (name == n.name) out += n.text, done = true;
    }
    if (done) {
      i = semi;
    } else {
      out += '&';
    }
  }
  return out;
}

bool ParseHtmlBookmarks(const std::string& text, const std::string& base,
                        std::vector<Bookmark>* bookmarks, std::string* error) {
  if (text.find('\0') != std::string::npos ||
      (FindNoCase(text, "<!DOCTYPE NETSCAPE-Bookmark-file") == std::string::npos &&
       FindNoCase(text, "<DL>") == std::string::npos)) {
    *error = "is not a bookmark file";
    return false;
  }
  // The folders open above the current line. A stack, not a cut of the path
  // text at the folder's name: that name may occur earlier in the path.
  std::vector<std::string> folders;
  if (!base.empty()) folders.push_back(base);
  size_t depth = 0;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (depth > 0 && FindNoCase(line, "</DL>") != std::string::npos) {
      --depth;
      folders.pop_back();
    }
    size_t dt = FindNoCase(line, "<DT>");
    if (dt == std::string::npos) continue;
    size_t after = line.find_first_not_of(" \t", dt + 4);
    if (after == std::string::npos) continue;
    if (FindNoCase(line, "<A HREF", after) != after) {
      size_t h3 = FindNoCase(line, "<H3", after);
      if (h3 == std::string::npos) continue;
      size_t open = line.find('>', h3);
      if (open == std::string::npos) continue;
      size_t close = line.find('<', open + 1);
      if (close == std::string::npos) continue;
      folders.push_back(DecodeEntities(line.substr(open + 1, close - open - 1)));
      ++depth;
      continue;
    }
    size_t q1 = line.find('"', after);
    size_t q2 = q1 == std::string::npos ? q1 : line.find('"', q1 + 1);
    size_t gt = q2 == std::string::npos ? q2 : line.find('>', q2 + 1);
    size_t end = gt == std::string::npos ? gt : FindNoCase(line, "</A>", gt + 1);
    if (end == std::string::npos) continue;
    Bookmark b;
    b.url = DecodeEntities(line.substr(q1 + 1, q2 - q1 - 1));
    b.title = DecodeEntities(line.substr(gt + 1, end - gt - 1));
    b.category = Join(folders);
    bookmarks->push_back(std::move(b));
  }
  return true;
}

bool ReadHtmlBookmarks(const std::string& path, const std::string& base,
                       std::vector<Bookmark>* bookmarks, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot be opened";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) {
    *error = "cannot be read";
    return false;
  }
  return ParseHtmlBookmarks(text.str(), base, bookmarks, error);
}

}  // namespace favload
