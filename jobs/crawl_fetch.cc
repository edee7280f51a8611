// The fetch of one element: the request, the connection, the receive with
// its content-type filter, size limit and growth, and the custom content
// filter.
#include <errno.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "common/text.h"
#include "jobs/command_runner.h"
#include "jobs/crawler.h"
#include "jobs/http_response.h"
#include "jobs/link_normalise.h"
#include "os/files.h"

namespace jobs {

namespace {

constexpr char kAcceptLine[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-java-class, */*";
constexpr size_t kBlockSize = 4096;
// No element is kept beyond this, whatever it announces: the buffer for it
// could not be had.
constexpr int64_t kLargestElement = int64_t{1} << 30;
// Growth beyond the data at hand is bounded, so that an announced length
// reserves memory only as its bytes arrive.
constexpr int64_t kMostReserveAhead = int64_t{64} << 20;
constexpr char kFilterVeto[] =
    "Storage veto: custom content-filter has signalled to not store this element. ";
constexpr char kSearchVeto[] =
    "Storage veto: page text will not be stored, does not match \"%s\". ";

void RemoveReplicaSegments(std::string* request) {
  for (size_t at; (at = request->find("[wr")) != std::string::npos;) {
    size_t end = request->find(']', at);
    if (end == std::string::npos) break;
    request->erase(at, end - at + 1);
  }
  for (size_t at; (at = request->find("\r\n \r\n")) != std::string::npos;)
    request->erase(at + 2, 1);
}

// The request line's absolute URL made a path: "GET http://h/p HTTP/1.0"
// becomes "GET /p HTTP/1.0".
void MakeRequestLineRelative(std::string* request) {
  size_t blank = request->find(' ');
  if (blank == std::string::npos ||
      !common::StartsWithNoCase(request->substr(blank + 1), "http://"))
    return;
  size_t host = blank + 8;
  size_t path = request->find_first_of("/ \r\n", host);
  if (path == std::string::npos) return;
  if ((*request)[path] == '/') {
    request->erase(blank + 1, path - blank - 1);
  } else {
    request->replace(blank + 1, path - blank - 1, "/");
  }
}

}  // namespace

std::string Crawler::BuildRequest(const std::string& url, const std::string& since, bool replay,
                                  bool via_proxy) const {
  std::string request;
  bool to_start_host = common::StartsWithNoCase(HostOf(url), start_host_) &&
                       HostOf(url).size() == start_host_.size();
  // Credentials go only where they belong: the proxy's to the proxy, the
  // site's to the favourite's own host.
  std::string credentials;
  if (via_proxy && !job_.proxy_credentials.empty()) credentials += job_.proxy_credentials + "\r\n";
  if (to_start_host && !site_credentials_.empty()) credentials += site_credentials_ + "\r\n";
  if (replay) {
    size_t line_end = url.find('\n');
    request = "POST " + url.substr(0, line_end) + "\n" + credentials;
    if (line_end != std::string::npos) request += url.substr(line_end + 1);
    RemoveReplicaSegments(&request);
  } else {
    request = "GET " + url + " HTTP/1.0\r\nHost: " + HostOf(url) + "\r\n" + kAcceptLine + "\r\n";
    if (!since.empty()) request += "If-Modified-Since: " + since + "\r\n";
    request += credentials + "\r\n";
  }
  if (!via_proxy) MakeRequestLineRelative(&request);
  return request;
}

Crawler::Fetched Crawler::Fetch(const std::string& url, const std::string& since, int depth,
                                bool page_link) {
  Fetched fetched;
  if (!settings_.preprocessor_r.empty()) (void)RunCommand(settings_.preprocessor_r, url, false);
  ++requests_;
  if (requests_ % 1000 == 0) job_.ClearLog();
  if (requests_ % 100 == 0) {
    job_.WriteStatusFile("Updating workspace views");
    job_.Log("Updating workspace views...");
    store_.RefreshViews();
  }
  std::string shown = url.substr(0, url.find_first_of("\r\n"));
  if (!page_link && requests_ != 1) {
    job_.Log(
        common::Format("%ld.     ......................page part %s", requests_, shown.c_str()));
  } else {
    job_.Log(
        common::Format("%ld. (Depth %d) Getting page %s", requests_, depth - 1, shown.c_str()));
  }
  if (SkippedImageUrl(settings_.fidelity, url)) {
    job_.Log(common::Format("Skipping: image/* does not pass content-type filter. (%c)",
                            settings_.fidelity));
    fetched.refused = true;
    return fetched;
  }
  bool replay = start_flag_ && depth == 1 && settings_.offline_form_method == 'P' && !url.empty();

  OutboundRequest target;
  target.host_and_port = HostOf(url);
  size_t colon = target.host_and_port.find(':');
  target.host = target.host_and_port.substr(0, colon);
  if (colon != std::string::npos) {
    long port = std::strtol(target.host_and_port.c_str() + colon + 1, nullptr, 10);
    target.port = port > 0 && port < 65536 ? static_cast<uint16_t>(port) : 80;
  }
  target.upstream_proxy = job_.http_proxy;
  target.overrides = job_.proxy_overrides;
  target.connect_timeout_ms = job_.timing.connect_timeout_ms;
  target.idle_timeout_ms = job_.timing.idle_timeout_ms;
  fetched.status = -1;
  if (target.host.empty()) return fetched;
  OutboundResult connection = outbound_.Open(target);
  if (connection.socket == os::kNoSocket) return fetched;

  std::string request = BuildRequest(url, since, replay, connection.via_proxy);
  bool sent = true;
  if (!replay) {
    sent = os::SendAll(connection.socket, request);
  } else {
    size_t blank = request.find("\r\n\r\n");
    size_t head = blank == std::string::npos ? request.size() : blank + 4;
    sent = os::SendAll(connection.socket, std::string_view(request).substr(0, head)) &&
           os::SendAll(connection.socket, std::string_view(request).substr(head));
    ::shutdown(connection.socket, SHUT_WR);
  }
  if (sent) Receive(connection.socket, &fetched);
  os::ShutdownAndClose(connection.socket);
  if (fetched.refused) {
    fetched.response.clear();
    fetched.status = 0;
    return fetched;
  }
  fetched.status = ResponseStatus(fetched.response);
  if (fetched.status == -1) fetched.response.clear();
  return fetched;
}

void Crawler::Receive(os::Socket socket, Fetched* fetched) {
  std::string& data = fetched->response;
  std::string type;
  bool type_known = false, headers_done = false, length_seen = false, timed_out = false;
  size_t capacity = 0;
  char block[kBlockSize];
  for (;;) {
    ssize_t got = ::recv(socket, block, sizeof block, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) timed_out = true;
    if (got <= 0) break;
    std::string_view piece(block, static_cast<size_t>(got));
    if (!type_known && !headers_done) {
      std::string so_far = data + std::string(piece);
      std::string value;
      if (HeaderValue(so_far, "Content-Type:", &value)) {
        type = value.substr(0, std::min<size_t>(value.find(' '), 80));
        type_known = true;
      }
      headers_done = BodyStart(so_far) != std::string::npos;
    }
    if (type_known && !common::StartsWithNoCase(type, "text") &&
        !FidelityPasses(settings_.fidelity, type)) {
      job_.Log(common::Format("Skipping: %s does not pass content-type filter. (%c)", type.c_str(),
                              settings_.fidelity));
      fetched->refused = true;
      return;
    }
    size_t total = data.size() + piece.size();
    if (total > capacity) {
      int64_t size = 2 * static_cast<int64_t>(total);
      size_t announced = common::FindText('<', piece, "Content-length: ");
      if (announced != common::kNotFound && !length_seen) {
        length_seen = true;
        size = std::strtoll(std::string(piece.substr(announced + 16, 20)).c_str(), nullptr, 10);
      }
      if (size < static_cast<int64_t>(total) + 1) size = static_cast<int64_t>(total) + 1;
      if (settings_.cutoff_size > 0 && settings_.cutoff_size < size) {
        job_.Log(common::Format("Skipping: %lld exceeds limit of %ld bytes.",
                                static_cast<long long>(size), settings_.cutoff_size));
        fetched->refused = true;
        return;
      }
      job_.Log(common::Format("Allocating %lld", static_cast<long long>(size)));
      bool allocated = false;
      if (size <= kLargestElement) {
        for (int64_t factor = 4; factor >= 1 && !allocated; --factor) {
          int64_t want =
              std::min(factor * size + 1, static_cast<int64_t>(total) + kMostReserveAhead);
          try {
            data.reserve(static_cast<size_t>(want));
            capacity = static_cast<size_t>(want);
            allocated = true;
          } catch (const std::bad_alloc&) {
          } catch (const std::length_error&) {
          }
        }
      }
      if (!allocated) {
        job_.Log(common::Format("Skipping: %lld byte memory request denied.",
                                static_cast<long long>(size)));
        fetched->refused = true;
        return;
      }
    }
    data.append(piece);
  }
  // A silent server, or one that closed before the length it announced, has
  // not given the element: the fetch failed and the stored copy stays.
  std::string length_text;
  size_t body = BodyStart(data);
  if (timed_out) {
    job_.Log("Receive timed out after " + std::to_string(data.size()) + " bytes.");
    data.clear();
  } else if (body != std::string::npos && HeaderValue(data, "Content-length:", &length_text)) {
    long long announced = std::strtoll(length_text.c_str(), nullptr, 10);
    if (announced > 0 && static_cast<long long>(data.size() - body) < announced) {
      job_.Log(common::Format("Short answer: %lld of %lld bytes received.",
                              static_cast<long long>(data.size() - body), announced));
      data.clear();
    }
  }
}

void Crawler::RunContentFilter(const std::string& url, Fetched* fetched) {
  std::string url_file = job_.WriteTempFile(url);
  std::string response_file = job_.WriteTempFile(fetched->response);
  std::string output_file = job_.WriteTempFile("");
  if (!output_file.empty()) ::unlink(output_file.c_str());
  if (!url_file.empty() && !response_file.empty() && !output_file.empty()) {
    std::string command = settings_.preprocessor + " \"" + response_file + "\" \"" + output_file +
                          "\" \"" + url_file + "\"";
    (void)RunCommand(command, "", true);
  }
  std::FILE* output = output_file.empty() ? nullptr : std::fopen(output_file.c_str(), "rb");
  if (output != nullptr) {
    std::string content;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, output)) > 0) content.append(buffer, got);
    std::fclose(output);
    fetched->response = std::move(content);
    char word[256] = {};
    int status = 0;
    std::string first = fetched->response.substr(0, fetched->response.find('\n'));
    if (std::sscanf(first.c_str(), "%255s %d", word, &status) == 2) fetched->status = status;
  } else {
    job_.Log(kFilterVeto);
    storage_veto_ = true;
  }
  for (const std::string& file : {url_file, response_file, output_file})
    if (!file.empty()) ::unlink(file.c_str());
}

void Crawler::DecideContent(const std::string& url, const Fetched& fetched) {
  const std::string& response = fetched.response;
  std::string type;
  (void)HeaderValue(response, "Content-type:", &type);
  size_t dot = url.rfind('.');
  std::string extension = dot == std::string::npos ? "" : url.substr(dot);
  if (extension.size() == 6 && common::StartsWithNoCase(extension, ".class"))
    type = "application/x-java-class";
  content_type_ = type;
  std::string lower = type.empty() ? "text/unknown" : type;
  common::LowerCaseInPlace(lower);
  text_page_ = lower.find("text") != std::string::npos &&
               (lower.find("text/html") != std::string::npos ||
                common::StartsWithNoCase(extension, ".txt") ||
                common::StartsWithNoCase(extension, ".htm") || (!url.empty() && url.back() == '/'));
  if (!text_page_ || settings_.search_text.empty()) return;
  size_t body = BodyStart(response);
  std::string_view text =
      body == std::string::npos ? std::string_view() : std::string_view(response).substr(body);
  size_t at = 0;
  const std::string& words = settings_.search_text;
  while (at <= words.size()) {
    size_t comma = words.find(',', at);
    std::string piece =
        words.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    at = comma == std::string::npos ? words.size() + 1 : comma + 1;
    size_t first = piece.find_first_not_of(' ');
    size_t last = piece.find_last_not_of(' ');
    if (first == std::string::npos) continue;
    piece = piece.substr(first, last - first + 1);
    if (common::FindText('<', text, piece) != common::kNotFound) return;
  }
  job_.Log(common::Format(kSearchVeto, settings_.search_text.c_str()));
  storage_veto_ = true;
}

}  // namespace jobs
