// Fuzz target: the pass-through's handling of outside bytes: routing with
// an override list, the host of a request line, the browser's request as it
// goes out, and a server's response head and body on the way to the
// browser (head rewriting, chunked and compressed bodies, the fragment).
// The first byte chooses the piece size; the input is cut at the first two
// NUL bytes into a request, a response and an override list.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/route.h"
#include "proxy/body_codec.h"
#include "proxy/forward_request.h"
#include "proxy/response_head.h"

namespace {

std::string_view Cut(std::string_view* rest) {
  size_t nul = rest->find('\0');
  std::string_view part = rest->substr(0, nul);
  rest->remove_prefix(nul == std::string_view::npos ? rest->size() : nul + 1);
  return part;
}

void Request(std::string_view raw, std::string_view overrides) {
  std::string copy(raw);
  std::string host = common::ExtractHost(&copy);
  if (host.find('/') != std::string::npos || host.find(' ') != std::string::npos) __builtin_trap();
  if (!host.empty() && copy.size() > raw.size() + 1) __builtin_trap();
  (void)common::ChooseRoute(host, "proxy.example:3128", overrides, common::OverrideMatch::kEntry);
  (void)common::ChooseRoute(host, "proxy.example:3128", overrides,
                            common::OverrideMatch::kAnywhere);
  std::string name;
  uint16_t port = 0;
  if (common::SplitHostPort(host, 80, &name, &port) && (name.empty() || port == 0))
    __builtin_trap();

  proxy::BrowserRequest request;
  if (proxy::ParseBrowserRequest(raw, &request) != proxy::ParseResult::kOk) return;
  std::string out = proxy::OutgoingRequest(request, common::RouteKind::kDirect, true);
  if (out.find(" HTTP/1.0\r\n") == std::string::npos) __builtin_trap();
  if (out.find("\r\nConnection: close\r\n\r\n") == std::string::npos) __builtin_trap();
}

void Response(std::string_view bytes, size_t piece) {
  size_t head_length = proxy::HeadLength(bytes);
  if (head_length == 0 || head_length > bytes.size()) return;
  std::string_view head = bytes.substr(0, head_length);
  proxy::ResponseHead parsed;
  if (!proxy::ParseResponseHead(head, &parsed)) return;
  for (bool decoded : {false, true}) {
    std::string rewritten = proxy::RewriteHtmlHead(head, parsed, 57, decoded);
    proxy::ResponseHead again;
    if (!proxy::ParseResponseHead(rewritten, &again)) __builtin_trap();
    if (proxy::HeadLength(rewritten) != rewritten.size()) __builtin_trap();
    if (!decoded && parsed.content_length >= 0 &&
        again.content_length != parsed.content_length + 57)
      __builtin_trap();
    if (decoded && (again.content_length >= 0 || !again.content_encoding.empty())) __builtin_trap();
  }
  std::string_view body = bytes.substr(head_length);
  proxy::ChunkedDecoder chunks;
  proxy::Inflater inflater("gzip");
  proxy::FragmentInjector injector("<F>");
  std::string plain, inflated, out;
  bool ok = true, inflating = true;
  for (size_t at = 0; at < body.size() && ok && !chunks.Done(); at += piece) {
    size_t before = plain.size();
    size_t used = chunks.Add(body.substr(at, piece), &plain, &ok);
    if (used > piece) __builtin_trap();
    if (inflating) inflating = inflater.Add(std::string_view(plain).substr(before), &inflated);
  }
  for (size_t at = 0; at < body.size(); at += piece) injector.Add(body.substr(at, piece), &out);
  injector.Finish(&out);
  if (out.size() != body.size() + 3) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t piece = 1 + data[0] % 97;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string_view request = Cut(&rest);
  std::string_view response = Cut(&rest);
  Request(request, rest);
  Response(response, piece);
  return 0;
}
