// Fuzz target: the intake's completion rule, the classification with its
// synonym rewriting, the [kv] and [wr;...] parsers and the cross-site
// check's reading of the headers, on any bytes. The
// first byte chooses how the rest is cut into received pieces.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/changing_requests.h"
#include "engine/classify.h"
#include "engine/database_request.h"
#include "engine/replica_request.h"
#include "engine/request_assembler.h"
#include "engine/request_origin.h"
#include "engine/url_mapping.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t piece = 1 + data[0] % 64;
  std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

  engine::RequestAssembler assembler(1 << 16);
  for (size_t at = 0; at < input.size() && !assembler.Complete() && !assembler.TooLarge();
       at += piece) {
    assembler.Add(input.substr(at, piece));
  }
  std::string raw = assembler.TakeText();
  size_t before = raw.size();
  auto count = [](const std::string& text, bool nul) {
    size_t n = 0;
    for (char c : text) n += nul ? c == '\0' : c == '\n' || c == '\r';
    return n;
  };
  size_t line_ends = count(raw, false), nuls = count(raw, true);
  int type = engine::ClassifyText(raw);
  if (type < 0 || type > 3) __builtin_trap();
  // Classic rewriting only shortens; writing synonym URLs back may
  // lengthen, but never adds or removes a line end, and never adds a NUL.
  // (A synonym URL that leads to the workspace is replaced whole, NULs and
  // all.)
  if (engine::ClassicUrls() && raw.size() > before) __builtin_trap();
  if (count(raw, false) != line_ends || count(raw, true) > nuls) __builtin_trap();

  engine::RequestSource source = engine::SourceOf(raw);
  if (source.header.empty() && !source.own) __builtin_trap();  // absent counts as own
  (void)engine::CommandRequestActs(raw);
  if (auto request = engine::ParseDatabaseRequest(raw)) {
    (void)engine::KvRequestChange(*request);
    if (!request->url || !request->method) __builtin_trap();
    // A later field is never present without the earlier ones.
    if (request->database && !request->server) __builtin_trap();
    if (request->command && !request->database) __builtin_trap();
    if (request->argument4 && !request->argument3) __builtin_trap();
    if (request->returnUrl && !request->argument4) __builtin_trap();
  }
  if (auto replica = engine::ParseReplicaRequest(raw, nullptr)) {
    if (replica->server.empty() || replica->database.empty()) __builtin_trap();
  }
  return 0;
}
