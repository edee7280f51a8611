// Benchmark: the intake's completion rule over a request that never ends
// its headers (MiB of CR bytes, the worst case of the end-of-headers
// search), received in 4095-byte pieces, against a baseline of appending
// the same pieces and scanning each once with memchr.
//
//   build/bench/intake_bench [MiB]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/listener.h"
#include "engine/request_assembler.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 16;
  size_t total = mib << 20;
  std::string piece(engine::kReceivePiece, '\r');

  auto started = Clock::now();
  engine::RequestAssembler assembler(total + 1);
  for (size_t sent = 0; sent < total; sent += piece.size()) assembler.Add(piece);
  double intake = Seconds(started);

  started = Clock::now();
  std::string text;
  size_t found = 0;
  for (size_t sent = 0; sent < total; sent += piece.size()) {
    size_t before = text.size();
    text += piece;
    found += std::memchr(text.data() + before, '\n', piece.size()) != nullptr;
  }
  double baseline = Seconds(started);

  std::printf(
      "%zu MiB of CR in %zu-byte pieces: intake %.3f s, append+memchr %.3f s, "
      "ratio %.2f (complete %d, examined %zu bytes, baseline found %zu)\n",
      mib, piece.size(), intake, baseline, baseline > 0 ? intake / baseline : 0.0,
      assembler.Complete() ? 1 : 0, assembler.BytesExamined(), found);
  return 0;
}
