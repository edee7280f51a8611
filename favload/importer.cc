// favload's dialogue.
#include "favload/importer.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>

#include "common/page_replica_format.h"
#include "common/text.h"
#include "jobs/documents.h"
#include "ledra/vxapi.h"
#include "os/registry.h"

namespace favload {

namespace {

// Saves are committed together at most this many at a time: a run cut
// short keeps every document committed before, each whole.
constexpr int kBatchSize = 500;

size_t FindNoCase(const std::string& text, const char* what) {
  size_t n = std::char_traits<char>::length(what);
  for (size_t i = 0; i + n <= text.size(); ++i)
    if (common::StartsWithNoCase(std::string_view(text).substr(i), what)) return i;
  return std::string::npos;
}

std::string RegistryText(const char* key_path, const char* name) {
  os::RegistryKey key;
  std::string text;
  if (os::RegistryOpenKey(os::RegistryRoot::kCurrentUser, key_path, &key) != os::RegistryStatus::kOk)
    return "";
  if (os::RegistryReadText(key, name, &text) != os::RegistryStatus::kOk) return "";
  return text.substr(0, 1000);
}

// One character answer; "Y" (any case) is yes. The rest of the line goes.
bool AnswerYes(std::FILE* in) {
  int c = std::fgetc(in);
  int rest = c;
  while (rest != '\n' && rest != EOF) rest = std::fgetc(in);
  return c == 'y' || c == 'Y';
}

std::string ReadLine(std::FILE* in) {
  std::string line;
  int c;
  while ((c = std::fgetc(in)) != EOF && c != '\n') line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

struct Dialogue {
  const char* configured;
  const char* will_import;
  const char* categorize;
  const char* base;
  const char* changed;
  const char* begin;
  const char* none;
  const char* done;
};

constexpr Dialogue kIe = {
    "Pellam Corvane configured for Internet Explorer.\n\n",
    "This program will import your current IE Favorites to\n",
    "\"My Favorites\", and categorize them as \"Imported Favorites\".\n\n",
    "Imported Favorites",
    "\nFavorite import category changed to \"%s\"",
    "\n\nDo you want to begin the IE Favorite import (Y/N)?: ",
    "0 IE Favorites imported\n\n",
    "\n%u IE Favorites successfully imported.\n\n"};

constexpr Dialogue kNetscape = {
    "Pellam Corvane configured for Netscape Navigator.\n\n",
    "This program will import your current Netscape Bookmarks to\n",
    "\"My Favorites\", and categorize them as \"Imported Bookmarks\".\n\n",
    "Imported Bookmarks",
    "\nBookmark import category changed to \"%s\"",
    "\n\nDo you want to begin the Netscape Bookmark import (Y/N)?: ",
    "0 Netscape Bookmarks imported\n\n",
    "\n%u Netscape Bookmarks successfully imported.\n\n"};

// The opening questions; false when the user does not begin.
bool Ask(std::FILE* in, std::FILE* out, const Dialogue& d, std::string* base) {
  std::fputs(d.configured, out);
  std::fputs(d.will_import, out);
  std::fputs(d.categorize, out);
  std::fputs("Would you like to specify a different category name (Y/N)?: ", out);
  std::fflush(out);
  *base = d.base;
  if (AnswerYes(in)) {
    std::fputs("\nEnter the new category name: ", out);
    std::fflush(out);
    *base = ReadLine(in);
    std::fprintf(out, d.changed, base->c_str());
  }
  std::fputs(d.begin, out);
  std::fflush(out);
  if (!AnswerYes(in)) {
    std::fputs(d.none, out);
    return false;
  }
  return true;
}

unsigned ImportAll(std::FILE* out, const std::vector<Bookmark>& bookmarks) {
  Importer importer(out);
  unsigned count = 0;
  for (const Bookmark& b : bookmarks)
    if (importer.Import(b)) ++count;
  importer.Close();
  return count;
}

// The bookmark file when the registry names none: where the preferred
// browser keeps its bookmarks.
std::string BrowserStore(const std::string& browser) {
  const char* home = std::getenv("HOME");
  if (home == nullptr) return "";
  namespace fs = std::filesystem;
  std::error_code ec;
  std::string lower = browser;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower.find("chrom") != std::string::npos) {
    for (const char* dir : {"/.config/chromium/Default/Bookmarks",
                            "/.config/google-chrome/Default/Bookmarks"})
      if (fs::exists(std::string(home) + dir, ec)) return std::string(home) + dir;
  }
  if (lower.find("firefox") != std::string::npos) {
    fs::path profiles = std::string(home) + "/.mozilla/firefox";
    for (fs::directory_iterator it(profiles, ec), end; !ec && it != end; it.increment(ec))
      if (fs::exists(it->path() / "places.sqlite", ec)) return (it->path() / "places.sqlite").string();
  }
  return "";
}

void NetscapeImport(std::FILE* in, std::FILE* out, const std::string& browser) {
  std::string base;
  if (!Ask(in, out, kNetscape, &base)) return;
  std::string file = RegistryText(kBookmarkListKey, kBookmarkListValue);
  if (file.empty()) file = BrowserStore(browser);
  if (file.empty()) {
    std::fputs("No Netscape Bookmark list file exists.\n\n0 Netscape Bookmarks imported.\n", out);
    std::fprintf(out, "(Set HKCU \"%s\" value \"%s\" to your bookmark file.)\n", kBookmarkListKey,
                 kBookmarkListValue);
    return;
  }
  std::vector<Bookmark> bookmarks;
  std::string error;
  bool read = false;
  if (std::FILE* probe = std::fopen(file.c_str(), "rb")) {
    std::fclose(probe);
    switch (SniffSource(file)) {
      case SourceKind::kPlaces:
        read = ReadPlacesBookmarks(file, base, &bookmarks, &error);
        break;
      case SourceKind::kChromiumJson:
        read = ReadChromiumBookmarks(file, base, &bookmarks, &error);
        break;
      default:
        read = ReadHtmlBookmarks(file, base, &bookmarks, &error);
        break;
    }
  } else {
    std::fprintf(out, "Error opening Netscape Bookmark file %s.\n\n0 Netscape Bookmarks imported\n",
                 file.c_str());
    return;
  }
  if (!read) {
    std::fprintf(out, "ERROR - Netscape Bookmark file %s %s.\n\n0 Netscape Bookmarks imported\n",
                 file.c_str(), error.c_str());
    return;
  }
  std::fprintf(out, kNetscape.done, ImportAll(out, bookmarks));
}

void IeImport(std::FILE* in, std::FILE* out) {
  std::string base;
  if (!Ask(in, out, kIe, &base)) return;
  std::string folder = RegistryText(kFavoritesKey, kFavoritesValue);
  std::vector<Bookmark> bookmarks;
  std::string error;
  if (folder.empty() || !ReadUrlFolder(folder, base, &bookmarks, &error)) {
    std::fputs("No IE Favorites folder exists.\n\n0 IE Favorites imported.\n", out);
    std::fprintf(out, "(Set HKCU \"%s\" value \"%s\" to your Favorites folder.)\n", kFavoritesKey,
                 kFavoritesValue);
    return;
  }
  std::fprintf(out, kIe.done, ImportAll(out, bookmarks));
}

}  // namespace

bool Importable(const std::string& url) {
  if (FindNoCase(url, "http://") == std::string::npos) return false;
  for (const char* own : {"http://[wr", "http://[kv", "http://[wc", "http://Corvane.As"})
    if (FindNoCase(url, own) != std::string::npos) return false;
  return true;
}

bool Importer::Open() {
  if (database_ != 0) return true;
  if (VXDatabaseOpen(common::kPageReplicaServer, common::kPageReplicaPath, 0, &database_) != kVXOk) {
    database_ = 0;
    return false;
  }
  return true;
}

bool Importer::Import(const Bookmark& b) {
  if (!Importable(b.url)) {
    std::fprintf(out_, "\nSkipping %s\n", b.url.c_str());
    return false;
  }
  std::fprintf(out_, "\nImporting %s (%s) to \"%s\".\n", b.url.c_str(), b.title.c_str(),
               b.category.c_str());
  if (!Open()) {
    std::fputs("ERROR - Could not find local \"My Selections\" database.\n", out_);
    return false;
  }
  // The form is looked up once a run: the design does not change under it.
  if (!form_found_) form_found_ = VXFormLocateByName(database_, common::kElementForm) != 0;
  if (!form_found_) {
    std::fputs("ERROR - Could not find local replica database form.\n", out_);
    return false;
  }
  if (!batch_) {
    int32_t one = 1;
    batch_ = VXDatabaseSetProperty(database_, kDbPropBatch, &one) == kVXOk;
    in_batch_ = 0;
  }
  VXHandle doc = 0;
  if (VXDocumentCreate(database_, common::kElementForm, &doc) != kVXOk) {
    std::fputs("ERROR - Could not create local replica database document.\n", out_);
    return false;
  }
  int32_t one = 1;
  (void)VXDocumentSetProperty(doc, kDocPropSummary, &one);
  size_t http = FindNoCase(b.url, "http://");
  bool ok = jobs::PutTextItem(doc, common::kItemUserTitle, b.title) == kVXOk &&
            jobs::PutTextItem(doc, common::kItemTitle, b.title) == kVXOk &&
            jobs::PutTextItem(doc, common::kItemSupports, b.url) == kVXOk &&
            jobs::PutTextItem(doc, common::kItemKey, b.url.substr(http + 7)) == kVXOk &&
            jobs::PutTextItem(doc, common::kItemCategories, b.category) == kVXOk &&
            jobs::PutDatetimeItem(doc, common::kItemDateDownloaded, jobs::PlatformNow()) == kVXOk;
  if (!ok) {
    std::fputs("ERROR - Could not add item to new local replica database document.\n", out_);
    VXDocumentClose(doc, kVXCloseDiscard);
    return false;
  }
  VXDocumentClose(doc, kVXCloseKeep);
  if (batch_ && ++in_batch_ >= kBatchSize) {
    int32_t zero = 0;
    (void)VXDatabaseSetProperty(database_, kDbPropBatch, &zero);
    batch_ = false;
  }
  return true;
}

void Importer::Close() {
  if (database_ == 0) return;
  if (batch_) {
    int32_t zero = 0;
    (void)VXDatabaseSetProperty(database_, kDbPropBatch, &zero);
    batch_ = false;
  }
  VXDatabaseClose(database_, 0);
  database_ = 0;
}

int RunFavload(std::FILE* in, std::FILE* out) {
  std::fprintf(out, "FAVLOAD Version %s\n", kVersion);
  std::fputs("A browser bookmark import utility for Pellam Corvane\n", out);
  std::fputs("Copyright (c) Pellam.  All rights reserved.\n\n", out);
  if (_VXInit(0x45004, nullptr, nullptr, nullptr) != kVXOk) {
    std::fputs("ERROR - Could not initialize Ledra environment.\n\n", out);
    return 1;
  }
  int32_t one = 1;
  (void)VXSetProperty(kVXPropNoPrompt, &one);
  (void)VXSetProperty(kVXPropQuiet, &one);
  (void)VXSetProperty(kVXPropDefaultServer, "Local");
  std::string browser = RegistryText(kPreferredBrowserKey, kPreferredBrowserValue);
  int code = 0;
  if (browser.empty()) {
    std::fputs("ERROR - Preferred browser has not been specified by Corvane.\n", out);
    std::fputs("You must first run Corvane and select a preferred browser.\n", out);
    std::fprintf(out, "(Corvane keeps it in HKCU \"%s\" value \"%s\".)\n", kPreferredBrowserKey,
                 kPreferredBrowserValue);
    code = 1;
  } else if (FindNoCase(browser, "iexplore") != std::string::npos) {
    IeImport(in, out);
  } else {
    NetscapeImport(in, out, browser);
  }
  std::fflush(out);
  VXTerm(0);
  return code;
}

}  // namespace favload
