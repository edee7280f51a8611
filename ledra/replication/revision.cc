// Revision stamps and chains.
#include "ledra/replication/revision.h"

#include <algorithm>
#include <cstdio>

namespace ledra::replication {
namespace {

constexpr char kChainMark = 'R';
constexpr size_t kRevisionBytes = 24;

void PutWord(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

uint64_t GetWord(const unsigned char* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// 64-bit FNV-1a, continued from `hash`.
uint64_t Fnv(uint64_t hash, const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    hash ^= p[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

// True when r is in the chain's history. One database's revisions of a
// note follow one another, each made on the one before: a revision by an
// origin stands for every earlier revision of the note by that origin.
bool Contains(const Chain& chain, const Revision& r) {
  return std::any_of(chain.begin(), chain.end(), [&](const Revision& c) {
    return c.origin == r.origin && c.sequence >= r.sequence;
  });
}

}  // namespace

bool Later(const Revision& a, const Revision& b) {
  if (a.ticks != b.ticks) return a.ticks > b.ticks;
  if (a.origin != b.origin) return a.origin > b.origin;
  return a.sequence > b.sequence;
}

std::string EncodeChain(const Chain& chain) {
  size_t first = chain.size() > kMaxChain ? chain.size() - kMaxChain : 0;
  std::string out;
  out.reserve(2 + kRevisionBytes * (chain.size() - first));
  out.push_back(kChainMark);
  out.push_back(static_cast<char>(chain.size() - first));
  for (size_t i = first; i < chain.size(); ++i) {
    PutWord(&out, static_cast<uint64_t>(chain[i].ticks));
    PutWord(&out, chain[i].origin);
    PutWord(&out, static_cast<uint64_t>(chain[i].sequence));
  }
  return out;
}

bool DecodeChain(const void* data, size_t size, Chain* chain) {
  chain->clear();
  const unsigned char* p = static_cast<const unsigned char*>(data);
  if (p == nullptr || size < 2 || p[0] != kChainMark) return false;
  size_t n = p[1];
  if (n == 0 || n > kMaxChain || size != 2 + n * kRevisionBytes) return false;
  chain->reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const unsigned char* r = p + 2 + i * kRevisionBytes;
    chain->push_back(Revision{static_cast<int64_t>(GetWord(r)), GetWord(r + 8),
                              static_cast<int64_t>(GetWord(r + 16))});
  }
  return true;
}

void ExtendChain(Chain* chain, const Revision& revision) {
  chain->push_back(revision);
  if (chain->size() > kMaxChain) chain->erase(chain->begin(), chain->end() - kMaxChain);
}

Lineage CompareChains(const Chain& incoming, const Chain& local) {
  // A chain is never empty once read; an empty one (damaged state) can
  // only be settled as a conflict, which keeps both versions.
  if (incoming.empty() || local.empty()) return Lineage::kConflict;
  if (incoming.back() == local.back()) return Lineage::kSame;
  if (Contains(incoming, local.back())) return Lineage::kIncomingNewer;
  if (Contains(local, incoming.back())) return Lineage::kLocalNewer;
  return Lineage::kConflict;
}

VXUnid ConflictUnid(const VXUnid& unid, const Revision& loser) {
  unsigned char bytes[16 + kRevisionBytes];
  for (int w = 0; w < 4; ++w) {
    for (int i = 0; i < 4; ++i)
      bytes[w * 4 + i] = static_cast<unsigned char>(unid.words[w] >> (8 * i));
  }
  std::string stamp;
  PutWord(&stamp, static_cast<uint64_t>(loser.ticks));
  PutWord(&stamp, loser.origin);
  PutWord(&stamp, static_cast<uint64_t>(loser.sequence));
  std::copy(stamp.begin(), stamp.end(), bytes + 16);
  // Two differently seeded hashes give the four words.
  uint64_t a = Fnv(0xcbf29ce484222325ull, bytes, sizeof bytes);
  uint64_t b = Fnv(0x84222325cbf29ce4ull ^ a, bytes, sizeof bytes);
  VXUnid out;
  out.words[0] = static_cast<uint32_t>(a >> 32);
  out.words[1] = static_cast<uint32_t>(a);
  out.words[2] = static_cast<uint32_t>(b >> 32);
  out.words[3] = static_cast<uint32_t>(b) | 1;  // never the all-zero UNID
  return out;
}

std::string OriginText(uint64_t origin) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(origin));
  return text;
}

bool ParseOrigin(const std::string& text, uint64_t* origin) {
  if (text.size() != 16) return false;
  uint64_t v = 0;
  for (char c : text) {
    int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint64_t>(d);
  }
  *origin = v;
  return true;
}

}  // namespace ledra::replication
