// Note items, the items blob codec and identifiers.
#include "ledra/note.h"

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <atomic>
#include <mutex>
#include <random>

namespace ledra {
namespace {

void PutVarint(std::string* out, uint64_t v) {
  while (v >= 0x80) {
    out->push_back(static_cast<char>((v & 0x7f) | 0x80));
    v >>= 7;
  }
  out->push_back(static_cast<char>(v));
}

class Reader {
 public:
  Reader(const void* data, size_t size)
      : p_(static_cast<const unsigned char*>(data)), left_(size) {}
  bool U8(uint8_t* v) {
    if (left_ < 1) return false;
    *v = *p_++;
    --left_;
    return true;
  }
  bool U16(uint16_t* v) {
    if (left_ < 2) return false;
    *v = static_cast<uint16_t>(p_[0] | (p_[1] << 8));
    p_ += 2;
    left_ -= 2;
    return true;
  }
  bool U32(uint32_t* v) {
    if (left_ < 4) return false;
    *v = static_cast<uint32_t>(p_[0]) | (static_cast<uint32_t>(p_[1]) << 8) |
         (static_cast<uint32_t>(p_[2]) << 16) | (static_cast<uint32_t>(p_[3]) << 24);
    p_ += 4;
    left_ -= 4;
    return true;
  }
  bool Bytes(size_t n, std::string* out) {
    if (left_ < n) return false;
    out->assign(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    left_ -= n;
    return true;
  }
  bool Varint(uint64_t* v) {
    *v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (left_ < 1) return false;
      uint8_t b = *p_++;
      --left_;
      *v |= static_cast<uint64_t>(b & 0x7f) << shift;
      if ((b & 0x80) == 0) return true;
    }
    return false;
  }
  size_t left() const { return left_; }

 private:
  const unsigned char* p_;
  size_t left_;
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

}  // namespace

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

Item* Note::FindItem(const std::string& name) {
  for (Item& item : items) {
    if (SameName(item.name, name)) return &item;
  }
  return nullptr;
}

const Item* Note::FindItem(const std::string& name) const {
  return const_cast<Note*>(this)->FindItem(name);
}

void Note::PutItem(Item item) {
  if (Item* old = FindItem(item.name)) {
    *old = std::move(item);
  } else {
    items.push_back(std::move(item));
  }
}

bool Note::RemoveItem(const std::string& name) {
  for (auto it = items.begin(); it != items.end(); ++it) {
    if (SameName(it->name, name)) {
      items.erase(it);
      return true;
    }
  }
  return false;
}

std::string EncodeItems(const std::vector<Item>& items) {
  std::string out;
  size_t total = 8;
  for (const Item& item : items) total += 12 + item.name.size() + item.value.size();
  out.reserve(total);
  out += 'I';
  out += '\x02';
  PutVarint(&out, items.size());
  for (const Item& item : items) {
    PutVarint(&out, item.name.size());
    out += item.name;
    PutVarint(&out, item.type);
    PutVarint(&out, item.flags);
    PutVarint(&out, item.value.size());
    out += item.value;
  }
  return out;
}

bool DecodeItems(const void* data, size_t size, std::vector<Item>* items) {
  items->clear();
  Reader r(data, size);
  uint8_t mark = 0, version = 0;
  uint64_t count = 0;
  if (!r.U8(&mark) || !r.U8(&version) || mark != 'I' || version != 2 || !r.Varint(&count)) return false;
  // Each item takes at least 4 bytes: a count beyond that is damage.
  if (count > r.left() / 4) return false;
  items->reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    Item item;
    uint64_t name_length = 0, type = 0, flags = 0, value_length = 0;
    if (!r.Varint(&name_length) || name_length > 0xFFFF || !r.Bytes(name_length, &item.name) ||
        !r.Varint(&type) || type > 0xFFFF || !r.Varint(&flags) || flags > 0xFFFFFFFFu || !r.Varint(&value_length) ||
        !r.Bytes(value_length, &item.value)) {
      items->clear();
      return false;
    }
    item.type = static_cast<uint16_t>(type);
    item.flags = static_cast<uint32_t>(flags);
    items->push_back(std::move(item));
  }
  if (r.left() != 0) {
    items->clear();
    return false;
  }
  return true;
}

std::vector<std::string> SplitTextList(const std::string& stored) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < stored.size()) {
    size_t end = stored.find('\0', start);
    if (end == std::string::npos) end = stored.size();
    entries.push_back(stored.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

std::string JoinTextList(const std::vector<std::string>& entries) {
  std::string out;
  for (const std::string& e : entries) {
    out += e;
    out += '\0';
  }
  return out;
}

namespace {

std::mutex id_mutex;
pid_t id_pid = 0;             // guarded by id_mutex: the process the generator was seeded in
std::mt19937_64 id_random;    // guarded by id_mutex
uint32_t id_counter = 0;      // guarded by id_mutex
uint32_t id_process_word = 0; // guarded by id_mutex

// Set in a forked child: parent and child must never make the same UNIDs.
std::atomic<bool> id_forked{false};

void SeedIfNeeded() {
  static const bool registered = [] {
    ::pthread_atfork(nullptr, nullptr, [] { id_forked = true; });
    return true;
  }();
  (void)registered;
  if (id_pid != 0 && !id_forked.exchange(false)) return;
  id_pid = ::getpid();
  std::random_device device;
  std::seed_seq seed{device(), device(), device(), device(), static_cast<unsigned>(id_pid),
                     static_cast<unsigned>(NowTicks())};
  id_random.seed(seed);
  id_counter = 0;
  id_process_word = static_cast<uint32_t>(id_random());
}

}  // namespace

VXUnid NewUnid() {
  std::lock_guard<std::mutex> lock(id_mutex);
  SeedIfNeeded();
  // The first three words grow within a process (a per-process random word,
  // the time, a counter), so a store's UNID index takes new notes at its end;
  // the last word is random.
  VXUnid u;
  u.words[0] = id_process_word;
  u.words[1] = static_cast<uint32_t>(NowTicks() / 100);
  u.words[2] = ++id_counter;
  u.words[3] = static_cast<uint32_t>(id_random());
  return u;
}

void NewReplicaId(uint32_t id[2]) {
  std::lock_guard<std::mutex> lock(id_mutex);
  SeedIfNeeded();
  uint64_t r = id_random();
  id[0] = static_cast<uint32_t>(r >> 32) | 1;  // never all zero
  id[1] = static_cast<uint32_t>(r);
}

int64_t NowTicks() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 100 + ts.tv_nsec / 10000000;
}

}  // namespace ledra
