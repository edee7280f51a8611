// The program folder's files over http.
#include "engine/program_resources.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "common/html_escape.h"
#include "engine/helpful_page.h"
#include "engine/hooks.h"
#include "engine/output_layer.h"
#include "engine/reply_file.h"
#include "engine/url_mapping.h"
#include "os/socket.h"

namespace engine {

namespace {

constexpr off_t kLargestFile = 16L << 20;
// The program's icon: the round button of the command panel.
constexpr char kIconPath[] = "/favicon.ico";
constexpr char kIconFile[] = "images/smbutton.gif";
constexpr char kImageCaching[] = "max-age=86400";
constexpr char kChangingCaching[] = "no-cache";
constexpr char kNotFoundTitle[] = "No such file in the program folder";
constexpr char kNotFoundWhat[] =
    "The program folder has no file <code>%s</code> that corvex may show. It shows the files "
    "of <code>images/</code> and <code>htmdata/</code>, and the pictures of documents in "
    "<code>wtemp/</code>.";
constexpr char kMethodTitle[] = "Files of the program folder are read-only";
constexpr char kMethodWhat[] = "corvex answers GET and HEAD for these files, not <code>%s</code>.";
constexpr char kNoProxyTitle[] = "The web proxy is not built yet";
constexpr char kNoProxyWhat[] =
    "corvex was asked for <code>%s</code>, a page of the web. This version does not pass "
    "requests on to the web yet; the databases on this computer work.";

struct ContentType {
  const char* extension;
  const char* type;
};
constexpr ContentType kContentTypes[] = {
    {".gif", "image/gif"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".png", "image/png"},
    {".ico", "image/x-icon"},
    {".svg", "image/svg+xml"},
    {".htm", "text/html; charset=utf-8"},
    {".html", "text/html; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".pro", "text/plain; charset=utf-8"},
    {".dat", "text/plain; charset=utf-8"},
    {".txt", "text/plain; charset=utf-8"},
};

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (Lower(text[text.size() - suffix.size() + i]) != suffix[i]) return false;
  return true;
}

const char* TypeOf(std::string_view name) {
  for (const ContentType& entry : kContentTypes)
    if (EndsWithNoCase(name, entry.extension)) return entry.type;
  return "application/octet-stream";
}

std::string HttpDate(time_t when) {
  struct tm parts {};
  gmtime_r(&when, &parts);
  char text[64];
  size_t n = std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return std::string(text, n);
}

std::optional<time_t> ParseHttpDate(std::string_view text) {
  struct tm parts {};
  std::string copy(text);
  const char* end = strptime(copy.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &parts);
  if (end == nullptr) return std::nullopt;
  return timegm(&parts);
}

std::string Fill(const char* format, std::string_view value) {
  std::string text(format);
  size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, common::HtmlEscape(value));
  return text;
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens `path` (below the program folder, "/" separated) without following
// a symbolic link anywhere; -1 when it may not or cannot be opened.
int OpenConfined(std::string_view program_dir, std::string_view path) {
  std::vector<std::string> segments;
  for (size_t start = 0;;) {
    size_t slash = path.find('/', start);
    std::string segment(path.substr(start, slash - start));
    if (segment.empty() || segment == "." || segment == "..") return -1;
    for (char c : segment)
      if (static_cast<unsigned char>(c) < 0x20 || c == '\\') return -1;
    segments.push_back(std::move(segment));
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  const std::string& top = segments.front();
  if (segments.size() < 2 || (top != "images" && top != "htmdata" && top != "wtemp")) return -1;
  if (top == "wtemp" && (segments.size() != 2 || !EndsWithNoCase(segments[1], ".gif"))) return -1;
  Descriptor folder;
  folder.fd = ::open(std::string(program_dir).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder.fd < 0) return -1;
  for (size_t i = 0; i + 1 < segments.size(); ++i) {
    int next =
        ::openat(folder.fd, segments[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return -1;
    ::close(folder.fd);
    folder.fd = next;
  }
  return ::openat(folder.fd, segments.back().c_str(),
                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

std::string NotFound(std::string_view program_dir, std::string_view path) {
  ReplyRequest request;
  return FinishReply(
      HelpfulReply(kStatusNotFound, kNotFoundTitle, Fill(kNotFoundWhat, path), StartingPoints()),
      request, program_dir);
}

std::string HeaderValue(std::string_view raw, std::string_view name) {
  size_t at = 0;
  while ((at = raw.find('\n', at)) != std::string_view::npos) {
    ++at;
    if (raw.size() - at < name.size() + 1) break;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = Lower(raw[at + i]) == Lower(name[i]);
    if (!same || raw[at + name.size()] != ':') continue;
    size_t end = raw.find_first_of("\r\n", at);
    std::string_view value = raw.substr(at + name.size() + 1, end - at - name.size() - 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return std::string(value);
  }
  return "";
}

}  // namespace

std::string ProgramResourceReply(std::string_view program_dir, std::string_view method,
                                 std::string_view url, std::string_view if_modified_since) {
  std::optional<std::string> path = ProgramFolderPath(url);
  if (!path) return NotFound(program_dir, url);
  bool head = method == "HEAD";
  if (method != "GET" && !head) {
    ReplyRequest request;
    std::string reply = HelpfulReply("HTTP/1.0 405 Method Not Allowed", kMethodTitle,
                                     Fill(kMethodWhat, method), {});
    reply.insert(reply.find("\r\n") + 2, "Allow: GET, HEAD\r\n");
    return FinishReply(reply, request, program_dir);
  }
  if (*path == kIconPath) *path = std::string("/") + kIconFile;
  std::string_view relative = *path;
  while (!relative.empty() && relative.front() == '/') relative.remove_prefix(1);
  if (relative.empty()) {
    return std::string("HTTP/1.0 302 Found\r\nLocation: ") + kDatabaseRootUrl +
           "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
  }
  Descriptor file;
  file.fd = OpenConfined(program_dir, relative);
  struct stat status {};
  if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_size > kLargestFile) {
    return NotFound(program_dir, relative);
  }
  std::string content;
  if (!head) {
    content.resize(static_cast<size_t>(status.st_size));
    size_t got = 0;
    while (got < content.size()) {
      ssize_t n = ::read(file.fd, content.data() + got, content.size() - got);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    content.resize(got);
  }
  bool image_folder = relative.substr(0, 7) == "images/";
  const char* type = TypeOf(relative);
  // A page of htmdata that holds a whole reply (the workspace redirect)
  // is answered with it; other pages have their links written for the
  // browser, as every page of corvex.
  if (std::strncmp(type, "text/html", 9) == 0 && !head) {
    ReplyRequest request;
    if (content.compare(0, 5, "HTTP/") == 0) return FinishReply(content, request, program_dir);
    content = RewritePageText(content, program_dir);
  }
  std::string modified = HttpDate(status.st_mtime);
  std::optional<time_t> since = ParseHttpDate(if_modified_since);
  if (since && status.st_mtime <= *since) {
    return "HTTP/1.0 304 Not Modified\r\nLast-Modified: " + modified +
           "\r\nConnection: close\r\n\r\n";
  }
  std::string reply = "HTTP/1.0 200 OK\r\nContent-Type: ";
  reply += type;
  reply += "\r\nLast-Modified: " + modified;
  reply += "\r\nCache-Control: ";
  reply += image_folder ? kImageCaching : kChangingCaching;
  reply += "\r\nX-Content-Type-Options: nosniff\r\nConnection: close\r\nContent-Length: ";
  reply += std::to_string(head ? static_cast<size_t>(status.st_size) : content.size());
  reply += "\r\n\r\n";
  if (!head) reply += content;
  return reply;
}

bool AnswerLocally(ThreadHandle& handle, RequestEntry& entry) {
  SharedContext& shared = *handle.shared;
  if (entry.rawRequest.empty()) return false;
  std::string_view url = RequestUrl(entry.rawRequest);
  if (ProgramFolderPath(url)) {
    std::string_view raw = entry.rawRequest;
    std::string_view method = raw.substr(0, raw.find(' '));
    std::string reply =
        ProgramResourceReply(shared.programDir, method, url, HeaderValue(raw, "If-Modified-Since"));
    (void)os::SendAll(entry.socket, reply);
    FinishEntry(shared, entry);
    return true;
  }
  if (Hooks().passThrough == nullptr && !ClassicUrls()) {
    AnswerWithText(
        shared, entry,
        HelpfulReply(kStatusNotBuilt, kNoProxyTitle, Fill(kNoProxyWhat, url), StartingPoints()));
    return true;
  }
  return false;
}

}  // namespace engine
