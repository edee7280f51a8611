// ledra.ini: reading, atomic updates, servers and the user's name.
#include "ledra/settings.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ledra/last_error.h"

namespace ledra {
namespace {

namespace fs = std::filesystem;

struct Line {
  std::string raw;
  std::string key;  // empty for comments, sections and blank lines
  std::string value;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<Line> Parse(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw)) {
    Line line;
    line.raw = raw;
    std::string t = Trim(raw);
    size_t eq = t.find('=');
    if (!t.empty() && t[0] != ';' && t[0] != '#' && t[0] != '[' && eq != std::string::npos &&
        eq > 0) {
      line.key = Trim(t.substr(0, eq));
      line.value = Trim(t.substr(eq + 1));
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

// Reads the whole file; a missing file is empty.
VXStatus ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
      text->clear();
      return kVXOk;
    }
    return Fail(kVXSettingsError, "Cannot read the platform settings file " + path + ": " +
                                      std::strerror(errno));
  }
  std::ostringstream s;
  s << in.rdbuf();
  *text = s.str();
  return kVXOk;
}

std::vector<Line> ReadLines() {
  std::string text;
  if (ReadFile(SettingsFile(), &text) != kVXOk) return {};
  return Parse(text);
}

std::string BaseFolder() { return fs::path(SettingsFile()).parent_path().string(); }

std::string Resolve(const std::string& dir) {
  fs::path p(dir);
  if (p.is_relative()) p = fs::path(BaseFolder()) / p;
  return p.lexically_normal().string();
}

// Holds an exclusive lock on the lock file beside the settings file. The
// file may be deleted when the platform's use ends (RemoveSettingsLock),
// so a lock taken on a file that is no longer the one at the path is
// dropped and taken again on the new one: two holders never lock two
// different files.
class SettingsLock {
 public:
  explicit SettingsLock(const std::string& path) : path_(path + ".lock") {
    for (int attempt = 0; attempt < 100; ++attempt) {
      fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (fd_ < 0) return;
      while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
      struct stat held {
      }, named{};
      if (::fstat(fd_, &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino)
        return;
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~SettingsLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }
  bool ok() const { return fd_ >= 0; }
  // Deletes the lock file while it is held.
  void Remove() {
    if (fd_ >= 0) ::unlink(path_.c_str());
  }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace

std::string SettingsFile() {
  const char* env = std::getenv("CORVANE_LEDRA_INI");
  fs::path p = (env != nullptr && *env != '\0') ? fs::path(env) : fs::path("ledra.ini");
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  return (ec ? p : abs).lexically_normal().string();
}

VXStatus ReadSetting(const std::string& name, std::string* value) {
  std::string text;
  if (VXStatus s = ReadFile(SettingsFile(), &text); s != kVXOk) return s;
  value->clear();
  std::string key = Lower(name);
  for (const Line& line : Parse(text)) {
    if (!line.key.empty() && Lower(line.key) == key) *value = line.value;
  }
  return kVXOk;
}

VXStatus WriteSetting(const std::string& name, const std::string& value) {
  if (name.empty() || name.find_first_of("=\r\n") != std::string::npos ||
      value.find_first_of("\r\n") != std::string::npos) {
    return Fail(kVXBadArgument, "Environment variable \"" + name +
                                    "\" cannot be set: names and values are one line, and a "
                                    "name holds no \"=\"");
  }
  const std::string path = SettingsFile();
  SettingsLock lock(path);
  if (!lock.ok()) {
    return Fail(kVXSettingsError, "Cannot lock the platform settings file " + path + ": " +
                                      std::strerror(errno));
  }
  std::string text;
  if (VXStatus s = ReadFile(path, &text); s != kVXOk) return s;
  std::vector<Line> lines = Parse(text);
  std::string key = Lower(name);
  std::string out;
  bool written = false;
  for (const Line& line : lines) {
    if (!line.key.empty() && Lower(line.key) == key) {
      if (!written && !value.empty()) out += name + "=" + value + "\n";
      written = true;
      continue;
    }
    out += line.raw + "\n";
  }
  if (!written && !value.empty()) out += name + "=" + value + "\n";

  std::string temp = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    return Fail(kVXSettingsError, "Cannot write the platform settings file " + path + ": " +
                                      std::strerror(errno));
  }
  size_t done = 0;
  bool ok = true;
  while (done < out.size()) {
    ssize_t n = ::write(fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return Fail(kVXSettingsError,
                "Cannot write the platform settings file " + path + ": " + std::strerror(err));
  }
  return kVXOk;
}

void RemoveSettingsLock() {
  std::string path = SettingsFile();
  struct stat named {};
  if (::stat((path + ".lock").c_str(), &named) != 0) return;
  SettingsLock lock(path);
  lock.Remove();
}

std::optional<std::string> ServerDirectory(const std::string& server) {
  std::vector<Line> lines = ReadLines();
  std::string want = Lower(server);
  if (want == "local" || want.empty()) {
    std::string dir = "data";
    for (const Line& line : lines) {
      if (Lower(line.key) == "directory" && !line.value.empty()) dir = line.value;
    }
    return Resolve(dir);
  }
  for (const Line& line : lines) {
    std::string k = Lower(line.key);
    if (k.rfind("server.", 0) == 0 && k.substr(7) == want && !line.value.empty()) {
      return Resolve(line.value);
    }
  }
  return std::nullopt;
}

std::vector<std::string> ServerNames() {
  std::vector<std::string> names{"Local"};
  for (const Line& line : ReadLines()) {
    if (Lower(line.key).rfind("server.", 0) == 0 && line.key.size() > 7 &&
        Lower(line.key.substr(7)) != "local") {
      names.push_back(line.key.substr(7));
    }
  }
  return names;
}

std::string CurrentUserName() {
  std::string id_file;
  if (ReadSetting("KeyFilename", &id_file) == kVXOk && id_file.size() > 3 &&
      Lower(id_file.substr(id_file.size() - 3)) == ".id") {
    fs::path p(id_file);
    if (p.is_relative()) p = fs::path(BaseFolder()) / p;
    std::ifstream in(p);
    std::string first;
    if (in && std::getline(in, first)) {
      first = Trim(first);
      if (!first.empty()) return first;
    }
  }
  if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0') return user;
  if (struct passwd* pw = ::getpwuid(::getuid()); pw != nullptr) return pw->pw_name;
  return "Anonymous";
}

}  // namespace ledra
