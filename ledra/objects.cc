// Shared pieces of the store's calls: handle lookups, text copies, the
// "$FILE" item and design names.
#include "ledra/objects.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "ledra/settings.h"

namespace ledra {

namespace fs = std::filesystem;

// Database names compare without regard to letter case, as on the systems
// whose URLs reach us lower-cased ("samples/discuss.ldf" names
// Samples/discuss.ldf). Each step that does not exist as written takes the
// first entry of its folder that matches it case-insensitively; steps with
// no match stay as written (a database about to be created).
static fs::path MatchLetterCase(const fs::path& base, const fs::path& rel) {
  std::error_code ec;
  if (fs::exists(base / rel, ec)) return rel;
  fs::path folder = base;
  fs::path matched;
  bool searching = true;
  for (const fs::path& part : rel) {
    fs::path step = part;
    if (searching && !fs::exists(folder / part, ec)) {
      std::vector<std::string> names;
      for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (strcasecmp(name.c_str(), part.string().c_str()) == 0) names.push_back(name);
      }
      std::sort(names.begin(), names.end());
      if (names.empty()) {
        searching = false;
      } else {
        step = names.front();
      }
    }
    matched /= step;
    folder /= step;
  }
  return matched;
}

bool InsideDataDirectory(const std::string& dir, const std::filesystem::path& path) {
  std::error_code ec;
  fs::path real_dir = fs::weakly_canonical(dir, ec);
  if (ec) return false;
  // A link whose target does not exist yet would be created wherever it
  // points.
  if (fs::is_symlink(fs::symlink_status(path, ec)) && !fs::exists(path, ec)) return false;
  fs::path real = fs::weakly_canonical(path, ec);
  if (ec) return false;
  auto [end, at] = std::mismatch(real_dir.begin(), real_dir.end(), real.begin(), real.end());
  return end == real_dir.end() && at != real.end();
}

VXStatus ResolveDatabaseFile(const std::string& server, const std::string& path,
                             std::string* file, std::string* clean_path) {
  std::string p = path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  std::string label = DatabaseLabel(server, path);
  if (p.empty()) return Fail(kVXBadArgument, "No database named (empty path) on " + server);
  std::optional<std::string> dir = ServerDirectory(server);
  if (!dir) return Fail(kVXServerNotFound, "Server " + server + " not found (not named in " + SettingsFile() + ")");
  // A database lives inside its server's data directory: absolute paths and
  // ".." steps that would reach other files are refused.
  fs::path rel(p);
  if (rel.is_absolute()) {
    return Fail(kVXBadArgument, label + " cannot be opened: a path is relative to the server's data directory");
  }
  for (const fs::path& part : rel) {
    if (part == "..") return Fail(kVXBadArgument, label + " cannot be opened: the path leaves the data directory");
  }
  rel = MatchLetterCase(fs::path(*dir), rel.lexically_normal());
  // A symbolic link inside the data directory may point anywhere: what the
  // path really names must lie inside the directory too.
  if (!InsideDataDirectory(*dir, fs::path(*dir) / rel)) {
    return Fail(kVXBadArgument, label + " cannot be opened: it lies outside the data directory");
  }
  *file = (fs::path(*dir) / rel).string();
  if (clean_path != nullptr) *clean_path = rel.string();
  return kVXOk;
}

VXStatus OpenDatabaseObject(const std::string& server, const std::string& path, uint32_t flags,
                            std::shared_ptr<Database>* out) {
  if (!PlatformReady()) return Fail(kVXNotInitialized, "The Ledra platform is not initialised (_VXInit has not run)");
  std::string file, clean;
  if (VXStatus s = ResolveDatabaseFile(server, path, &file, &clean); s != kVXOk) return s;
  auto db = std::make_shared<Database>();
  db->server = server;
  db->path = clean;
  // Synchronous=FULL in ledra.ini syncs every save (power-loss safe).
  std::string sync;
  bool full_sync = ReadSetting("Synchronous", &sync) == kVXOk && (sync == "FULL" || sync == "full");
  if (VXStatus s = NoteStore::Open(file, DatabaseLabel(server, path), LockWaitMs(flags), &db->store, full_sync);
      s != kVXOk) {
    return s;
  }
  *out = std::move(db);
  return kVXOk;
}

VXStatus GetDatabase(VXHandle h, std::shared_ptr<Database>* out) {
  *out = Lookup<Database>(h, HandleKind::kDatabase);
  if (!*out) return Fail(kVXBadHandle, "Invalid database handle " + std::to_string(h) + " (not open, or closed)");
  return kVXOk;
}

VXStatus GetDocument(VXHandle h, std::shared_ptr<Document>* out) {
  *out = Lookup<Document>(h, HandleKind::kDocument);
  if (!*out) return Fail(kVXBadHandle, "Invalid document handle " + std::to_string(h) + " (not open, or closed)");
  return kVXOk;
}

uint32_t CopyText(const std::string& text, char* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  size_t n = std::min<size_t>(text.size(), size - 1);
  while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

void SetFileItem(Note* note, const std::vector<std::string>& names) {
  if (names.empty()) {
    note->RemoveItem("$FILE");
    return;
  }
  note->PutItem(Item{"$FILE", kVXTypeAttachmentRef, kVXItemSummary, JoinTextList(names)});
}

std::vector<std::string> FileItemNames(const Note& note) {
  const Item* item = note.FindItem("$FILE");
  if (item == nullptr || item->type != kVXTypeAttachmentRef) return {};
  return SplitTextList(item->value);
}

std::string TextItem(const Note& note, const std::string& name) {
  const Item* item = note.FindItem(name);
  if (item == nullptr) return "";
  if (item->type == kVXTypeText) return item->value;
  if (item->type == kVXTypeTextList) {
    std::vector<std::string> entries = SplitTextList(item->value);
    return entries.empty() ? "" : entries[0];
  }
  return "";
}

double NumberItem(const Note& note, const std::string& name, double fallback) {
  const Item* item = note.FindItem(name);
  if (item == nullptr || (item->type != kVXTypeNumber && item->type != kVXTypeNumberList) ||
      item->value.size() < sizeof(double)) {
    return fallback;
  }
  double v;
  std::memcpy(&v, item->value.data(), sizeof v);
  return v;
}

void PutText(Note* note, const std::string& name, const std::string& value, uint32_t flags) {
  note->PutItem(Item{name, kVXTypeText, flags, value});
}

void PutNumber(Note* note, const std::string& name, double value, uint32_t flags) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  note->PutItem(Item{name, kVXTypeNumber, flags, bytes});
}

void DesignNames(const std::string& full, std::string* second, std::string* third) {
  std::string name = full.substr(0, full.find('|'));
  size_t slash = name.find('\\');
  if (slash == std::string::npos) {
    *second = name;
    third->clear();
  } else {
    *second = name.substr(0, slash);
    *third = name.substr(slash + 1);
  }
}

bool DesignNameMatches(const std::string& full, const std::string& name) {
  if (name.empty()) return false;
  std::string second, third;
  DesignNames(full, &second, &third);
  if (SameName(full, name) || SameName(second, name)) return true;
  if (!third.empty() && (SameName(second + "/" + third, name) || SameName(second + "\\" + third, name))) {
    return true;
  }
  size_t start = full.find('|');
  while (start != std::string::npos) {
    size_t end = full.find('|', start + 1);
    std::string alias = full.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
    if (SameName(alias, name)) return true;
    start = end;
  }
  return false;
}

}  // namespace ledra
